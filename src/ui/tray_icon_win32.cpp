#include "ui/tray_icon_win32.h"

#include <cstddef>
#include <cstring>

namespace mjr {

// The record's bytes are the first form of NOTIFYICONDATAA for this architecture.
static_assert(sizeof(NOTIFYICONDATAA) >= kNativeTrayLayout.size);
static_assert(offsetof(NOTIFYICONDATAA, hWnd) == kNativeTrayLayout.window &&
              offsetof(NOTIFYICONDATAA, uCallbackMessage) == kNativeTrayLayout.callbackMessage &&
              offsetof(NOTIFYICONDATAA, hIcon) == kNativeTrayLayout.icon &&
              offsetof(NOTIFYICONDATAA, szTip) == kNativeTrayLayout.tip &&
              offsetof(NOTIFYICONDATAA, szTip) + TrayData::kTipBytes == kNativeTrayLayout.size,
              "TrayData does not match this architecture's record");

TrayIcon::~TrayIcon() {
    if (present_) Shell_NotifyIconA(NIM_DELETE, &added_);
}

BOOL TrayIcon::Notify(DWORD message, const TrayData& data) {
    NOTIFYICONDATAA record{};
    std::memcpy(&record, data.bytes.data(), kNativeTrayLayout.size);
    const BOOL result = Shell_NotifyIconA(message, &record);
    if (message == NIM_ADD && result) {
        added_ = record;
        present_ = true;
    } else if (message == NIM_DELETE) {
        present_ = false;
    }
    return result;
}

}  // namespace mjr
