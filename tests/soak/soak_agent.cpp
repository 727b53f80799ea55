// The soak driver's hands and eyes inside Wine: starts and ends the short-lived processes,
// changes affinity/priority of tracked ones from outside, and polls them fast to record
// when each one first carried the expected affinity and class.
//
// Commands on stdin, one per line (times are ms since the agent started):
//   spawn <id> <life_ms> <mask> <class> <path>   start path; mask 0 = not a favourite,
//                                                class 0 = priority left alone
//   set <id> <mask> <class>                      change a tracked process from outside
//   info                                         figures of the program's process
//   close                                        WM_CLOSE to the program's window
//   procs                                        names of all processes
//   quit
// Replies and events on stdout:
//   S id pid t_call t_ret | F id error           started / failed to start
//   M id t                                       favourite first matched
//   X id t mask class                            non-favourite found changed
//   T id t | R id t_set t_match                  external change made / undone
//   E id t mask class                            ended (last mask/class seen)
//   I pid handles_api handles_sys threads gdi user | I 0
//   C 0|1 | L count names... | Q
#include <windows.h>
#include <tlhelp32.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

LARGE_INTEGER g_freq, g_origin;

double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - g_origin.QuadPart) * 1000.0 / double(g_freq.QuadPart);
}

struct Child {
    HANDLE process = nullptr;
    DWORD pid = 0;
    double started = 0, endAt = 0, nextCheck = 0;
    DWORD expMask = 0, expClass = 0;
    bool matched = false, tamperSeen = false;
    double setAt = -1;  // pending external change
    DWORD lastMask = 0, lastClass = 0;
};

std::mutex g_lock;
std::deque<std::string> g_lines;
bool g_eof = false;

void ReadStdin() {
    char buf[2048];
    while (std::fgets(buf, sizeof buf, stdin)) {
        std::string line(buf);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
        std::lock_guard<std::mutex> g(g_lock);
        g_lines.push_back(line);
    }
    std::lock_guard<std::mutex> g(g_lock);
    g_eof = true;
}

void Out(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::vprintf(fmt, ap);
    va_end(ap);
    std::fflush(stdout);
}

HWND ProgramWindow() { return FindWindowA("MarrowbineJrForm1", nullptr); }

// Wine's GetProcessHandleCount of another process says 0; its system handle table does not.
long SystemHandleCount(DWORD pid) {
    typedef LONG(WINAPI * Query)(ULONG, PVOID, ULONG, PULONG);
    static Query query = reinterpret_cast<Query>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return -1;
    struct Entry {
        ULONG owner;
        BYTE type, flags;
        USHORT value;
        PVOID object;
        ULONG access;
    };
    ULONG size = 1 << 16;
    for (int tries = 0; tries < 12; ++tries) {
        std::string buf(size, '\0');
        ULONG got = 0;
        LONG status = query(16, &buf[0], size, &got);
        if (status == LONG(0xC0000004)) {
            size = got > size ? got + 4096 : size * 2;
            continue;
        }
        if (status != 0) return -1;
        ULONG count = *reinterpret_cast<ULONG*>(&buf[0]);
        const Entry* e = reinterpret_cast<const Entry*>(&buf[sizeof(ULONG_PTR)]);
        long mine = 0;
        for (ULONG i = 0; i < count; ++i)
            if (e[i].owner == pid) ++mine;
        return mine;
    }
    return -1;
}

long ThreadCount(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    long threads = -1;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (pe.th32ProcessID == pid) threads = long(pe.cntThreads);
    CloseHandle(snap);
    return threads;
}

void Info() {
    HWND w = ProgramWindow();
    DWORD pid = 0;
    if (w) GetWindowThreadProcessId(w, &pid);
    if (!pid) return Out("I 0\n");
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    DWORD handles = 0;
    DWORD gdi = 0, user = 0;
    if (h) {
        if (!GetProcessHandleCount(h, &handles)) handles = 0;
        gdi = GetGuiResources(h, GR_GDIOBJECTS);
        user = GetGuiResources(h, GR_USEROBJECTS);
        CloseHandle(h);
    }
    Out("I %lu %lu %ld %ld %lu %lu\n", (unsigned long)pid, (unsigned long)handles, SystemHandleCount(pid),
        ThreadCount(pid), (unsigned long)gdi, (unsigned long)user);
}

void Procs() {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    std::string names;
    int n = 0;
    if (snap != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;
        for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe), ++n)
            names += std::string(" ") + pe.szExeFile;
        CloseHandle(snap);
    }
    Out("L %d%s\n", n, names.c_str());
}

