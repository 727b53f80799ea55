#pragma once
// The path a process is known by: the kernel's record of its executable, in long form.
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// The full long path of a process's executable as the kernel records it, with "\??\"
// removed and "\SystemRoot\" rewritten to the Windows directory; read on a handle open for
// querying. Empty when the handle is 0 or any step fails, and when the path is no name
// Win32 would take as it stands (IsPathAsWritten); nothing when the path is too long to hold
// (such a process matches no favourite, not even an empty path).
std::optional<std::wstring> GetProcessImagePath(Platform& platform, Handle process,
                                                std::wstring_view windowsDirPrefix);

// The kernel's record alone, rewritten as above but neither checked nor made long: for a
// report that names a process whose path matches nothing.
std::optional<std::wstring> KernelImagePath(Platform& platform, Handle process, std::wstring_view windowsDirPrefix);

// Whether Win32 would name the very file this path names: no name ends in "." or a blank
// (Win32 drops those, so "C:\Games.\game.exe", started through "\\?\", would pass for
// "C:\Games\game.exe"), and no ":" but a drive's ("X:\"), which would name a stream.
bool IsPathAsWritten(std::wstring_view path) noexcept;

// The long form of a path on a local drive (fixed, removable, CD or RAM disk), looked up
// through "\\?\" so that Win32 tidies no name into another; empty when the platform cannot
// produce it or gives another number of names, nothing when it does not fit 1024 characters.
// A path on a network drive, on a drive of unknown kind, or without a drive letter (a share,
// "\\?\", a device) is kept as given, without touching the file system.
std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept;

// The Windows directory followed by "\", or empty.
std::wstring GetWindowsDirPrefix(Platform& platform);

}  // namespace mjr
