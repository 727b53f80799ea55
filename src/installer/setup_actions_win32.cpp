// The package's custom actions that run inside Windows Installer, from a DLL in the package's
// Binary table (never installed):
//   CheckProfile            immediate, before anything is removed or installed: reads PROFILE
//                           itself, checks it, and hands the checked bytes to CopyProfile
//   CopyProfile             deferred, as SYSTEM, after the files: installs those bytes as My Favs 1
//   RestorePreviousProfile  its rollback: puts back the file it replaced
//   ForgetPreviousProfile   its commit: deletes the kept previous file
//   EndOldCopies            immediate, before an upgrade removes the older version: ends its
//                           running copies in every session
// A refusal ends the install with the reason in the log and, where there is one, on screen.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>
#include <vector>

#include "installer/install_folder_check.h"
#include "installer/package_profile.h"
#include "installer/package_win32.h"
#include "platform/read_whole_file.h"
#include "platform/win32_platform_win32.h"
#include "privilege/debug_privilege.h"
#include "privilege/token_rights.h"
#include "profile/load_favorites.h"

namespace {

using mjr::installer::KernelHandle;

// A record of Windows Installer's, closed once.
class MsiRecord {
public:
    explicit MsiRecord(UINT fields) : handle_(::MsiCreateRecord(fields)) {}
    MsiRecord(const MsiRecord&) = delete;
    MsiRecord& operator=(const MsiRecord&) = delete;
    ~MsiRecord() {
        if (handle_ != 0) ::MsiCloseHandle(handle_);
    }
    MSIHANDLE get() const noexcept { return handle_; }

private:
    MSIHANDLE handle_;
};

std::wstring Property(MSIHANDLE install, const wchar_t* name) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    if (::MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (::MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return value;
}

// One line of the verbose log; with `onScreen`, an error, which a message box shows too where
// the install shows one.
void Say(MSIHANDLE install, const std::wstring& text, bool onScreen = false) {
    const MsiRecord record(1);
    ::MsiRecordSetStringW(record.get(), 0, L"Marrowbine Jr: [1]");
    ::MsiRecordSetStringW(record.get(), 1, text.c_str());
    const auto kind = onScreen ? static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR) : INSTALLMESSAGE_INFO;
    ::MsiProcessMessage(install, kind, record.get());
}

std::wstring Favourites(std::size_t count) {
    return std::to_wstring(count) + (count == 1 ? L" favourite" : L" favourites");
}

UINT Refuse(MSIHANDLE install, const std::wstring& why) {
    Say(install, why + L". Nothing was installed or changed.", true);
    return ERROR_INSTALL_FAILURE;
}

constexpr wchar_t kProfileName[] = L"My Favs 1";
constexpr wchar_t kPreviousSuffix[] = L".before-install";
constexpr wchar_t kFreshSuffix[] = L".from-install";

std::wstring WithBackslash(std::wstring folder) {
    if (!folder.empty() && folder.back() != L'\\') folder += L'\\';
    return folder;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Writes the bytes to a new file and reads them back whole; 0 or the failing call's error.
DWORD WriteChecked(mjr::Platform& platform, const std::wstring& path, const std::string& bytes) {
    {
        const KernelHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.valid()) return ::GetLastError();
        DWORD written = 0;
        if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
            written != bytes.size() || !::FlushFileBuffers(file.get()))
            return ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
    }
    const auto back = mjr::ReadWholeFile(platform, path, mjr::installer::kMostPackageProfileBytes);
    if (!back) return ::GetLastError();
    return *back == bytes ? 0 : ERROR_WRITE_FAULT;
}

}  // namespace

