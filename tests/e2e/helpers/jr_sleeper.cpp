// A process for the tests to point the program at: it only sleeps, for the number of
// seconds given (default 300, so a forgotten one still goes away), or until killed.
// "jr_sleeper --start PROGRAM [seconds]" first starts PROGRAM, given the same seconds, as its child.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const int next = argc > 2 && std::strcmp(argv[1], "--start") == 0 ? 3 : 1;
    if (next == 3) {
        std::string command = std::string("\"") + argv[2] + "\" " + (argc > 3 ? argv[3] : "");
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!CreateProcessA(argv[2], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
            return 1;
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    long seconds = argc > next ? std::strtol(argv[next], nullptr, 10) : 300;
    if (seconds <= 0) seconds = 300;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
