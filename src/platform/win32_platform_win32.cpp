#ifndef PSAPI_VERSION
#define PSAPI_VERSION 1  // psapi.dll itself, not the K32 entry points newer kernels add
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>
#include <winternl.h>

#include "platform/handle_cast_win32.h"
#include "platform/win32_platform_win32.h"

#include <algorithm>
#include <vector>

namespace mjr {
namespace {

static_assert(sizeof(Handle) == sizeof(HMODULE));
static_assert(sizeof(Dword) == sizeof(DWORD));
static_assert(sizeof(TokenPrivileges) == sizeof(TOKEN_PRIVILEGES));
static_assert(sizeof(DwordPtr) == sizeof(DWORD_PTR));
static_assert(sizeof(GroupAffinity) == sizeof(GROUP_AFFINITY));
static_assert(sizeof(ProcessBasicInformation) == sizeof(PROCESS_BASIC_INFORMATION));
static_assert(offsetof(ProcessBasicInformation, InheritedFromUniqueProcessId) ==
              offsetof(PROCESS_BASIC_INFORMATION, InheritedFromUniqueProcessId));
static_assert(kProcessBasicInformation == ::ProcessBasicInformation);

// Windows 10's call and Windows 7's, found at run time so the program still starts where
// they are missing.
using GetSystemCpuSetInformationFn = BOOL(WINAPI*)(void*, ULONG, PULONG, HANDLE, ULONG);
using GetLogicalProcessorInformationExFn = BOOL(WINAPI*)(int, void*, PDWORD);
// Windows 10's CPU-set calls and Windows 8's process-information calls (MinGW-w64 10 declares
// neither the CPU-set calls nor ProcessPowerThrottling).
using GetProcessDefaultCpuSetsFn = BOOL(WINAPI*)(HANDLE, PULONG, ULONG, PULONG);
using SetProcessDefaultCpuSetsFn = BOOL(WINAPI*)(HANDLE, const ULONG*, ULONG);
using GetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
static_assert(sizeof(ULONG) == sizeof(Dword));

template <typename Fn>
Fn Kernel32Entry(const char* name) {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(kernel32, name)));
}
static_assert(sizeof(wchar_t) == sizeof(WCHAR));
static_assert(sizeof(FileTime) == sizeof(FILETIME));
static_assert(kProcessQueryLimitedInformation == PROCESS_QUERY_LIMITED_INFORMATION);

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

// A kernel32 call that older Windows (or Wine) may lack; nothing when it is absent.
template <typename Function>
Function Kernel32Function(const char* name) {
    HMODULE kernel32 = ::GetModuleHandleW(L"kernel32.dll");
    if (!kernel32) return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(kernel32, name)));
}

// The private-namespace calls, looked up once.
struct NamespaceCalls {
    using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
    using AddSid = BOOL(WINAPI*)(HANDLE*, PSID);
    using DeleteBoundary = VOID(WINAPI*)(HANDLE);
    using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
    using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
    using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);

    CreateBoundary createBoundary = Kernel32Function<CreateBoundary>("CreateBoundaryDescriptorW");
    AddSid addSid = Kernel32Function<AddSid>("AddSIDToBoundaryDescriptor");
    AddSid addIntegrityLabel = Kernel32Function<AddSid>("AddIntegrityLabelToBoundaryDescriptor");
    DeleteBoundary deleteBoundary = Kernel32Function<DeleteBoundary>("DeleteBoundaryDescriptor");
    CreateNamespace createNamespace = Kernel32Function<CreateNamespace>("CreatePrivateNamespaceW");
    OpenNamespace openNamespace = Kernel32Function<OpenNamespace>("OpenPrivateNamespaceW");
    CloseNamespace closeNamespace = Kernel32Function<CloseNamespace>("ClosePrivateNamespace");
};

const NamespaceCalls& Namespaces() {
    static const NamespaceCalls calls;
    return calls;
}

// How a call Windows lacks fails.
BOOL Missing() {
    ::SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

}  // namespace

