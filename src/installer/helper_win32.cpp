// The package's helper, run by the package's deferred custom actions (no console, no
// window): registers the logon task through schtasks, starts it, and on removal closes the
// running copies it can reach and deletes the task. The exit code is what the installer
// logs; 0 is success.
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

#include <string>
#include <vector>

#include "installer/helper_command_line.h"
#include "installer/logon_task.h"
#include "installer/logon_task_template.h"
#include "platform/win32_platform_win32.h"

namespace {

using mjr::installer::HelperCommand;
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

// UTF-16 with a byte-order mark, as the template's declaration says.
bool WriteDefinition(const std::wstring& file, const std::wstring& xml) {
    KernelHandle out(::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.valid()) return false;
    const std::wstring text = L"\xFEFF" + xml;
    const DWORD bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    DWORD written = 0;
    return ::WriteFile(out.get(), text.data(), bytes, &written, nullptr) && written == bytes;
}

DWORD Register(const HelperCommand& command) {
    const auto task = mjr::installer::FillLogonTask(mjr::installer::kLogonTaskTemplate, command.installDir,
                                                    command.enforce);
    if (!task.ok) return ERROR_INVALID_PARAMETER;  // the installer's log shows the command line
    std::wstring file = command.definitionFile;
    bool temporary = false;
    if (file.empty()) {
        wchar_t folder[MAX_PATH], name[MAX_PATH];
        const DWORD length = ::GetTempPathW(MAX_PATH, folder);
        if (length == 0 || length >= MAX_PATH || !::GetTempFileNameW(folder, L"mjr", 0, name))
            return ::GetLastError();
        file = name;
        temporary = true;
    }
    DWORD result = WriteDefinition(file, task.xml) ? ERROR_SUCCESS : ::GetLastError();
    if (result == ERROR_SUCCESS)
        result = RunSchtasks(L"/Create /TN " + QuotedTaskName() + L" /XML \"" + file + L"\" /F");
    if (temporary) ::DeleteFileW(file.c_str());
    return result;
}

// A COM interface pointer of this program's own, released once.
template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() {
        if (pointer_ != nullptr) pointer_->Release();
    }
    Interface** out() noexcept { return &pointer_; }
    Interface* operator->() const noexcept { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : text_(::SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(text_); }
    BSTR get() const noexcept { return text_; }

private:
    BSTR text_;
};

// Through the Task Scheduler itself: schtasks answers a query for a missing task with
// success on some systems, so its answer cannot tell "gone" from "not deleted". A task that
// is already gone is no failure.
HRESULT Unregister() {
    HRESULT result = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(result)) return result;
    {
        ComPointer<ITaskService> service;
        ComPointer<ITaskFolder> root;
        VARIANT none;
        ::VariantInit(&none);
        const Bstr rootPath(L"\\"), name(mjr::installer::kTaskName);
        result = ::CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                    reinterpret_cast<void**>(service.out()));
        if (SUCCEEDED(result)) result = service->Connect(none, none, none, none);
        if (SUCCEEDED(result)) result = service->GetFolder(rootPath.get(), root.out());
        if (SUCCEEDED(result)) result = root->DeleteTask(name.get(), 0);
        if (result == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || result == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            result = S_OK;
    }
    ::CoUninitialize();
    return result;
}

struct CloseSearch {
    std::wstring program;
    std::vector<HWND> windows;
};

bool IsProcessOf(DWORD pid, const std::wstring& program) {
    KernelHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid()) return false;
    std::wstring image(32768, L'\0');
    DWORD size = static_cast<DWORD>(image.size());
    if (!::QueryFullProcessImageNameW(process.get(), 0, image.data(), &size)) return false;
    image.resize(size);
    return ::CompareStringOrdinal(image.c_str(), -1, program.c_str(), -1, TRUE) == CSTR_EQUAL;
}

BOOL CALLBACK CollectProgramWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<CloseSearch*>(context);
    wchar_t className[64];
    if (::GetClassNameW(window, className, 64) == 0 || std::wstring(className) != kFormClass) return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != 0 && IsProcessOf(pid, search.program)) search.windows.push_back(window);
    return TRUE;
}

// Asks each copy of the installed program in this session to close, as Restart Manager asks
// it; a copy that has not ended after the wait is ended, so no file stays in use.
void CloseRunningCopies(const std::wstring& installDir) {
    CloseSearch search;
    search.program = installDir;
    if (!search.program.empty() && search.program.back() != L'\\') search.program += L'\\';
    search.program += mjr::installer::kProgramFile;
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    // It runs as SYSTEM: DLLs it loads later (COM, the Task Scheduler) come from System32 only.
    mjr::RestrictDllSearchToSystem32();
    int count = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (argv == nullptr) return static_cast<int>(::GetLastError());
    std::vector<std::wstring> args(argv + (count > 0 ? 1 : 0), argv + count);
    ::LocalFree(argv);

    const auto parsed = mjr::installer::ParseHelperCommandLine(args);
    if (!parsed.ok) return ERROR_BAD_ARGUMENTS;
    const HelperCommand& command = parsed.command;
    switch (command.verb) {
        case HelperVerb::Register:
            return static_cast<int>(Register(command));
        case HelperVerb::Start:
            return static_cast<int>(RunSchtasks(L"/Run /TN " + QuotedTaskName()));
        case HelperVerb::Remove:
            CloseRunningCopies(command.installDir);
            return static_cast<int>(Unregister());  // an HRESULT: 0 or a failure the log shows
    }
    return ERROR_BAD_ARGUMENTS;
}
