// A process for the tests to point the program at: it only sleeps, for the number of
// seconds given (default 300, so a forgotten one still goes away), or until killed.
//   jr_sleeper [--start PROGRAM] [seconds]
// With --start it first starts PROGRAM (given the same seconds) as its child, a launcher's
// game, which ends with it: a job that kills what it holds once its last handle closes.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    int next = 1;
    HANDLE job = nullptr;
    if (argc > 2 && std::strcmp(argv[1], "--start") == 0) {
        next = 3;
        job = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limit{};
        limit.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        std::string command = std::string("\"") + argv[2] + "\" " + (argc > 3 ? argv[3] : "");
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limit, sizeof limit) ||
            !CreateProcessA(argv[2], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
            return 1;
        AssignProcessToJobObject(job, child.hProcess);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    long seconds = argc > next ? std::strtol(argv[next], nullptr, 10) : 300;
    if (seconds <= 0) seconds = 300;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
