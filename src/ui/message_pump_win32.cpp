// The GUI thread's message handling on Win32.
#include "ui/message_pump_win32.h"

#include <windows.h>

#include <algorithm>

namespace mjr {

void PumpPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int RunMessageLoop(const Handle* events, std::size_t count, const std::function<void(std::size_t)>& onSignal) {
    HANDLE waited[MAXIMUM_WAIT_OBJECTS - 1] = {};
    DWORD waitedCount = static_cast<DWORD>(std::min<std::size_t>(count, MAXIMUM_WAIT_OBJECTS - 1));
    for (DWORD i = 0; i < waitedCount; ++i) waited[i] = reinterpret_cast<HANDLE>(events[i]);
    for (;;) {
        // Asleep until a message or an event: no tick of its own.
        const DWORD woke = MsgWaitForMultipleObjectsEx(waitedCount, waited, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_FAILED) {
            waitedCount = 0;  // the messages at least go on
            continue;
        }
        // Every waiting message first, up to the quit a closed window posted: an idle tick costs
        // this wait and two reads, and nothing reaches a window that has gone.
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return static_cast<int>(msg.wParam);
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (woke - WAIT_OBJECT_0 < waitedCount) onSignal(woke - WAIT_OBJECT_0);
    }
}

}  // namespace mjr
