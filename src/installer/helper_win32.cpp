// The package's helper, run as SYSTEM by the package's deferred custom actions (no console,
// no window) with one verb and nothing else: registers the logon task through the Task
// Scheduler from its own folder and the ENFORCE the package wrote to HKLM, raises the reset
// request, starts the task, and on removal ends the running copies in every session and deletes
// the task. Before registering it checks that only administrators can change its folder and what
// the task starts from there. The exit code is what the installer logs; 0 is success.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <initguid.h>  // the Task Scheduler's class and interface ids, defined here
#include <oleauto.h>
#include <shellapi.h>
#include <taskschd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "installer/helper_command_line.h"
#include "installer/install_folder_check.h"
#include "installer/logon_task.h"
#include "installer/logon_task_template.h"
#include "installer/package_win32.h"
#include "platform/task_scheduler_win32.h"
#include "platform/win32_platform_win32.h"

namespace {

using mjr::ComPointer;
using mjr::ComText;
using mjr::installer::HelperVerb;
using mjr::installer::KernelHandle;

std::wstring QuotedTaskName() { return std::wstring(L"\"") + mjr::installer::kTaskName + L"\""; }

// schtasks.exe from the system folder, never from the search path; its exit code.
DWORD RunSchtasks(const std::wstring& arguments) {
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return ::GetLastError();
    const std::wstring exe = std::wstring(system) + L"\\schtasks.exe";
    std::wstring line = L"\"" + exe + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                          nullptr, &startup, &info))
        return ::GetLastError();
    KernelHandle process(info.hProcess), thread(info.hThread);
    ::WaitForSingleObject(process.get(), INFINITE);
    DWORD code = 1;
    if (!::GetExitCodeProcess(process.get(), &code)) code = ::GetLastError();
    return code;
}

// The Task Scheduler's root folder, through its own interface (schtasks answers a query for
// a missing task with success on some systems, and its /Create updates a task in place).
class TaskRoot {
public:
    TaskRoot() : initialized_(::CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {
        result_ = SUCCEEDED(initialized_) ? mjr::OpenTaskRoot(service_, root_) : initialized_;
    }
    TaskRoot(const TaskRoot&) = delete;
    TaskRoot& operator=(const TaskRoot&) = delete;
    ~TaskRoot() {
        root_.reset();
        service_.reset();
        if (SUCCEEDED(initialized_)) ::CoUninitialize();
    }

    // A task that is already gone is no failure.
    HRESULT Delete() {
        if (FAILED(result_)) return result_;
        const ComText name(mjr::installer::kTaskName);
        const HRESULT deleted = root_->DeleteTask(name.get(), 0);
        if (deleted == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || deleted == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            return S_OK;
        return deleted;
    }

    // Create-only, with our own descriptor: a task of that name made before (by anyone) was
    // deleted first, and one made in between fails the registration instead of being taken
    // over. The descriptor read back must leave the task to administrators.
    int Register(const std::wstring& xml) {
        HRESULT result = Delete();
        if (FAILED(result)) return static_cast<int>(result);
        const ComText name(mjr::installer::kTaskName), definition(xml), security(mjr::installer::kTaskSecurity);
        VARIANT none, sddl;
        ::VariantInit(&none);
        ::VariantInit(&sddl);
        sddl.vt = VT_BSTR;
        sddl.bstrVal = security.get();
        ComPointer<IRegisteredTask> task;
        result = root_->RegisterTask(name.get(), definition.get(), TASK_CREATE, none, none, TASK_LOGON_GROUP, sddl,
                                     task.out());
        if (FAILED(result)) return static_cast<int>(result);
        ComText readBack;
        result = task->GetSecurityDescriptor(OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, readBack.out());
        const bool safe =
            SUCCEEDED(result) && readBack.get() != nullptr && mjr::installer::OnlyAdministratorsMayChange(readBack.text());
        // Wine's Task Scheduler keeps no descriptors and says so; Windows' always answers.
        if (result == E_NOTIMPL) return 0;
        if (safe) return 0;
        Delete();
        return FAILED(result) ? static_cast<int>(result) : mjr::installer::kExitTaskOpenToOthers;
    }

private:
    HRESULT initialized_;
    HRESULT result_;
    ComPointer<ITaskService> service_;
    ComPointer<ITaskFolder> root_;
};

// The helper's own full long path; empty when Windows cannot say.
std::wstring OwnPath() {
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return std::wstring();
    path.resize(length);
    std::wstring longPath(32768, L'\0');
    const DWORD longLength = ::GetLongPathNameW(path.c_str(), longPath.data(), static_cast<DWORD>(longPath.size()));
    if (longLength == 0 || longLength >= longPath.size()) return path;
    longPath.resize(longLength);
    return longPath;
}

// HKLM\Software\Marrowbine Jr\Enforce as the package wrote it earlier in the same script: no
// value is no period; a value that is not a string is refused like a bad one.
int ReadEnforce(std::wstring& enforce) {
    DWORD type = 0, bytes = 0;
    constexpr DWORD kFlags = RRF_RT_ANY | RRF_SUBKEY_WOW6464KEY;
    constexpr wchar_t kKey[] = L"Software\\Marrowbine Jr";
    LSTATUS status = ::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"Enforce", kFlags, &type, nullptr, &bytes);
    if (status == ERROR_FILE_NOT_FOUND) return 0;
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    if (type != REG_SZ) return mjr::installer::kExitBadEnforce;
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = ::RegGetValueW(HKEY_LOCAL_MACHINE, kKey, L"Enforce", RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr,
                            value.data(), &bytes);
    if (status != ERROR_SUCCESS) return static_cast<int>(status);
    value.resize(wcsnlen(value.c_str(), value.size()));
    enforce = value;
    return 0;
}

// HKLM\Software\Marrowbine Jr, 64-bit view, opened once for what the helper reads or writes there.
class SettingsKey {
public:
    explicit SettingsKey(REGSAM access) {
        status_ = ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, mjr::kResetRequestKey, 0, access | KEY_WOW64_64KEY, &key_);
        if (status_ != ERROR_SUCCESS) key_ = nullptr;
    }
    SettingsKey(const SettingsKey&) = delete;
    SettingsKey& operator=(const SettingsKey&) = delete;
    ~SettingsKey() {
        if (key_ != nullptr) ::RegCloseKey(key_);
    }
    HKEY get() const noexcept { return key_; }
    LSTATUS status() const noexcept { return status_; }

private:
    HKEY key_ = nullptr;
    LSTATUS status_;
};

