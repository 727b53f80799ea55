#pragma once
// The notification-area record in its first, 88-byte ANSI form (NOTIFYICONDATAA as
// Windows 95 laid it out), built byte by byte so it is the same on every host.
#include <array>
#include <cstddef>
#include <cstdint>

namespace mjr {

struct TrayData {
    static constexpr std::size_t kSize = 88;
    static constexpr std::uint32_t kId = 1;
    static constexpr std::uint32_t kFlags = 7;             // NIF_MESSAGE | NIF_ICON | NIF_TIP
    static constexpr std::uint32_t kCallbackMessage = 512;  // WM_MOUSEMOVE
    static constexpr char kTip[] = "Marrowbine Jr - Quillfen 2010";

    std::array<std::uint8_t, kSize> bytes{};

    bool Filled() const noexcept { return bytes[0] != 0; }
};

// Size 88, the window, id 1, flags 7, callback 512, the icon, the tip + NUL + blanks.
TrayData BuildTrayData(std::uint32_t window, std::uint32_t icon);

}  // namespace mjr
