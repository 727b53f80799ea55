#pragma once
// The administrator's profile the package installs (PROFILE=...): which paths it may come
// from, the bytes it must hold, and how the checked bytes travel to the deferred copy. The
// package's custom actions (setup_actions_win32.cpp) run these; nothing of it is Windows'.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr::installer {

// A profile is a few kilobytes; anything past this is no profile.
inline constexpr std::size_t kMostPackageProfileBytes = 1024 * 1024;

// Why PROFILE cannot be opened, checked against what it must be: a drive path ("C:\...") or a
// share path ("\\server\share\...") naming a file, in names Windows keeps as they are written.
// Refused: "\\?\" and "\\.\" forms, a pipe or mailslot share, WebDAV ("\\host@SSL\",
// "\\host@8080\", "DavWWWRoot"), a reserved device name, "." and "..", a name ending in a dot
// or a blank, a stream (":"). "/" reads as "\". Empty when it may be opened.
std::wstring RefusedProfilePath(std::wstring_view path);

// Why these bytes cannot be installed as the profile: more than kMostPackageProfileBytes, or
// not one favourite loads by the program's own loader. Empty when they may be; favorites then
// holds how many load.
std::wstring RefusedProfileBytes(Platform& platform, std::string_view bytes, std::size_t& favorites);

struct PackageProfile {
    std::optional<std::string> bytes;  // the checked bytes; nothing when refused
    std::wstring refusal;              // why not, for the log and the message box
    std::size_t favorites = 0;
};

// PROFILE checked from its path to its favourites: the path's form, then the file opened with
// identification-level impersonation only, as a file on a disk, and read whole.
PackageProfile ReadPackageProfile(Platform& platform, const std::wstring& path);

// What the deferred copy receives (its CustomActionData): the install folder, a "|" (no
// folder holds one) and the bytes as hexadecimal digits (a property ends at a NUL).
std::wstring CopyProfileData(std::wstring_view installDir, std::string_view bytes);

struct CopyProfileRequest {
    std::wstring installDir;
    std::string bytes;
};
// Nothing when the data is not what CopyProfileData writes.
std::optional<CopyProfileRequest> ReadCopyProfileData(std::wstring_view data);

}  // namespace mjr::installer
