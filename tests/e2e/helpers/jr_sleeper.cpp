// A process for the tests to point the program at: it only sleeps, for the number of
// seconds given (default 300, so a forgotten one still goes away), or until killed.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv) {
    long seconds = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 300;
    if (seconds <= 0) seconds = 300;
    Sleep(static_cast<DWORD>(seconds) * 1000);
    return 0;
}
