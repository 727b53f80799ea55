#pragma once
#include <optional>
#include <string>

#include "platform/platform.h"

namespace mjr {

// The whole content of a file on a disk, read sequentially. Nothing when it cannot be
// opened or read, with the last error saying why: ERROR_BAD_FILE_TYPE for a pipe, a
// console or a device (refused before a byte is read), ERROR_FILE_TOO_LARGE for a file far
// too large to be a profile. A file another program holds open for writing is still read.
std::optional<std::string> ReadWholeFile(Platform& platform, const std::wstring& path);

}  // namespace mjr