// Raises the reset request, so that every running copy (a zip's too) reads its profile anew.
int RaiseResetRequest() {
    const SettingsKey key(KEY_QUERY_VALUE | KEY_SET_VALUE);
    if (key.get() == nullptr) return static_cast<int>(key.status());
    std::uint64_t value = 0;
    DWORD type = 0, bytes = sizeof value;
    std::optional<std::uint64_t> current;
    if (::RegQueryValueExW(key.get(), mjr::installer::kResetRequestValue, nullptr, &type,
                           reinterpret_cast<BYTE*>(&value), &bytes) == ERROR_SUCCESS &&
        type == REG_QWORD && bytes == sizeof value)
        current = value;
    FILETIME now{};
    ::GetSystemTimeAsFileTime(&now);
    const std::uint64_t next =
        mjr::installer::NextResetRequest(current, std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime);
    return static_cast<int>(::RegSetValueExW(key.get(), mjr::installer::kResetRequestValue, 0, REG_QWORD,
                                             reinterpret_cast<const BYTE*>(&next), sizeof next));
}

// The removal takes the reset request with it, before Windows Installer removes the key's
// other values, so that the emptied key goes too.
void ForgetResetRequest() {
    const SettingsKey key(KEY_SET_VALUE);
    if (key.get() != nullptr) ::RegDeleteValueW(key.get(), mjr::installer::kResetRequestValue);
}

int RegisterLogonTask(const std::wstring& installDir) {
    mjr::Win32Platform platform;
    const auto folder = mjr::installer::CheckInstallFolder(platform, installDir, mjr::installer::ElevatedAccount());
    if (folder.exitCode != 0) {
        TaskRoot root;  // no task of an earlier install may go on starting a program from there
        root.Delete();
        return folder.exitCode;
    }
    std::wstring enforce;
    if (const int failed = ReadEnforce(enforce)) return failed;
    const auto task = mjr::installer::FillLogonTask(mjr::installer::kLogonTaskTemplate, installDir, enforce);
    if (!task.ok) return task.refusal;
    TaskRoot root;
    if (const int failed = root.Register(task.xml)) return failed;
    return RaiseResetRequest();
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // It runs as SYSTEM: DLLs it loads later (COM, the Task Scheduler) come from System32 only.
    mjr::RestrictDllSearchToSystem32();
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) return static_cast<int>(::GetLastError());
    std::vector<std::wstring> args(argv + (count > 0 ? 1 : 0), argv + count);
    ::LocalFree(argv);

    const auto verb = mjr::installer::ParseHelperCommandLine(args);
    if (!verb) return mjr::installer::kExitBadCommandLine;
    const std::wstring installDir = mjr::installer::InstallDirOfHelper(OwnPath());
    switch (*verb) {
        case HelperVerb::Register:
            return RegisterLogonTask(installDir);
        case HelperVerb::Start:
            return static_cast<int>(RunSchtasks(L"/Run /TN " + QuotedTaskName()));
        case HelperVerb::Remove: {
            mjr::Win32Platform platform;
            mjr::installer::EndRunningCopies(platform, {installDir});
            ForgetResetRequest();
            TaskRoot root;
            return static_cast<int>(root.Delete());  // an HRESULT: 0 or a failure the log shows
        }
    }
    return mjr::installer::kExitBadCommandLine;
}
