#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// The full long path of a process's executable as the kernel records it, with "\??\"
// removed and "\SystemRoot\" rewritten to the Windows directory; read on a handle open for
// querying. Empty when the handle is 0 or any step fails, and nothing when the path is too
// long to hold (such a process matches no favourite, not even an empty path).
std::optional<std::wstring> GetProcessImagePath(Platform& platform, Handle process,
                                                std::wstring_view windowsDirPrefix);

// The long form of a path on a local drive (fixed, removable, CD or RAM disk); empty when
// the platform cannot produce it, nothing when it does not fit the 1024-character buffer.
// A path on a network drive, on a drive of unknown kind, or without a drive letter (a share,
// "\\?\", a device) is kept as given, without touching the file system.
std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept;

// The Windows directory followed by "\", or empty.
std::wstring GetWindowsDirPrefix(Platform& platform);

}  // namespace mjr
