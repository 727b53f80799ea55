#pragma once
// The real side of the doctor's --try calls: each member makes the Windows call it names.
#include "platform/platform.h"

namespace mjr {

class Win32TryPlatform : public TryPlatform {
public:
    Dword GetSystemDirectoryW(wchar_t* buffer, Dword size) override;
    WinBool CreateProcessW(const std::wstring& applicationName, const std::wstring& commandLine, Dword creationFlags,
                           ProcessInformation* information) override;
    WinBool TerminateProcess(Handle process, Dword exitCode) override;
    Handle CreateJobObjectW() override;
    WinBool SetJobKillOnClose(Handle job) override;
    WinBool AssignProcessToJobObject(Handle job, Handle process) override;
    std::wstring SystemMessage(Dword error) override;
    std::int32_t ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) override;
};

}  // namespace mjr