std::wstring ArgumentsAfterProgramName(std::wstring_view commandLine) {
    std::size_t i = 0;
    // As the C runtime finds WinMain's argument text: a quoted name ends at its closing
    // quote, an unquoted one at the first blank.
    if (!commandLine.empty() && commandLine[0] == L'"') {
        const std::size_t close = commandLine.find(L'"', 1);
        i = close == std::wstring_view::npos ? commandLine.size() : close + 1;
    } else {
        while (i < commandLine.size() && !IsBlank(commandLine[i])) ++i;
    }
    while (i < commandLine.size() && IsBlank(commandLine[i])) ++i;
    return std::wstring(commandLine.substr(i));
}

std::wstring DirectoryOfModulePath(std::wstring_view modulePath) {
    const std::size_t slash = modulePath.find_last_of(L"\\/");
    if (slash == std::wstring_view::npos) return std::wstring();
    std::wstring dir(modulePath.substr(0, slash));
    if (dir.size() == 2 && dir[1] == L':') dir += L'\\';
    return dir;
}

bool RestrictDllSearchToSystem32() {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    constexpr DWORD kLoadLibrarySearchSystem32 = 0x00000800;
    const auto setDefault = Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    return setDefault && setDefault(kLoadLibrarySearchSystem32);
}

WinBool Win32Platform::EnumProcesses(Dword* processIds, Dword bufferBytes, Dword* bytesReturned) {
    DWORD returned = 0;
    const BOOL ok = ::EnumProcesses(reinterpret_cast<DWORD*>(processIds), bufferBytes, &returned);
    if (ok && bytesReturned) *bytesReturned = returned;
    return ok;
}

WinBool Win32Platform::EnumProcessModules(Handle process, Handle* modules, Dword bufferBytes,
                                          Dword* bytesNeeded) {
    std::vector<HMODULE> found(bufferBytes / sizeof(HMODULE));
    DWORD needed = 0;
    const BOOL ok = ::EnumProcessModules(ToHandle(process), found.empty() ? nullptr : found.data(),
                                         static_cast<DWORD>(found.size() * sizeof(HMODULE)), &needed);
    if (ok) {
        const std::size_t written = std::min<std::size_t>(found.size(), needed / sizeof(HMODULE));
        for (std::size_t k = 0; k < written && modules; ++k) modules[k] = FromHandle(found[k]);
        if (bytesNeeded) *bytesNeeded = needed;
    }
    return ok;
}

Dword Win32Platform::GetModuleFileNameExA(Handle process, Handle module, char* buffer, Dword size) {
    return ::GetModuleFileNameExA(ToHandle(process), reinterpret_cast<HMODULE>(module), buffer, size);
}

Handle Win32Platform::OpenProcess(Dword desiredAccess, WinBool inheritHandle, Dword processId) {
    return FromHandle(::OpenProcess(desiredAccess, inheritHandle, processId));
}

WinBool Win32Platform::CloseHandle(Handle object) { return ::CloseHandle(ToHandle(object)); }

Dword Win32Platform::GetCurrentProcessId() { return ::GetCurrentProcessId(); }

void Win32Platform::GetSystemInfo(SystemInfo* info) {
    SYSTEM_INFO si{};
    ::GetSystemInfo(&si);
    if (info) {
        info->dwNumberOfProcessors = si.dwNumberOfProcessors;
        info->dwActiveProcessorMask = si.dwActiveProcessorMask;
    }
}

WinBool Win32Platform::QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* buffer, Dword* size) {
    DWORD chars = size ? *size : 0;
    const BOOL ok = ::QueryFullProcessImageNameW(ToHandle(process), flags, buffer, &chars);
    if (ok && size) *size = chars;
    return ok;
}

WinBool Win32Platform::GetProcessTimes(Handle process, FileTime* creationTime, FileTime* exitTime,
                                       FileTime* kernelTime, FileTime* userTime) {
    FILETIME times[4]{};
    const BOOL ok = ::GetProcessTimes(ToHandle(process), &times[0], &times[1], &times[2], &times[3]);
    if (ok) {
        FileTime* outs[4] = {creationTime, exitTime, kernelTime, userTime};
        for (int k = 0; k < 4; ++k)
            if (outs[k]) *outs[k] = FileTime{times[k].dwLowDateTime, times[k].dwHighDateTime};
    }
    return ok;
}

