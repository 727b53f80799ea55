// Process entry of the Windows program: the toolkit runtime's part of start-up.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "app/main.h"
#include "engine/engine.h"
#include "platform/win32_platform_win32.h"
#include "ui/form1_win32.h"
#include "ui/message_pump_win32.h"

namespace {

class Win32AppHost : public mjr::AppHost {
public:
    void YieldToPendingEvents() override { mjr::PumpPendingMessages(); }

    void LoadForm1(mjr::Module1& module) override { windowLoaded_ = mjr::LoadForm1Win32(module); }

    bool WindowLoaded() const { return windowLoaded_; }

private:
    bool windowLoaded_ = false;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: never from the program's folder or the current one.
    mjr::RestrictDllSearchToSystem32();
    mjr::Win32Platform platform;
    mjr::Module1 module(platform);
    Win32AppHost host;
    mjr::SingleInstance instance(platform);  // held until the process ends
    const int status = mjr::Main(module, host, instance);
    if (!host.WindowLoaded()) return status;

    MSG msg;
    int result;
    while ((result = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (result == -1) return 1;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
