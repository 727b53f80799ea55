#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// The full long path of a process's executable with "\??\" removed and "\SystemRoot\"
// rewritten to the Windows directory; empty when any step fails, and nothing when the
// long form is too long to hold (such a process matches no favourite, not even an
// empty path).
std::optional<std::wstring> GetProcessImagePath(Platform& platform, Dword processId, std::wstring_view windowsDirPrefix);

// The long form of a path; empty when the platform cannot produce it, nothing when it
// does not fit the 1024-character buffer.
std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept;

// The Windows directory followed by "\", or empty.
std::wstring GetWindowsDirPrefix(Platform& platform);

}  // namespace mjr
