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

namespace {

constexpr DWORD kMsgfltAllow = 1;  // ChangeWindowMessageFilterEx
constexpr DWORD kMsgfltAdd = 1;    // ChangeWindowMessageFilter

using FilterEx = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
using FilterProcessWide = BOOL(WINAPI*)(UINT, DWORD);

template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return nullptr;
    // Through a plain function pointer: FARPROC's own signature is not the function's.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(user32, name)));
}

}  // namespace

void AllowMessageThroughFilter(HWND window, UINT message) {
    if (!window || message == 0) return;
    if (auto filterEx = User32Function<FilterEx>("ChangeWindowMessageFilterEx")) {
        filterEx(window, message, kMsgfltAllow, nullptr);
    } else if (auto filter = User32Function<FilterProcessWide>("ChangeWindowMessageFilter")) {
        filter(message, kMsgfltAdd);
    }
}

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
