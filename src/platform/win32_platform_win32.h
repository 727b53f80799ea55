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
    std::int32_t NtQueryInformationProcess(Handle process, Dword processInformationClass, void* processInformation,
                                           Dword processInformationLength, Dword* returnLength) override;
    Dword GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) override;
    Dword GetDriveTypeW(const wchar_t* rootPathName) override;
    Dword GetWindowsDirectoryW(wchar_t* buffer, Dword size) override;
    WinBool GetProcessAffinityMask(Handle process, DwordPtr* processMask, DwordPtr* systemMask) override;
    WinBool SetProcessAffinityMask(Handle process, DwordPtr mask) override;
    Dword GetPriorityClass(Handle process) override;
    WinBool SetPriorityClass(Handle process, Dword priorityClass) override;
    void Sleep(Dword milliseconds) override;

    WinBool GetSystemCpuSetInformation(void* information, Dword bufferLength, Dword* returnedLength,
                                       Handle process, Dword flags) override;
    WinBool GetLogicalProcessorInformationEx(Dword relationshipType, void* buffer, Dword* returnedLength) override;

    WinBool GetProcessDefaultCpuSets(Handle process, Dword* cpuSetIds, Dword cpuSetIdCount,
                                     Dword* requiredIdCount) override;
    WinBool SetProcessDefaultCpuSets(Handle process, const Dword* cpuSetIds, Dword cpuSetIdCount) override;
    WinBool GetProcessInformation(Handle process, Dword processInformationClass, void* processInformation,
                                  Dword processInformationSize) override;
    WinBool SetProcessInformation(Handle process, Dword processInformationClass, const void* processInformation,
                                  Dword processInformationSize) override;
    bool Kernel32Exports(const char* name) override;

    WinBool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) override;
    WinBool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
    WinBool AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                  const TokenPrivileges* newState, Dword bufferLength,
                                  TokenPrivileges* previousState, Dword* returnLength) override;

    std::string WideToAnsi(std::wstring_view text) override;
    std::wstring AnsiToWide(std::string_view text) override;
    int LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount, wchar_t* destination,
                     int destinationCount) override;

    std::wstring ProgramDirectory() override;
    std::wstring CommandLineArgs() override;

    Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes) override;
    Dword GetFileType(Handle file) override;
    WinBool GetFileSizeEx(Handle file, std::int64_t* fileSize) override;
    WinBool ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) override;
    void SetLastError(Dword errorCode) override;

    Handle CreateMutexW(const std::wstring& name) override;
    WinBool GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                Dword tokenInformationLength, Dword* returnLength) override;
    WinBool ProcessIdToSessionId(Dword processId, Dword* sessionId) override;
    WinBool CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) override;
    Handle CreateBoundaryDescriptorW(const std::wstring& name, Dword flags) override;
    WinBool AddSIDToBoundaryDescriptor(Handle* boundaryDescriptor, const void* requiredSid) override;
    WinBool AddIntegrityLabelToBoundaryDescriptor(Handle* boundaryDescriptor, const void* integrityLabel) override;
    void DeleteBoundaryDescriptor(Handle boundaryDescriptor) override;
    Handle CreatePrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) override;
    Handle OpenPrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) override;
    WinBool ClosePrivateNamespace(Handle namespaceHandle, Dword flags) override;

    Dword GetLastError() override;
    std::wstring GetFullPathNameW(const std::wstring& path) override;
    Dword GetFileAttributesW(const std::wstring& path) override;
    WinBool GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) override;
    std::optional<std::wstring> FindFirstFileName(const std::wstring& path) override;
    Dword GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) override;
    Dword GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                std::vector<std::uint8_t>* selfRelativeDescriptor) override;
    WinBool GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) override;
    std::wstring ExpandEnvironmentStringsW(const std::wstring& text) override;
    Handle FindFirstFileExW(const std::wstring& fileName, FindData* found) override;
    WinBool FindNextFileW(Handle search, FindData* found) override;
    WinBool FindClose(Handle search) override;
    std::uint64_t GetTickCount64() override;

    // registry_win32.cpp
    Lstatus RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) override;
    Lstatus RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) override;
    Lstatus RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data,
                             Dword* dataSize) override;
    Lstatus RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data,
                           Dword dataSize) override;
    Lstatus RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                    WinBool asynchronous) override;
    Lstatus RegCloseKey(Handle key) override;
    Handle CreateEventW(WinBool manualReset, WinBool initialState) override;

    // known_folders_win32.cpp
    std::int32_t SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) override;
};

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where Windows has it (Windows 7
// without KB2533623 does not): DLLs loaded later come from System32 only. The first call of
// every program of ours. True when the search was restricted.
bool RestrictDllSearchToSystem32();

// The argument text of a command line: what follows the program's name (quoted or not)
// and the blanks after it, otherwise unchanged.
std::wstring ArgumentsAfterProgramName(std::wstring_view commandLine);

// The directory part of a module path; keeps the "\" only at a drive root.
std::wstring DirectoryOfModulePath(std::wstring_view modulePath);

}  // namespace mjr
