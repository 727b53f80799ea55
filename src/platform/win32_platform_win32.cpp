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
static_assert(sizeof(wchar_t) == sizeof(WCHAR));
static_assert(sizeof(FileTime) == sizeof(FILETIME));
static_assert(kProcessQueryLimitedInformation == PROCESS_QUERY_LIMITED_INFORMATION);
static_assert(kDriveRemote == DRIVE_REMOTE && kDriveRamdisk == DRIVE_RAMDISK && kDriveNoRootDir == DRIVE_NO_ROOT_DIR);

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

// The content of an open file; nothing, with the reason in `error`, when it cannot be read.
std::optional<std::string> ReadOpenFile(HANDLE file, DWORD& error) {
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file, &size)) {
        error = ::GetLastError();
        return std::nullopt;
    }
    if (size.QuadPart < 0 || static_cast<ULONGLONG>(size.QuadPart) > kMaxFileBytes) {
        error = ERROR_FILE_TOO_LARGE;
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size.QuadPart));
    char chunk[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file, chunk, sizeof(chunk), &got, nullptr)) {
            error = ::GetLastError();
            return std::nullopt;
        }
        if (got == 0) break;
        if (content.size() + got > kMaxFileBytes) {
            error = ERROR_FILE_TOO_LARGE;  // it grew while being read
            return std::nullopt;
        }
        content.append(chunk, got);
    }
    return content;
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

Dword Win32Platform::GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) {
    return ::GetLongPathNameW(shortPath, buffer, size);
}

Dword Win32Platform::GetDriveTypeW(const wchar_t* rootPathName) { return ::GetDriveTypeW(rootPathName); }

Dword Win32Platform::GetWindowsDirectoryW(wchar_t* buffer, Dword size) {
    return ::GetWindowsDirectoryW(buffer, size);
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
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> content;
    {
        FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!file.valid()) return std::nullopt;  // CreateFileW's own last error stands
        content = ReadOpenFile(file.get(), error);
    }
    // Closing the file must not hide why the read failed.
    if (!content) ::SetLastError(error);
    return content;
}

Dword Win32Platform::GetLastError() { return ::GetLastError(); }

std::wstring Win32Platform::GetFullPathNameW(const std::wstring& path) {
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return path;
    std::wstring full(needed, L'\0');
    const DWORD length = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return path;
    full.resize(length);
    return full;
}

Dword Win32Platform::GetFileAttributesW(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

WinBool Win32Platform::GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) {
    DWORD type = 0;
    const BOOL ok = ::GetBinaryTypeW(applicationName.c_str(), &type);
    if (ok && binaryType) *binaryType = type;
    return ok;
}

std::optional<std::wstring> Win32Platform::FindFirstFileName(const std::wstring& path) {
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return std::nullopt;
    ::FindClose(search);
    return std::wstring(found.cFileName);
}

std::optional<std::wstring> Win32Platform::FinalPathName(const std::wstring& path) {
    // No data access: opening only to ask the name needs no rights on the file's content;
    // backup semantics let a folder be opened as well.
    FileHandle file(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!file.valid()) return std::nullopt;
    std::vector<wchar_t> buffer(MAX_PATH);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetFinalPathNameByHandleW(file.get(), buffer.data(), size,
                                                         FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0) return std::nullopt;
        if (length < size) return std::wstring(buffer.data(), length);
        buffer.resize(length + 1);  // the size it needs, NUL included
    }
    return std::nullopt;
}

std::wstring Win32Platform::ExpandEnvironmentStringsW(const std::wstring& text) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return text;
    std::wstring expanded(needed, L'\0');
    const DWORD length = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (length == 0 || length > needed) return text;
    expanded.resize(length - 1);  // the count includes the terminating NUL
    return expanded;
}

WinBool Win32Platform::GetTokenElevation(Handle token, Dword* tokenIsElevated) {
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    const BOOL ok = ::GetTokenInformation(ToHandle(token), TokenElevation, &elevation, sizeof(elevation), &length);
    if (ok && tokenIsElevated) *tokenIsElevated = elevation.TokenIsElevated;
    return ok;
}

}  // namespace mjr
