#pragma once
// The first image of an .ico file, for icons kept as raw data rather than as the
// program's icon resource.
#include <cstdint>
#include <optional>
#include <span>

namespace mjr {

struct IconImage {
    std::span<const std::uint8_t> bytes;  // BITMAPINFOHEADER, colours, AND mask
    int width = 0;
    int height = 0;
};

std::optional<IconImage> FirstIconImage(std::span<const std::uint8_t> file);

}  // namespace mjr
