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

#include "platform/win32_platform_win32.h"

#include <algorithm>
#include <vector>

namespace mjr {
namespace {

static_assert(sizeof(Handle) == sizeof(HANDLE));
static_assert(sizeof(Handle) == sizeof(HMODULE));
static_assert(sizeof(Dword) == sizeof(DWORD));
static_assert(sizeof(TokenPrivileges) == sizeof(TOKEN_PRIVILEGES));

constexpr wchar_t kInstanceMutexName[] = L"Local\\MarrowbineJr.SingleInstance";
// Larger files cannot be a profile; reading them would only exhaust memory.
constexpr ULONGLONG kMaxFileBytes = 256ull * 1024 * 1024;

HANDLE ToHandle(Handle h) { return reinterpret_cast<HANDLE>(h); }
Handle FromHandle(HANDLE h) { return reinterpret_cast<Handle>(h); }

class FileHandle {
public:
    explicit FileHandle(HANDLE h) : h_(h) {}
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    ~FileHandle() {
        if (valid()) ::CloseHandle(h_);
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE && h_ != nullptr; }
    HANDLE get() const { return h_; }

private:
    HANDLE h_;
};

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

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

Win32Platform::~Win32Platform() {
    if (instanceMutex_ != 0) ::CloseHandle(ToHandle(instanceMutex_));
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
    if (info) info->dwNumberOfProcessors = si.dwNumberOfProcessors;
}

Dword Win32Platform::GetLongPathNameA(const char* shortPath, char* buffer, Dword size) {
    return ::GetLongPathNameA(shortPath, buffer, size);
}

Dword Win32Platform::GetWindowsDirectoryA(char* buffer, Dword size) {
    return ::GetWindowsDirectoryA(buffer, size);
}

WinBool Win32Platform::GetProcessAffinityMask(Handle process, Dword* processMask, Dword* systemMask) {
    DWORD_PTR processBits = 0;
    DWORD_PTR systemBits = 0;
    const BOOL ok = ::GetProcessAffinityMask(ToHandle(process), &processBits, &systemBits);
    if (ok) {
        if (processMask) *processMask = static_cast<Dword>(processBits);
        if (systemMask) *systemMask = static_cast<Dword>(systemBits);
    }
    return ok;
}

WinBool Win32Platform::SetProcessAffinityMask(Handle process, Dword mask) {
    return ::SetProcessAffinityMask(ToHandle(process), static_cast<DWORD_PTR>(mask));
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

bool Win32Platform::PreviousInstanceRunning() {
    if (!instanceChecked_) {
        instanceChecked_ = true;
        HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kInstanceMutexName);
        previousInstance_ = mutex != nullptr && ::GetLastError() == ERROR_ALREADY_EXISTS;
        instanceMutex_ = FromHandle(mutex);
    }
    return previousInstance_;
}

std::optional<std::string> Win32Platform::ReadWholeFile(const std::wstring& path) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return std::nullopt;
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<ULONGLONG>(size.QuadPart) > kMaxFileBytes)
        return std::nullopt;

    std::string content;
    content.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr)) return std::nullopt;
        if (got == 0) break;
        if (content.size() + got > kMaxFileBytes) return std::nullopt;
        content.append(chunk, got);
    }
    return content;
}

}  // namespace mjr
