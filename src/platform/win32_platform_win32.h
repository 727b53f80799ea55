#pragma once
// The real platform: each member makes the Windows call of the same name.
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

class Win32Platform : public Platform {
public:
    Win32Platform() = default;
    Win32Platform(const Win32Platform&) = delete;
    Win32Platform& operator=(const Win32Platform&) = delete;
    ~Win32Platform() override;

    WinBool EnumProcesses(Dword* processIds, Dword bufferBytes, Dword* bytesReturned) override;
    WinBool EnumProcessModules(Handle process, Handle* modules, Dword bufferBytes,
                               Dword* bytesNeeded) override;
    Dword GetModuleFileNameExA(Handle process, Handle module, char* buffer, Dword size) override;

    Handle OpenProcess(Dword desiredAccess, WinBool inheritHandle, Dword processId) override;
    WinBool CloseHandle(Handle object) override;
    Dword GetCurrentProcessId() override;
    void GetSystemInfo(SystemInfo* info) override;
    WinBool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* buffer, Dword* size) override;
    WinBool GetProcessTimes(Handle process, FileTime* creationTime, FileTime* exitTime, FileTime* kernelTime,
                            FileTime* userTime) override;
    Dword GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) override;
    Dword GetDriveTypeW(const wchar_t* rootPathName) override;
    Dword GetWindowsDirectoryW(wchar_t* buffer, Dword size) override;
    WinBool GetProcessAffinityMask(Handle process, Dword* processMask, Dword* systemMask) override;
    WinBool SetProcessAffinityMask(Handle process, Dword mask) override;
    Dword GetPriorityClass(Handle process) override;
    WinBool SetPriorityClass(Handle process, Dword priorityClass) override;
    void Sleep(Dword milliseconds) override;

    WinBool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) override;
    WinBool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
    WinBool AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                  const TokenPrivileges* newState, Dword bufferLength,
                                  TokenPrivileges* previousState, Dword* returnLength) override;

    std::string WideToAnsi(std::wstring_view text) override;
    std::wstring AnsiToWide(std::string_view text) override;

    std::wstring ProgramDirectory() override;
    std::wstring CommandLineArgs() override;
    bool PreviousInstanceRunning() override;

    std::optional<std::string> ReadWholeFile(const std::wstring& path) override;

    Dword GetLastError() override;
    std::wstring GetFullPathNameW(const std::wstring& path) override;
    Dword GetFileAttributesW(const std::wstring& path) override;
    WinBool GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) override;
    std::optional<std::wstring> FindFirstFileName(const std::wstring& path) override;
    std::optional<std::wstring> FinalPathName(const std::wstring& path) override;
    std::wstring ExpandEnvironmentStringsW(const std::wstring& text) override;
    WinBool GetTokenElevation(Handle token, Dword* tokenIsElevated) override;

private:
    // The single-instance mutex, held until this object goes away.
    Handle instanceMutex_ = 0;
    bool instanceChecked_ = false;
    bool previousInstance_ = false;
};

// The argument text of a command line: what follows the program's name (quoted or not)
// and the blanks after it, otherwise unchanged.
std::wstring ArgumentsAfterProgramName(std::wstring_view commandLine);

// The directory part of a module path; keeps the "\" only at a drive root.
std::wstring DirectoryOfModulePath(std::wstring_view modulePath);

}  // namespace mjr