std::int32_t Win32Platform::NtQueryInformationProcess(Handle process, Dword processInformationClass,
                                                     void* processInformation, Dword processInformationLength,
                                                     Dword* returnLength) {
    ULONG length = 0;
    const NTSTATUS status =
        ::NtQueryInformationProcess(ToHandle(process), static_cast<PROCESSINFOCLASS>(processInformationClass),
                                    processInformation, processInformationLength, &length);
    if (returnLength) *returnLength = length;
    return status;
}

Dword Win32Platform::GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) {
    return ::GetLongPathNameW(shortPath, buffer, size);
}

Dword Win32Platform::GetDriveTypeW(const wchar_t* rootPathName) { return ::GetDriveTypeW(rootPathName); }

Dword Win32Platform::GetWindowsDirectoryW(wchar_t* buffer, Dword size) {
    return ::GetWindowsDirectoryW(buffer, size);
}

WinBool Win32Platform::GetProcessAffinityMask(Handle process, DwordPtr* processMask, DwordPtr* systemMask) {
    DWORD_PTR processBits = 0;
    DWORD_PTR systemBits = 0;
    const BOOL ok = ::GetProcessAffinityMask(ToHandle(process), &processBits, &systemBits);
    if (ok) {
        if (processMask) *processMask = processBits;
        if (systemMask) *systemMask = systemBits;
    }
    return ok;
}

WinBool Win32Platform::SetProcessAffinityMask(Handle process, DwordPtr mask) {
    return ::SetProcessAffinityMask(ToHandle(process), mask);
}

WinBool Win32Platform::GetSystemCpuSetInformation(void* information, Dword bufferLength, Dword* returnedLength,
                                                  Handle process, Dword flags) {
    const auto call = Kernel32Entry<GetSystemCpuSetInformationFn>("GetSystemCpuSetInformation");
    if (!call) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    ULONG returned = 0;
    const BOOL ok = call(information, bufferLength, &returned, ToHandle(process), flags);
    if (returnedLength && (ok || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)) *returnedLength = returned;
    return ok;
}

WinBool Win32Platform::GetProcessDefaultCpuSets(Handle process, Dword* cpuSetIds, Dword cpuSetIdCount,
                                                Dword* requiredIdCount) {
    const auto call = Kernel32Entry<GetProcessDefaultCpuSetsFn>("GetProcessDefaultCpuSets");
    if (!call) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    ULONG required = 0;
    const BOOL ok = call(ToHandle(process), reinterpret_cast<PULONG>(cpuSetIds), cpuSetIdCount, &required);
    if (requiredIdCount && (ok || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER)) *requiredIdCount = required;
    return ok;
}

WinBool Win32Platform::SetProcessDefaultCpuSets(Handle process, const Dword* cpuSetIds, Dword cpuSetIdCount) {
    const auto call = Kernel32Entry<SetProcessDefaultCpuSetsFn>("SetProcessDefaultCpuSets");
    if (!call) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(ToHandle(process), reinterpret_cast<const ULONG*>(cpuSetIds), cpuSetIdCount);
}

WinBool Win32Platform::GetProcessInformation(Handle process, Dword processInformationClass, void* processInformation,
                                             Dword processInformationSize) {
    const auto call = Kernel32Entry<GetProcessInformationFn>("GetProcessInformation");
    if (!call) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(ToHandle(process), static_cast<int>(processInformationClass), processInformation,
                processInformationSize);
}

