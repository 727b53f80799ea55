// A process for the tests to point the program at: it only sleeps, for the number of
// seconds given (default 300, so a forgotten one still goes away), or until killed.
// "jr_sleeper --start PROGRAM [seconds]" first starts PROGRAM, given the same seconds, as its child.
#include <process.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const int next = argc > 2 && std::strcmp(argv[1], "--start") == 0 ? 3 : 1;
    if (next == 3 && _spawnl(_P_DETACH, argv[2], argv[2], argc > 3 ? argv[3] : nullptr, nullptr) == -1) return 1;
    long seconds = argc > next ? std::strtol(argv[next], nullptr, 10) : 300;
    if (seconds <= 0) seconds = 300;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
