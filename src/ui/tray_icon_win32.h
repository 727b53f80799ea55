#pragma once
// The notification-area icon: passes TrayData to the shell, and removes an icon it added
// should the window go without its unload event.
#include <windows.h>
#include <shellapi.h>

#include "ui/tray_data.h"

namespace mjr {

inline constexpr TrayLayout kNativeTrayLayout = sizeof(void*) == 8 ? kTrayLayout64 : kTrayLayout32;

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
