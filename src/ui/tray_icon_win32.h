#pragma once
// The notification-area icon: passes TrayData to the shell, and removes an icon it added
// should the window go without its unload event.
#include <windows.h>
#include <shellapi.h>

#include "ui/tray_data.h"

namespace mjr {

inline constexpr TrayLayout kNativeTrayLayout = sizeof(void*) == 8 ? kTrayLayout64 : kTrayLayout32;

// Lets one message through the window's UIPI filter, so a lower-integrity sender (the shell,
// when the program runs elevated) still reaches it. The filter calls are looked up at run
// time: Vista has only the process-wide one, earlier systems neither (then nothing happens).
void AllowMessageThroughFilter(HWND window, UINT message);

class TrayIcon {
public:
    TrayIcon() = default;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;
    ~TrayIcon();

    BOOL Notify(DWORD message, const TrayData& data);

private:
    NOTIFYICONDATAA added_{};
    bool present_ = false;
};

}  // namespace mjr
