// The real platform's file-system calls: opening and reading files, their attributes, names,
// permissions and volumes, and folder listings. Kept apart from the process calls.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <aclapi.h>

#include <string_view>
#include <vector>

#include "platform/handle_cast_win32.h"
#include "platform/win32_platform_win32.h"

namespace mjr {
namespace {

static_assert(kFileFlagBackupSemantics == FILE_FLAG_BACKUP_SEMANTICS && kFileShareDelete == FILE_SHARE_DELETE);
static_assert(kFileAttributeReparsePoint == FILE_ATTRIBUTE_REPARSE_POINT);
static_assert(kErrorNoMoreFiles == ERROR_NO_MORE_FILES && kErrorDirectory == ERROR_DIRECTORY);
static_assert(kFilePersistentAcls == FILE_PERSISTENT_ACLS && kDaclSecurityInformation == DACL_SECURITY_INFORMATION);
static_assert(kFileNameNormalizedDos == (FILE_NAME_NORMALIZED | VOLUME_NAME_DOS));
static_assert(kSecuritySqosPresent == SECURITY_SQOS_PRESENT && kSecurityIdentification == SECURITY_IDENTIFICATION);
static_assert(kDriveRemote == DRIVE_REMOTE && kDriveRamdisk == DRIVE_RAMDISK && kDriveNoRootDir == DRIVE_NO_ROOT_DIR);

}  // namespace

Handle Win32Platform::CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                                  Dword creationDisposition, Dword flagsAndAttributes) {
    return FromHandle(::CreateFileW(fileName.c_str(), desiredAccess, shareMode, nullptr, creationDisposition,
                                    flagsAndAttributes, nullptr));
}

Dword Win32Platform::GetFileType(Handle file) { return ::GetFileType(ToHandle(file)); }

WinBool Win32Platform::GetFileSizeEx(Handle file, std::int64_t* fileSize) {
    LARGE_INTEGER size{};
    const BOOL ok = ::GetFileSizeEx(ToHandle(file), &size);
    if (ok && fileSize) *fileSize = size.QuadPart;
    return ok;
}

WinBool Win32Platform::ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
    DWORD got = 0;
    const BOOL ok = ::ReadFile(ToHandle(file), buffer, bytesToRead, &got, nullptr);
    if (ok && bytesRead) *bytesRead = got;
    return ok;
}

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

Dword Win32Platform::GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) {
    return ::GetFinalPathNameByHandleW(ToHandle(file), buffer, size, flags);
}

Dword Win32Platform::GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                          std::vector<std::uint8_t>* selfRelativeDescriptor) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD error = ::GetNamedSecurityInfoW(const_cast<LPWSTR>(objectName.c_str()), SE_FILE_OBJECT,
                                                securityInformation, nullptr, nullptr, nullptr, nullptr, &descriptor);
    if (error != ERROR_SUCCESS) return error;
    std::vector<std::uint8_t> bytes;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    DWORD result = ERROR_SUCCESS;
    if (!::GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        result = ::GetLastError();
    } else if (control & SE_SELF_RELATIVE) {
        const auto* start = static_cast<const std::uint8_t*>(descriptor);
        bytes.assign(start, start + ::GetSecurityDescriptorLength(descriptor));
    } else {
        DWORD length = 0;
        ::MakeSelfRelativeSD(descriptor, nullptr, &length);
        bytes.resize(length);
        if (length == 0 || !::MakeSelfRelativeSD(descriptor, bytes.data(), &length)) result = ::GetLastError();
    }
    ::LocalFree(descriptor);
    if (result == ERROR_SUCCESS && selfRelativeDescriptor) *selfRelativeDescriptor = std::move(bytes);
    return result;
}

WinBool Win32Platform::GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) {
    DWORD flags = 0;
    const BOOL ok = ::GetVolumeInformationW(rootPathName, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
    if (ok && fileSystemFlags) *fileSystemFlags = flags;
    return ok;
}

Handle Win32Platform::FindFirstFileExW(const std::wstring& fileName, FindData* found) {
    WIN32_FIND_DATAW data{};
    // Basic information: no short names looked up.
    const HANDLE search = ::FindFirstFileExW(fileName.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (search != INVALID_HANDLE_VALUE && found) *found = FindData{data.dwFileAttributes, data.cFileName};
    return FromHandle(search);
}

WinBool Win32Platform::FindNextFileW(Handle search, FindData* found) {
    WIN32_FIND_DATAW data{};
    const BOOL ok = ::FindNextFileW(ToHandle(search), &data);
    if (ok && found) *found = FindData{data.dwFileAttributes, data.cFileName};
    return ok;
}

WinBool Win32Platform::FindClose(Handle search) { return ::FindClose(ToHandle(search)); }

}  // namespace mjr