WinBool Win32Platform::SetProcessInformation(Handle process, Dword processInformationClass,
                                             const void* processInformation, Dword processInformationSize) {
    const auto call = Kernel32Entry<SetProcessInformationFn>("SetProcessInformation");
    if (!call) {
        ::SetLastError(ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    return call(ToHandle(process), static_cast<int>(processInformationClass), const_cast<void*>(processInformation),
                processInformationSize);
}

bool Win32Platform::Kernel32Exports(const char* name) { return Kernel32Entry<FARPROC>(name) != nullptr; }

WinBool Win32Platform::GetLogicalProcessorInformationEx(Dword relationshipType, void* buffer, Dword* returnedLength) {
    const auto call = Kernel32Entry<GetLogicalProcessorInformationExFn>("GetLogicalProcessorInformationEx");
    if (!call || !returnedLength) {
        ::SetLastError(call ? ERROR_INVALID_PARAMETER : ERROR_PROC_NOT_FOUND);
        return FALSE;
    }
    DWORD length = *returnedLength;
    const BOOL ok = call(static_cast<int>(relationshipType), buffer, &length);
    if (ok || ::GetLastError() == ERROR_INSUFFICIENT_BUFFER) *returnedLength = length;
    return ok;
}

Dword Win32Platform::GetPriorityClass(Handle process) { return ::GetPriorityClass(ToHandle(process)); }

WinBool Win32Platform::SetPriorityClass(Handle process, Dword priorityClass) {
    return ::SetPriorityClass(ToHandle(process), priorityClass);
}

void Win32Platform::Sleep(Dword milliseconds) { ::Sleep(milliseconds); }

WinBool Win32Platform::OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
    HANDLE opened = nullptr;
    const BOOL ok = ::OpenProcessToken(ToHandle(process), desiredAccess, &opened);
    if (ok && token) *token = FromHandle(opened);
    return ok;
}

WinBool Win32Platform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
    LUID found{};
    const BOOL ok = ::LookupPrivilegeValueA(systemName, name, &found);
    if (ok && luid) {
        luid->LowPart = found.LowPart;
        luid->HighPart = found.HighPart;
    }
    return ok;
}

WinBool Win32Platform::AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                             const TokenPrivileges* newState, Dword bufferLength,
                                             TokenPrivileges* previousState, Dword* returnLength) {
    TOKEN_PRIVILEGES wanted{};
    TOKEN_PRIVILEGES* wantedPtr = nullptr;
    if (newState) {
        wanted.PrivilegeCount = newState->PrivilegeCount;
        wanted.Privileges[0].Luid.LowPart = newState->Privileges[0].Luid.LowPart;
        wanted.Privileges[0].Luid.HighPart = newState->Privileges[0].Luid.HighPart;
        wanted.Privileges[0].Attributes = newState->Privileges[0].Attributes;
        wantedPtr = &wanted;
    }
    // The record holds one entry; never let Windows write past it.
    TOKEN_PRIVILEGES previous{};
    const DWORD previousBytes =
        previousState ? std::min<DWORD>(bufferLength, sizeof(TOKEN_PRIVILEGES)) : 0;
    DWORD length = 0;
    const BOOL ok = ::AdjustTokenPrivileges(ToHandle(token), disableAllPrivileges, wantedPtr,
                                            previousBytes, previousState ? &previous : nullptr,
                                            returnLength ? &length : nullptr);
    if (ok && previousState) {
        previousState->PrivilegeCount = previous.PrivilegeCount;
        previousState->Privileges[0].Luid.LowPart = previous.Privileges[0].Luid.LowPart;
        previousState->Privileges[0].Luid.HighPart = previous.Privileges[0].Luid.HighPart;
        previousState->Privileges[0].Attributes = previous.Privileges[0].Attributes;
    }
    if (returnLength) *returnLength = length;
    return ok;
}

std::string Win32Platform::WideToAnsi(std::wstring_view text) {
    if (text.empty()) return std::string();
    const int chars = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text.data(), chars, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string();
    std::string out(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), chars, out.data(), bytes, nullptr, nullptr);
    return out;
}

std::wstring Win32Platform::AnsiToWide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int bytes = static_cast<int>(text.size());
    const int chars = ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, nullptr, 0);
    if (chars <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(chars), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), bytes, out.data(), chars);
    return out;
}

int Win32Platform::LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount,
                                wchar_t* destination, int destinationCount) {
    return ::LCMapStringW(locale, mapFlags, source, sourceCount, destination, destinationCount);
}

std::wstring Win32Platform::ProgramDirectory() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(nullptr, buffer.data(), size);
        if (length == 0) return std::wstring();
        // A full buffer means the name may have been cut short.
        if (length < size) return DirectoryOfModulePath(std::wstring_view(buffer.data(), length));
        if (buffer.size() >= 32768) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

