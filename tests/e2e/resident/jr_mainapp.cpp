// A stand-in for the main application: one top-level window of its class and caption,
// until it is closed or the given seconds have passed. Writes the show state it was
// started with and its working folder to mainapp_started.txt beside itself.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
    if (m == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

void NoteStart(int show) {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    while (n > 0 && path[n - 1] != '\\') --n;
    path[n] = 0;
    std::strncat(path, "mainapp_started.txt", MAX_PATH - n - 1);
    char folder[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, folder);
    if (FILE* f = std::fopen(path, "w")) {
        std::fprintf(f, "%d\n%s\n", show, folder);
        std::fclose(f);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR args, int show) {
    NoteStart(show);
    long seconds = std::strtol(args, nullptr, 10);
    if (seconds <= 0) seconds = 300;
    WNDCLASSA wc{};
    wc.lpfnWndProc = Proc;
    wc.hInstance = instance;
    wc.lpszClassName = "ThunderRT6FormDC";
    if (!RegisterClassA(&wc)) return 1;
    HWND w = CreateWindowA("ThunderRT6FormDC", "Marrowbine64", WS_OVERLAPPEDWINDOW, 600, 400, 200, 100,
                           nullptr, nullptr, instance, nullptr);
    if (!w) return 1;
    ShowWindow(w, SW_SHOWNOACTIVATE);
    SetTimer(w, 1, static_cast<UINT>(seconds * 1000), nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) DestroyWindow(w);
        DispatchMessageA(&msg);
    }
    return 0;
}
