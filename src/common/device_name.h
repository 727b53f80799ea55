#pragma once
// File names Windows takes for a device wherever they stand: opening "C:\Share\COM1" opens the
// serial port. The doctor refuses to look at such a path; the package refuses it as a profile.
#include <string_view>

namespace mjr {

// True when the file name (the last name of a full path) is a reserved device name, with or
// without an extension or a colon after it ("COM1:", "LPT1:.txt").
bool HasReservedDeviceName(std::wstring_view path) noexcept;

}  // namespace mjr
