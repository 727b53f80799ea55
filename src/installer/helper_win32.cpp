// The package's helper, run as SYSTEM by the package's deferred custom actions (no console,
// no window) with one verb and nothing else: registers the logon task through the Task
// Scheduler from its own folder and the ENFORCE the package wrote to HKLM, starts it, and on
// removal closes the running copies it can reach and deletes the task. Before registering it
// checks that only administrators can change its folder and what the task starts from there.
// The exit code is what the installer logs; 0 is success.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <initguid.h>  // the Task Scheduler's class and interface ids, defined here
#include <oleauto.h>
#include <sddl.h>
#include <shellapi.h>
#include <taskschd.h>

#include <string>
#include <vector>

#include "installer/helper_command_line.h"
#include "installer/install_folder_check.h"
#include "installer/logon_task.h"
#include "installer/logon_task_template.h"
#include "platform/task_scheduler_win32.h"
#include "platform/win32_platform_win32.h"

namespace {

using mjr::ComPointer;
using mjr::ComText;
using mjr::installer::HelperVerb;

// A kernel handle of this program's own, closed once.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle) noexcept : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() {
        if (handle_ != nullptr) ::CloseHandle(handle_);
    }
    HANDLE get() const noexcept { return handle_; }
    bool valid() const noexcept { return handle_ != nullptr; }

private:
    HANDLE handle_;
};

constexpr wchar_t kFormClass[] = L"MarrowbineJrForm1";
constexpr DWORD kCloseWaitMs = 10000;

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

struct CloseSearch {
    mjr::Platform* platform;
    std::wstring installDir;
    std::vector<HWND> windows;
};

bool IsProcessOf(DWORD pid, const CloseSearch& search) {
    KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid()) return false;
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return false;
    image.resize(size);
    return mjr::installer::IsInstalledProgram(*search.platform, image, search.installDir);
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<CloseSearch*>(context);
    wchar_t className[64];
    if (::GetClassNameW(window, className, 64) == 0 || std::wstring(className) != kFormClass) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != 0 && IsProcessOf(pid, search)) search.windows.push_back(window);
    return TRUE;
}

// Asks each copy of the installed program in this session to close, as Restart Manager asks
// it; a copy that has not ended after the wait is ended, so no file stays in use.
void CloseRunningCopies(mjr::Platform& platform, const std::wstring& installDir) {
    CloseSearch search{&platform, installDir, {}};
    ::EnumWindows(CollectProgramWindow, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.windows) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        KernelHandle process(::OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid));
        DWORD_PTR answer = 0;
        ::SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000, &answer);
        ::SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP, SMTO_ABORTIFHUNG, 5000, &answer);
        if (process.valid() && ::WaitForSingleObject(process.get(), kCloseWaitMs) == WAIT_TIMEOUT)
            ::TerminateProcess(process.get(), 1);
    }
}


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

// The SID of the account this helper runs as, when its token is elevated (SYSTEM under Windows
// Installer; under Wine, the one user): that account installed the product, so what it alone
// may change is no ordinary user's. Empty when Windows cannot say.
std::string ElevatedAccount() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const KernelHandle owned(token);
    TOKEN_ELEVATION elevation{};
    DWORD bytes = 0;
    if (!::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &bytes) || !elevation.TokenIsElevated)
        return {};
    alignas(TOKEN_USER) unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    if (!::GetTokenInformation(token, TokenUser, user, sizeof user, &bytes)) return {};
    LPWSTR text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text)) return {};
    std::string sid;
    for (const wchar_t* c = text; *c != L'\0'; ++c) sid += static_cast<char>(*c);  // "S-1-..." is ASCII
    ::LocalFree(text);
    return sid;
}

int RegisterLogonTask(const std::wstring& installDir) {
    mjr::Win32Platform platform;
    const auto folder = mjr::installer::CheckInstallFolder(platform, installDir, ElevatedAccount());
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
    return root.Register(task.xml);
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
            CloseRunningCopies(platform, installDir);
            TaskRoot root;
            return static_cast<int>(root.Delete());  // an HRESULT: 0 or a failure the log shows
        }
    }
    return mjr::installer::kExitBadCommandLine;
}
