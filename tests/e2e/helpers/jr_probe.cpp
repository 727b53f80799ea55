// The tests' own view of the process table, read with the Win32 API and nothing of the
// program under test, plus the few changes a test makes before running the program.
//
//   jr_probe list                   pid<TAB>affinity<TAB>priority class<TAB>image path (the kernel's)
//   jr_probe modpath <pid>          the executable's path as the process's module list claims it
//   jr_probe ncpu                   number of processors
//   jr_probe setaff <pid> <mask>    SetProcessAffinityMask
//   jr_probe setprio <pid> <class>  SetPriorityClass
//   jr_probe kill <pid>             TerminateProcess
//   jr_probe wait <pid> <ms>        0 once the process has ended, 1 on time-out
// Numbers are decimal. Exit code 0 on success, 1 when a call failed, 2 on bad usage. Every
// failure, wait's time-out too, says itself on stderr: a silent one was Wine's, not the probe's.
#define PSAPI_VERSION 1
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Masks are pointer-wide: processors 32 to 63 need all 64 bits in the 64-bit probe.
unsigned long long Number(const char* text) { return std::strtoull(text, nullptr, 10); }

int List() {
    std::vector<DWORD> pids(1024);
    DWORD bytes = 0;
    // Wine's snapshot has been seen to fail once while a process ended beside it: a few tries.
    for (int failures = 0;;) {
        const DWORD size = static_cast<DWORD>(pids.size() * sizeof(DWORD));
        if (!EnumProcesses(pids.data(), size, &bytes)) {
            if (++failures == 3) {
                std::fprintf(stderr, "EnumProcesses failed: %lu\n", GetLastError());
                return 1;
            }
            Sleep(50);
            continue;
        }
        if (bytes < size) break;
        pids.resize(pids.size() * 2);
    }
    for (DWORD k = 0; k < bytes / sizeof(DWORD); ++k) {
        const DWORD pid = pids[k];
        DWORD_PTR mask = 0, system = 0;
        DWORD priority = 0;
        wchar_t wide[1024] = L"";
        char path[4096] = "";  // UTF-8, so a path in any language reaches the tests whole
        HANDLE h = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
        if (h) {
            if (!GetProcessAffinityMask(h, &mask, &system)) mask = 0;
            priority = GetPriorityClass(h);
            DWORD size = 1024;
            if (QueryFullProcessImageNameW(h, 0, wide, &size))
                WideCharToMultiByte(CP_UTF8, 0, wide, -1, path, sizeof(path), nullptr, nullptr);
            CloseHandle(h);
        }
        std::printf("%lu\t%llu\t%lu\t%s\n", static_cast<unsigned long>(pid),
                    static_cast<unsigned long long>(mask), static_cast<unsigned long>(priority), path);
    }
    return 0;
}

int ModulePath(const char* pidText) {
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, static_cast<DWORD>(Number(pidText)));
    if (!h) {
        std::fprintf(stderr, "OpenProcess(%s) failed: %lu\n", pidText, GetLastError());
        return 1;
    }
    char path[1024] = "";
    const DWORD length = GetModuleFileNameExA(h, nullptr, path, sizeof(path));
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (length == 0) {
        std::fprintf(stderr, "GetModuleFileNameExA(%s) failed: %lu\n", pidText, error);
        return 1;
    }
    std::printf("%s\n", path);
    return 0;
}

int WithProcess(DWORD access, const char* pidText, BOOL (*action)(HANDLE, unsigned long long),
                unsigned long long value) {
    HANDLE h = OpenProcess(access, FALSE, static_cast<DWORD>(Number(pidText)));
    if (!h) {
        std::fprintf(stderr, "OpenProcess(%s) failed: %lu\n", pidText, GetLastError());
        return 1;
    }
    const BOOL ok = action(h, value);
    const DWORD error = GetLastError();
    CloseHandle(h);
    if (!ok) std::fprintf(stderr, "the call on %s failed: %lu\n", pidText, error);
    return ok ? 0 : 1;
}

// A set is asked up to three times: Wine has been seen to refuse one, now and then, for a
// process it had just changed for another; a set that is truly refused fails all three.
int Setting(DWORD access, const char* pidText, BOOL (*action)(HANDLE, unsigned long long), unsigned long long value) {
    for (int tries = 1;; ++tries) {
        if (WithProcess(access, pidText, action, value) == 0) return 0;
        if (tries == 3) {
            std::fprintf(stderr, "set failed: %lu\n", GetLastError());
            return 1;
        }
        Sleep(50);
    }
}

BOOL SetAffinity(HANDLE h, unsigned long long mask) { return SetProcessAffinityMask(h, static_cast<DWORD_PTR>(mask)); }
BOOL SetPriority(HANDLE h, unsigned long long cls) { return SetPriorityClass(h, static_cast<DWORD>(cls)); }
BOOL Terminate(HANDLE h, unsigned long long code) { return TerminateProcess(h, static_cast<UINT>(code)); }
BOOL WaitEnd(HANDLE h, unsigned long long ms) { return WaitForSingleObject(h, static_cast<DWORD>(ms)) == WAIT_OBJECT_0; }

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) return List();
    if (argc >= 2 && std::strcmp(argv[1], "ncpu") == 0) {
        SYSTEM_INFO si{};
        GetSystemInfo(&si);
        std::printf("%lu\n", static_cast<unsigned long>(si.dwNumberOfProcessors));
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "modpath") == 0) return ModulePath(argv[2]);
    if (argc >= 4 && std::strcmp(argv[1], "setaff") == 0)
        return Setting(PROCESS_SET_INFORMATION | PROCESS_QUERY_INFORMATION, argv[2], SetAffinity, Number(argv[3]));
    if (argc >= 4 && std::strcmp(argv[1], "setprio") == 0)
        return Setting(PROCESS_SET_INFORMATION, argv[2], SetPriority, Number(argv[3]));
    if (argc >= 3 && std::strcmp(argv[1], "kill") == 0)
        return WithProcess(PROCESS_TERMINATE, argv[2], Terminate, 9);
    if (argc >= 4 && std::strcmp(argv[1], "wait") == 0)
        return WithProcess(SYNCHRONIZE, argv[2], WaitEnd, Number(argv[3]));
    std::fprintf(stderr, "usage: jr_probe list|modpath|ncpu|setaff|setprio|kill|wait ...\n");
    return 2;
}
