#include "ui/tray_icon_win32.h"

#include <cstddef>
#include <cstring>

namespace mjr {

// The record's bytes are the first, 88-byte form of NOTIFYICONDATAA on 32-bit Windows.
static_assert(sizeof(NOTIFYICONDATAA) >= TrayData::kSize);
static_assert(offsetof(NOTIFYICONDATAA, hIcon) == 20 && offsetof(NOTIFYICONDATAA, szTip) == 24,
              "TrayData is laid out for 32-bit Windows");

TrayIcon::~TrayIcon() {
    if (present_) Shell_NotifyIconA(NIM_DELETE, &added_);
}

BOOL TrayIcon::Notify(DWORD message, const TrayData& data) {
    NOTIFYICONDATAA record{};
    std::memcpy(&record, data.bytes.data(), TrayData::kSize);
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