std::wstring Win32Platform::CommandLineArgs() {
    const wchar_t* line = ::GetCommandLineW();
    return line ? ArgumentsAfterProgramName(line) : std::wstring();
}

void Win32Platform::SetLastError(Dword errorCode) { ::SetLastError(errorCode); }

Handle Win32Platform::CreateMutexW(const std::wstring& name) {
    return FromHandle(::CreateMutexW(nullptr, FALSE, name.c_str()));
}

WinBool Win32Platform::GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                           Dword tokenInformationLength, Dword* returnLength) {
    DWORD length = 0;
    const BOOL ok = ::GetTokenInformation(ToHandle(token), static_cast<TOKEN_INFORMATION_CLASS>(tokenInformationClass),
                                          tokenInformation, tokenInformationLength, &length);
    if (returnLength) *returnLength = length;
    return ok;
}

WinBool Win32Platform::ProcessIdToSessionId(Dword processId, Dword* sessionId) {
    DWORD session = 0;
    const BOOL ok = ::ProcessIdToSessionId(processId, &session);
    if (ok && sessionId) *sessionId = session;
    return ok;
}

WinBool Win32Platform::CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) {
    DWORD size = sidSize ? *sidSize : 0;
    const BOOL ok = ::CreateWellKnownSid(static_cast<WELL_KNOWN_SID_TYPE>(wellKnownSidType), nullptr, sid, &size);
    if (sidSize) *sidSize = size;  // on failure, the size needed
    return ok;
}

Handle Win32Platform::CreateBoundaryDescriptorW(const std::wstring& name, Dword flags) {
    const auto create = Namespaces().createBoundary;
    if (!create) return Missing(), 0;
    return FromHandle(create(name.c_str(), flags));
}

// Both additions may move the descriptor; the caller's handle follows only on success.
static BOOL AddToBoundary(NamespaceCalls::AddSid add, Handle* boundaryDescriptor, const void* sid) {
    if (!add || !boundaryDescriptor) return Missing();
    HANDLE boundary = ToHandle(*boundaryDescriptor);
    const BOOL ok = add(&boundary, const_cast<PSID>(sid));
    if (ok) *boundaryDescriptor = FromHandle(boundary);
    return ok;
}

WinBool Win32Platform::AddSIDToBoundaryDescriptor(Handle* boundaryDescriptor, const void* requiredSid) {
    return AddToBoundary(Namespaces().addSid, boundaryDescriptor, requiredSid);
}

WinBool Win32Platform::AddIntegrityLabelToBoundaryDescriptor(Handle* boundaryDescriptor, const void* integrityLabel) {
    return AddToBoundary(Namespaces().addIntegrityLabel, boundaryDescriptor, integrityLabel);
}

void Win32Platform::DeleteBoundaryDescriptor(Handle boundaryDescriptor) {
    if (const auto remove = Namespaces().deleteBoundary) remove(ToHandle(boundaryDescriptor));
}

Handle Win32Platform::CreatePrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) {
    const auto create = Namespaces().createNamespace;
    if (!create) return Missing(), 0;
    return FromHandle(create(nullptr, ToHandle(boundaryDescriptor), aliasPrefix.c_str()));
}

Handle Win32Platform::OpenPrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) {
    const auto open = Namespaces().openNamespace;
    if (!open) return Missing(), 0;
    return FromHandle(open(ToHandle(boundaryDescriptor), aliasPrefix.c_str()));
}

WinBool Win32Platform::ClosePrivateNamespace(Handle namespaceHandle, Dword flags) {
    const auto close = Namespaces().closeNamespace;
    if (!close) return Missing();
    return close(ToHandle(namespaceHandle), flags) ? TRUE : FALSE;
}

Dword Win32Platform::GetLastError() { return ::GetLastError(); }

std::uint64_t Win32Platform::GetTickCount64() { return ::GetTickCount64(); }

std::wstring Win32Platform::ExpandEnvironmentStringsW(const std::wstring& text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring expanded(needed, L'\0');
    const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (length == 0 || length > needed) return text;
    expanded.resize(length - 1);  // the count includes the terminating NUL
    return expanded;
}

}  // namespace mjr
