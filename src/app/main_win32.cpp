// Process entry of the Windows program: the toolkit runtime's part of start-up.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "app/main.h"
#include "app/reset_request_watch.h"
#include "engine/engine.h"
#include "platform/win32_platform_win32.h"
#include "ui/form1_win32.h"
#include "ui/message_pump_win32.h"

namespace {

class Win32AppHost : public mjr::AppHost {
public:
    explicit Win32AppHost(mjr::ResetRequestWatch& watch) : watch_(watch) {}

    void YieldToPendingEvents() override { mjr::PumpPendingMessages(); }

    // The watch first, so a request made while the window loads is not missed.
    void LoadForm1(mjr::Module1& module) override {
        watch_.Start();
        window_ = reinterpret_cast<HWND>(mjr::LoadForm1Win32(module));
    }

    HWND Window() const { return window_; }

private:
    mjr::ResetRequestWatch& watch_;
    HWND window_ = nullptr;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Before anything can load a DLL: never from the program's folder or the current one.
    mjr::RestrictDllSearchToSystem32();
    mjr::Win32Platform platform;
    mjr::Module1 module(platform);
    mjr::ResetRequestWatch watch(platform);  // started by resident mode only
    Win32AppHost host(watch);
    mjr::SingleInstance instance(platform);  // held until the process ends
    const int status = mjr::Main(module, host, instance);
    HWND const window = host.Window();
    if (!window) return status;

    const auto& events = watch.Events();
    return mjr::RunMessageLoop(events.data(), events[0] != 0 ? events.size() : 0, [&](std::size_t fired) {
        if (watch.TakeRequest(fired)) SendMessageW(window, mjr::kResetRequestedMessage, 0, 0);
    });
}
