#include "ui/tray_data.h"

#include <cstring>

namespace mjr {
namespace {

void PutU32(std::array<std::uint8_t, TrayData::kSize>& b, std::size_t at, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

}  // namespace

TrayData BuildTrayData(std::uint32_t window, std::uint32_t icon) {
    TrayData d;
    PutU32(d.bytes, 0, static_cast<std::uint32_t>(TrayData::kSize));
    PutU32(d.bytes, 4, window);
    PutU32(d.bytes, 8, TrayData::kId);
    PutU32(d.bytes, 12, TrayData::kFlags);
    PutU32(d.bytes, 16, TrayData::kCallbackMessage);
    PutU32(d.bytes, 20, icon);
    // The tip field is 64 bytes: the text, one NUL, then blanks to the end.
    constexpr std::size_t kTipAt = 24;
    constexpr std::size_t kTipLength = sizeof TrayData::kTip - 1;
    std::memcpy(d.bytes.data() + kTipAt, TrayData::kTip, kTipLength);
    d.bytes[kTipAt + kTipLength] = 0;
    for (std::size_t i = kTipAt + kTipLength + 1; i < TrayData::kSize; ++i) d.bytes[i] = 0x20;
    return d;
}

}  // namespace mjr
