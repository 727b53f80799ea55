#include "ui/icon_file.h"

namespace mjr {
namespace {

std::uint32_t U16(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8;
}
std::uint32_t U32(std::span<const std::uint8_t> b, std::size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

}  // namespace

std::optional<IconImage> FirstIconImage(std::span<const std::uint8_t> file) {
    constexpr std::size_t kHeader = 6, kEntry = 16;
    if (file.size() < kHeader + kEntry) return std::nullopt;
    if (U16(file, 0) != 0 || U16(file, 2) != 1 || U16(file, 4) == 0) return std::nullopt;
    const std::uint32_t size = U32(file, kHeader + 8);
    const std::uint32_t offset = U32(file, kHeader + 12);
    if (offset > file.size() || size > file.size() - offset || size < 40) return std::nullopt;
    IconImage image;
    image.bytes = file.subspan(offset, size);
    // A byte of 0 in the directory means 256.
    image.width = file[kHeader] == 0 ? 256 : file[kHeader];
    image.height = file[kHeader + 1] == 0 ? 256 : file[kHeader + 1];
    return image;
}

}  // namespace mjr
