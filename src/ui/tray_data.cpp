#include "ui/tray_data.h"

#include <cstring>

namespace mjr {
namespace {

void Put(std::array<std::uint8_t, TrayData::kMaxSize>& b, std::size_t at, std::uint64_t v, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void PutU32(std::array<std::uint8_t, TrayData::kMaxSize>& b, std::size_t at, std::uint32_t v) { Put(b, at, v, 4); }

void PutHandle(std::array<std::uint8_t, TrayData::kMaxSize>& b, std::size_t at, std::uint32_t h, std::size_t width) {
    const auto extended = static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(h)));
    Put(b, at, width == 8 ? extended : h, width);
}

}  // namespace

TrayData BuildTrayData(std::uint32_t window, std::uint32_t icon, const TrayLayout& layout) {
    TrayData d;
    PutU32(d.bytes, 0, static_cast<std::uint32_t>(layout.size));
    PutHandle(d.bytes, layout.window, window, layout.handleBytes);
    PutU32(d.bytes, layout.id, TrayData::kId);
    PutU32(d.bytes, layout.flags, TrayData::kFlags);
    PutU32(d.bytes, layout.callbackMessage, TrayData::kCallbackMessage);
    PutHandle(d.bytes, layout.icon, icon, layout.handleBytes);
    // The tip field is 64 bytes: the text, one NUL, then blanks to the end.
    constexpr std::size_t kTipLength = sizeof TrayData::kTip - 1;
    std::memcpy(d.bytes.data() + layout.tip, TrayData::kTip, kTipLength);
    d.bytes[layout.tip + kTipLength] = 0;
    for (std::size_t i = layout.tip + kTipLength + 1; i < layout.tip + TrayData::kTipBytes; ++i) d.bytes[i] = 0x20;
    return d;
}

}  // namespace mjr
