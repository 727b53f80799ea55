#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <initguid.h>  // the Task Scheduler's class and interface ids, defined here
#include <oleauto.h>
#include <taskschd.h>

#include <vector>

#include "platform/handle_cast_win32.h"
#include "platform/task_scheduler_win32.h"
#include "platform/try_platform_win32.h"

namespace mjr {
namespace {

static_assert(kCreateSuspended == CREATE_SUSPENDED && kCreateNoWindow == CREATE_NO_WINDOW);
static_assert(kErrorPrivilegeNotHeld == ERROR_PRIVILEGE_NOT_HELD && kErrorCallNotImplemented == ERROR_CALL_NOT_IMPLEMENTED);

// Only reads: connect, find the task, ask its definition and its descriptor.
HRESULT ReadTask(const std::wstring& name, ScheduledTaskRecord& record) {
    ComPointer<ITaskService> service;
    ComPointer<ITaskFolder> root;
    HRESULT hr = OpenTaskRoot(service, root);
    if (FAILED(hr)) return hr;
    const ComText taskName(name);
    ComPointer<IRegisteredTask> task;
    if (FAILED(hr = root->GetTask(taskName.get(), task.out()))) return hr;
    ComPointer<ITaskDefinition> definition;
    if (FAILED(hr = task->get_Definition(definition.out()))) return hr;
    ScheduledTaskRecord read;
    ComPointer<IPrincipal> principal;
    if (SUCCEEDED(definition->get_Principal(principal.out()))) {
        ComText user, group;
        TASK_RUNLEVEL_TYPE level = TASK_RUNLEVEL_LUA;
        TASK_LOGON_TYPE logon = TASK_LOGON_NONE;
        if (SUCCEEDED(principal->get_UserId(user.out()))) read.userId = user.text();
        if (SUCCEEDED(principal->get_GroupId(group.out()))) read.groupId = group.text();
        if (SUCCEEDED(principal->get_RunLevel(&level))) read.runLevel = level;
        if (SUCCEEDED(principal->get_LogonType(&logon))) read.logonType = logon;
    }
    ComPointer<IActionCollection> actions;
    LONG count = 0;
    if (SUCCEEDED(definition->get_Actions(actions.out())) && SUCCEEDED(actions->get_Count(&count))) {
        for (LONG k = 1; k <= count; ++k) {  // the collection counts from 1
            ComPointer<IAction> action;
            TASK_ACTION_TYPE type = TASK_ACTION_EXEC;
            if (FAILED(actions->get_Item(k, action.out())) || FAILED(action->get_Type(&type)) || type != TASK_ACTION_EXEC)
                continue;
            if (read.execActions++ > 0) continue;
            ComPointer<IExecAction> exec;
            if (FAILED(action->QueryInterface(IID_IExecAction, reinterpret_cast<void**>(exec.out())))) continue;
            ComText path, arguments;
            if (SUCCEEDED(exec->get_Path(path.out()))) read.path = path.text();
            if (SUCCEEDED(exec->get_Arguments(arguments.out()))) read.arguments = arguments.text();
        }
    }
    ComText sddl;
    if (SUCCEEDED(task->GetSecurityDescriptor(OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                                  DACL_SECURITY_INFORMATION, sddl.out())))
        read.descriptor = sddl.text();
    LONG last = 0;
    if (SUCCEEDED(task->get_LastTaskResult(&last))) read.lastResult = last;
    VARIANT_BOOL enabled = VARIANT_FALSE;
    if (SUCCEEDED(task->get_Enabled(&enabled))) read.enabled = enabled != VARIANT_FALSE;
    record = std::move(read);
    return S_OK;
}

}  // namespace

Dword Win32TryPlatform::GetSystemDirectoryW(wchar_t* buffer, Dword size) { return ::GetSystemDirectoryW(buffer, size); }

WinBool Win32TryPlatform::CreateProcessW(const std::wstring& applicationName, const std::wstring& commandLine,
                                         Dword creationFlags, ProcessInformation* information) {
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());  // CreateProcessW may write to it
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    const BOOL ok = ::CreateProcessW(applicationName.c_str(), line.data(), nullptr, nullptr, FALSE, creationFlags,
                                     nullptr, nullptr, &startup, &started);
    if (ok && information) {
        information->hProcess = FromHandle(started.hProcess);
        information->hThread = FromHandle(started.hThread);
        information->dwProcessId = started.dwProcessId;
        information->dwThreadId = started.dwThreadId;
    }
    return ok;
}

WinBool Win32TryPlatform::TerminateProcess(Handle process, Dword exitCode) {
    return ::TerminateProcess(ToHandle(process), exitCode);
}

Handle Win32TryPlatform::CreateJobObjectW() { return FromHandle(::CreateJobObjectW(nullptr, nullptr)); }

WinBool Win32TryPlatform::SetJobKillOnClose(Handle job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    return ::SetInformationJobObject(ToHandle(job), JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

WinBool Win32TryPlatform::AssignProcessToJobObject(Handle job, Handle process) {
    return ::AssignProcessToJobObject(ToHandle(job), ToHandle(process));
}

std::wstring Win32TryPlatform::SystemMessage(Dword error) {
    constexpr DWORD kFlags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    wchar_t buffer[512];
    DWORD n = ::FormatMessageW(kFlags, nullptr, error, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), buffer, 512, nullptr);
    if (n == 0) n = ::FormatMessageW(kFlags, nullptr, error, 0, buffer, 512, nullptr);
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return text;
}

std::int32_t Win32TryPlatform::ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) {
    HRESULT hr = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return hr;
    ScheduledTaskRecord read;
    hr = ReadTask(name, read);
    ::CoUninitialize();
    if (SUCCEEDED(hr) && record) *record = std::move(read);
    return hr;
}

}  // namespace mjr
