// The resident tests' driver: looks at and pokes windows of other processes.
//
//   jr_window find <class|-> <title|-> [ms]  hwnd of a top-level window (waits up to ms)
//   jr_window gone <hwnd> <ms>              0 once the window no longer exists
//   jr_window info <hwnd>                   visible iconic left top right bottom clientX clientY clientW clientH pid
//   jr_window post <hwnd> <msg> <wparam> <lparam> [<msg> <wparam> <lparam>]...  posted back to back
//   jr_window click <hwnd> <x> <y>          left button down and up at a client point
//   jr_window move <hwnd> <x> <y>           moves the window's top-left corner to a screen point
//   jr_window taskbar-created               broadcasts the shell's "TaskbarCreated"
//   jr_window tray <hwnd> <id>              0 when the notification area holds that icon
//   jr_window untray <hwnd> <id>            removes that icon, as a shell restart would
//   jr_window press <dialog> yes|no         clicks a message box button
//   jr_window popup <ms>                    hwnd of a visible pop-up menu
//   jr_window list                          hwnd, pid, visible, class, title of every top-level window
// Handles are decimal. Exit code 0 on success, 1 when not found or failed, 2 on bad usage.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND Hwnd(const char* text) { return reinterpret_cast<HWND>(std::strtoul(text, nullptr, 10)); }
unsigned long Number(const char* text) { return std::strtoul(text, nullptr, 0); }
const char* OrNull(const char* text) { return std::strcmp(text, "-") == 0 ? nullptr : text; }

int Find(const char* cls, const char* title, DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        if (HWND w = FindWindowA(OrNull(cls), OrNull(title))) {
            std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)));
            return 0;
        }
        if (GetTickCount() - start >= ms) return 1;
        Sleep(20);
    }
}

int Gone(HWND w, DWORD ms) {
    const DWORD start = GetTickCount();
    while (IsWindow(w)) {
        if (GetTickCount() - start >= ms) return 1;
        Sleep(20);
    }
    return 0;
}

int Info(HWND w) {
    if (!IsWindow(w)) return 1;
    RECT r{}, c{};
    GetWindowRect(w, &r);
    GetClientRect(w, &c);
    POINT origin{0, 0};
    ClientToScreen(w, &origin);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    std::printf("%d %d %ld %ld %ld %ld %ld %ld %ld %ld %lu\n", IsWindowVisible(w) ? 1 : 0,
                IsIconic(w) ? 1 : 0, r.left, r.top, r.right, r.bottom, origin.x, origin.y, c.right,
                c.bottom, pid);
    return 0;
}

int Tray(HWND w, UINT id) {
    // A modify that changes nothing succeeds only for an icon that is there.
    NOTIFYICONDATAA data{};
    data.cbSize = 88;
    data.hWnd = w;
    data.uID = id;
    data.uFlags = 0;
    return Shell_NotifyIconA(NIM_MODIFY, &data) ? 0 : 1;
}

struct PopupSearch {
    HWND found = nullptr;
};

BOOL CALLBACK FindPopup(HWND w, LPARAM param) {
    char cls[16] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32768") == 0 && IsWindowVisible(w)) {
        reinterpret_cast<PopupSearch*>(param)->found = w;
        return FALSE;
    }
    return TRUE;
}

int Popup(DWORD ms) {
    const DWORD start = GetTickCount();
    for (;;) {
        PopupSearch search;
        EnumWindows(FindPopup, reinterpret_cast<LPARAM>(&search));
        if (search.found) {
            std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(search.found)));
            return 0;
        }
        if (GetTickCount() - start >= ms) return 1;
        Sleep(20);
    }
}

BOOL CALLBACK ListOne(HWND w, LPARAM) {
    char cls[64] = {}, title[128] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    std::printf("%lu\t%lu\t%d\t%s\t%s\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(w)), pid,
                IsWindowVisible(w) ? 1 : 0, cls, title);
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const char* cmd = argv[1];
    if (!std::strcmp(cmd, "find") && argc >= 4) return Find(argv[2], argv[3], argc > 4 ? Number(argv[4]) : 0);
    if (!std::strcmp(cmd, "gone") && argc == 4) return Gone(Hwnd(argv[2]), Number(argv[3]));
    if (!std::strcmp(cmd, "info") && argc == 3) return Info(Hwnd(argv[2]));
    if (!std::strcmp(cmd, "post") && argc >= 6 && (argc - 3) % 3 == 0) {
        for (int k = 3; k < argc; k += 3)
            if (!PostMessageA(Hwnd(argv[2]), Number(argv[k]), Number(argv[k + 1]), Number(argv[k + 2]))) return 1;
        return 0;
    }
    if (!std::strcmp(cmd, "click") && argc == 5) {
        const LPARAM at = MAKELPARAM(Number(argv[3]), Number(argv[4]));
        HWND w = Hwnd(argv[2]);
        return PostMessageA(w, WM_LBUTTONDOWN, MK_LBUTTON, at) && PostMessageA(w, WM_LBUTTONUP, 0, at) ? 0 : 1;
    }
    if (!std::strcmp(cmd, "move") && argc == 5)
        return SetWindowPos(Hwnd(argv[2]), nullptr, static_cast<int>(std::strtol(argv[3], nullptr, 10)),
                            static_cast<int>(std::strtol(argv[4], nullptr, 10)), 0, 0,
                            SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
                   ? 0
                   : 1;
    if (!std::strcmp(cmd, "taskbar-created") && argc == 2)
        return PostMessageA(HWND_BROADCAST, RegisterWindowMessageA("TaskbarCreated"), 0, 0) ? 0 : 1;
    if (!std::strcmp(cmd, "tray") && argc == 4) return Tray(Hwnd(argv[2]), Number(argv[3]));
    if (!std::strcmp(cmd, "untray") && argc == 4) {
        NOTIFYICONDATAA data{};
        data.cbSize = 88;
        data.hWnd = Hwnd(argv[2]);
        data.uID = Number(argv[3]);
        return Shell_NotifyIconA(NIM_DELETE, &data) ? 0 : 1;
    }
    if (!std::strcmp(cmd, "press") && argc == 4) {
        HWND button = GetDlgItem(Hwnd(argv[2]), std::strcmp(argv[3], "yes") == 0 ? IDYES : IDNO);
        if (!button) return 1;
        return PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
    }
    if (!std::strcmp(cmd, "list") && argc == 2) return EnumWindows(ListOne, 0) ? 0 : 1;
    if (!std::strcmp(cmd, "popup") && argc == 3) return Popup(Number(argv[2]));
    return 2;
}
