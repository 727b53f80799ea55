#pragma once
// The notification-area record in its first ANSI form (NOTIFYICONDATAA as Windows 95 laid
// it out: 88 bytes on 32-bit Windows, 104 on 64-bit Windows, where handles are 8 bytes wide
// and aligned), built byte by byte so it is the same on every host.
#include <array>
#include <cstddef>
#include <cstdint>

namespace mjr {

// Where each field of the record lies.
struct TrayLayout {
    std::size_t size, window, id, flags, callbackMessage, icon, tip, handleBytes;
};
inline constexpr TrayLayout kTrayLayout32{88, 4, 8, 12, 16, 20, 24, 4};
inline constexpr TrayLayout kTrayLayout64{104, 8, 16, 20, 24, 32, 40, 8};

struct TrayData {
    static constexpr std::size_t kMaxSize = 104;
    static constexpr std::size_t kTipBytes = 64;
    static constexpr std::uint32_t kId = 1;
    static constexpr std::uint32_t kFlags = 7;             // NIF_MESSAGE | NIF_ICON | NIF_TIP
    static constexpr std::uint32_t kCallbackMessage = 512;  // WM_MOUSEMOVE
    static constexpr char kTip[] = "Marrowbine Jr - Quillfen 2010";

    std::array<std::uint8_t, kMaxSize> bytes{};  // past the layout's size: zero

    bool Filled() const noexcept { return bytes[0] != 0; }
};

// The size, the window, id 1, flags 7, callback 512, the icon, the tip + NUL + blanks.
// Window and icon handles are 32-bit values on every Windows; in the 64-bit record they
// are sign-extended, as Windows does.
TrayData BuildTrayData(std::uint32_t window, std::uint32_t icon, const TrayLayout& layout = kTrayLayout32);

}  // namespace mjr