void Observe(int id, Child& c, double now) {
    DWORD_PTR pm = 0, sm = 0;
    if (!GetProcessAffinityMask(c.process, &pm, &sm)) pm = 0;
    DWORD cls = GetPriorityClass(c.process);
    c.lastMask = DWORD(pm);
    c.lastClass = cls;
    if (c.expMask == 0) {
        // Started with the parent's full mask and normal class: any other value is a stray correction.
        if (!c.tamperSeen && (pm != sm || cls != NORMAL_PRIORITY_CLASS)) {
            c.tamperSeen = true;
            Out("X %d %.1f %lu %lu\n", id, now, (unsigned long)pm, (unsigned long)cls);
        }
        return;
    }
    const bool ok = DWORD(pm) == c.expMask && (c.expClass == 0 || cls == c.expClass);
    if (!ok) return;
    if (!c.matched) {
        c.matched = true;
        Out("M %d %.1f\n", id, now);
    }
    if (c.setAt >= 0) {
        Out("R %d %.1f %.1f\n", id, c.setAt, now);
        c.setAt = -1;
    }
}

}  // namespace

int main() {
    QueryPerformanceFrequency(&g_freq);
    QueryPerformanceCounter(&g_origin);
    std::map<int, Child> children;
    std::thread reader(ReadStdin);
    reader.detach();
    bool quit = false;
    while (!quit) {
        std::deque<std::string> lines;
        bool eof;
        {
            std::lock_guard<std::mutex> g(g_lock);
            lines.swap(g_lines);
            eof = g_eof;
        }
        for (const std::string& line : lines) {
            std::istringstream in(line);
            std::string verb;
            in >> verb;
            if (verb == "spawn") {
                int id;
                double life;
                unsigned long mask, cls;
                in >> id >> life >> mask >> cls;
                std::string path;
                std::getline(in, path);
                path.erase(0, path.find_first_not_of(' '));
                // The sleeper's own limit is only a backstop; the agent ends it on time.
                std::string cmd = "\"" + path + "\" " + std::to_string(int(life / 1000) + 30);
                STARTUPINFOA si{};
                si.cb = sizeof si;
                PROCESS_INFORMATION pi{};
                const double tCall = NowMs();
                // No console: a console child would bring a conhost into the process list.
                if (!CreateProcessA(path.c_str(), &cmd[0], nullptr, nullptr, FALSE, DETACHED_PROCESS,
                                    nullptr, nullptr, &si, &pi)) {
                    Out("F %d %lu\n", id, (unsigned long)GetLastError());
                    continue;
                }
                const double tRet = NowMs();
                CloseHandle(pi.hThread);
                Child c;
                c.process = pi.hProcess;
                c.pid = pi.dwProcessId;
                c.started = tRet;
                c.endAt = tRet + life;
                c.expMask = DWORD(mask);
                c.expClass = DWORD(cls);
                children[id] = c;
                Out("S %d %lu %.1f %.1f\n", id, (unsigned long)pi.dwProcessId, tCall, tRet);
            } else if (verb == "set") {
                int id;
                unsigned long mask, cls;
                in >> id >> mask >> cls;
                auto it = children.find(id);
                if (it == children.end()) continue;
                SetProcessAffinityMask(it->second.process, mask);
                if (cls) SetPriorityClass(it->second.process, DWORD(cls));
                it->second.setAt = NowMs();
                Out("T %d %.1f\n", id, it->second.setAt);
            } else if (verb == "info") {
                Info();
            } else if (verb == "close") {
                HWND w = ProgramWindow();
                Out("C %d\n", w && PostMessageA(w, WM_CLOSE, 0, 0) ? 1 : 0);
            } else if (verb == "procs") {
                Procs();
            } else if (verb == "quit") {
                quit = true;
            }
        }
        if (eof) quit = true;
        const double now = NowMs();
        for (auto it = children.begin(); it != children.end();) {
            Child& c = it->second;
            if (now >= c.endAt) TerminateProcess(c.process, 0);
            if (WaitForSingleObject(c.process, 0) == WAIT_OBJECT_0) {
                Out("E %d %.1f %lu %lu\n", it->first, NowMs(), (unsigned long)c.lastMask,
                    (unsigned long)c.lastClass);
                CloseHandle(c.process);
                it = children.erase(it);
                continue;
            }
            // Fast while a correction is awaited, slow otherwise (only watching for strays).
            const bool waiting = c.expMask != 0 && (!c.matched || c.setAt >= 0);
            if (waiting || now >= c.nextCheck) {
                Observe(it->first, c, now);
                c.nextCheck = now + 250;
            }
            ++it;
        }
        Sleep(10);
    }
    for (auto& kv : children) {
        TerminateProcess(kv.second.process, 0);
        CloseHandle(kv.second.process);
    }
    Out("Q\n");
    return 0;
}