extern "C" {

__declspec(dllexport) UINT __stdcall CheckProfile(MSIHANDLE install) {
    const std::wstring path = Property(install, L"PROFILE");
    if (path.empty()) return ERROR_SUCCESS;
    // From a prompt that is not elevated Windows Installer would drop PROFILE on its way to the
    // part that installs, silently: say so here, in the dialogs' part, instead.
    if (!mjr::installer::RunsElevated())
        return Refuse(install, L"PROFILE is given from a prompt that is not elevated, where Windows Installer ignores "
                               L"it: run msiexec from a prompt opened with \"Run as administrator\", or deploy the "
                               L"package as SYSTEM");
    mjr::Win32Platform platform;
    const auto profile = mjr::installer::ReadPackageProfile(platform, path);
    if (!profile.bytes) return Refuse(install, profile.refusal);
    const std::wstring folder = WithBackslash(Property(install, L"INSTALLDIR"));
    if (::MsiSetPropertyW(install, L"CopyProfile", mjr::installer::CopyProfileData(folder, *profile.bytes).c_str()) !=
            ERROR_SUCCESS ||
        ::MsiSetPropertyW(install, L"RestorePreviousProfile", folder.c_str()) != ERROR_SUCCESS ||
        ::MsiSetPropertyW(install, L"ForgetPreviousProfile", folder.c_str()) != ERROR_SUCCESS)
        return Refuse(install, L"PROFILE was read but could not be handed on to the install");
    Say(install, L"PROFILE \"" + path + L"\": " + Favourites(profile.favorites) + L" in " +
                     std::to_wstring(profile.bytes->size()) + L" bytes, to be installed as " + folder + kProfileName);
    return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall CopyProfile(MSIHANDLE install) {
    const auto request = mjr::installer::ReadCopyProfileData(Property(install, L"CustomActionData"));
    if (!request) return Refuse(install, L"The profile from PROFILE did not arrive whole");
    mjr::Win32Platform platform;
    std::size_t favorites = 0;
    const std::wstring refusal = mjr::installer::RefusedProfileBytes(platform, request->bytes, favorites);
    if (!refusal.empty()) return Refuse(install, L"The profile from PROFILE changed on its way: " + refusal);
    const std::wstring folder = WithBackslash(request->installDir);
    const auto verdict = mjr::installer::CheckInstallFolder(platform, folder, mjr::installer::ElevatedAccount());
    if (verdict.exitCode != 0)
        return Refuse(install, L"No profile is copied into " + folder + L": ordinary users may change \"" +
                                   verdict.path + L"\" (Windows error " + std::to_wstring(verdict.exitCode) + L")");
    const std::wstring profile = folder + kProfileName, previous = profile + kPreviousSuffix,
                       fresh = profile + kFreshSuffix;
    // A previous file kept by an install that never finished is no file of this one.
    ::DeleteFileW(previous.c_str());
    if (Exists(profile) && !::CopyFileW(profile.c_str(), previous.c_str(), FALSE))
        return Refuse(install, L"The profile in place could not be kept for a rollback (Windows error " +
                                   std::to_wstring(::GetLastError()) + L")");
    if (const DWORD error = WriteChecked(platform, fresh, request->bytes)) {
        ::DeleteFileW(fresh.c_str());
        return Refuse(install, L"The profile could not be written (Windows error " + std::to_wstring(error) + L")");
    }
    if (!::MoveFileExW(fresh.c_str(), profile.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(fresh.c_str());
        return Refuse(install, L"The profile could not be put in place (Windows error " + std::to_wstring(error) + L")");
    }
    Say(install, L"installed " + profile + L": " + Favourites(favorites) + L", " +
                     std::to_wstring(request->bytes.size()) + L" bytes");
    return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall RestorePreviousProfile(MSIHANDLE install) {
    const std::wstring profile = WithBackslash(Property(install, L"CustomActionData")) + kProfileName;
    const std::wstring previous = profile + kPreviousSuffix, fresh = profile + kFreshSuffix;
    ::DeleteFileW(fresh.c_str());
    if (Exists(previous) && ::MoveFileExW(previous.c_str(), profile.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        Say(install, L"put back the profile " + profile + L" had before");
    return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall ForgetPreviousProfile(MSIHANDLE install) {
    const std::wstring previous = WithBackslash(Property(install, L"CustomActionData")) + kProfileName + kPreviousSuffix;
    ::DeleteFileW(previous.c_str());
    return ERROR_SUCCESS;
}

__declspec(dllexport) UINT __stdcall EndOldCopies(MSIHANDLE install) {
    std::vector<std::wstring> folders;
    for (const wchar_t* name : {L"SAVEDINSTALLDIR", L"INSTALLDIR"})
        if (std::wstring folder = Property(install, name); !folder.empty()) folders.push_back(WithBackslash(folder));
    mjr::Win32Platform platform;
    // An administrator's copies of other users' programs open only with the debug privilege.
    const bool raised = mjr::OwnPrivilege(platform, "SeDebugPrivilege") == mjr::PrivilegeState::Disabled &&
                        mjr::SetDebugPrivilege(platform, true);
    const auto ended = mjr::installer::EndRunningCopies(platform, folders);
    if (raised) mjr::SetDebugPrivilege(platform, false);
    Say(install, L"before the older version is removed, of its running copies " + std::to_wstring(ended.closed) +
                     L" closed, " + std::to_wstring(ended.ended) + L" ended, " + std::to_wstring(ended.left) +
                     L" left running (their files are replaced at the next restart)");
    // Copies left running only delay their files to a restart: no reason to stop the upgrade.
    return ERROR_SUCCESS;
}

}  // extern "C"
