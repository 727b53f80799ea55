#pragma once
// Paths that follow the user and the PC: a Path that begins with "%NAME%\" for one of a few
// names, whose values come from Windows itself, never from the environment a user can set.
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// The names, in the order a tie between equal values is settled: the user's own first.
inline constexpr std::size_t kPathNameCount = 11;
inline constexpr std::size_t kPerUserPathNames = 3;  // the first three
inline constexpr std::array<std::wstring_view, kPathNameCount> kPathNames = {
    L"LOCALAPPDATA", L"APPDATA",    L"USERPROFILE", L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432",
    L"SystemDrive",  L"SystemRoot", L"windir",      L"ProgramData",  L"PUBLIC"};

enum PathNameIndex : std::size_t {
    kLocalAppData, kAppData, kUserProfile, kProgramFiles, kProgramFilesX86, kProgramW6432,
    kSystemDrive, kSystemRoot, kWindir, kProgramData, kPublic
};

// Each name's value here: empty where Windows gives none (a call failed). The per-user ones stay
// empty for a service account (SYSTEM, LOCAL SERVICE, NETWORK SERVICE), which has no user's
// folders: `serviceAccount` says so.
struct PathNames {
    std::array<std::wstring, kPathNameCount> values;
    bool serviceAccount = false;
};

// What this PC and the user the process runs as give: the Windows directory for %SystemRoot%,
// %windir% and its drive for %SystemDrive%, ProgramFilesDir in the registry's native view for
// %ProgramFiles% and %ProgramW6432% (the 32-bit program too), known folders for the rest.
// Never throws: what cannot be read stays empty.
PathNames ReadPathNames(Platform& platform) noexcept;

// The name a path begins with ("%name%\", any letter case), as an index into kPathNames.
std::optional<std::size_t> PathNameAtStart(std::wstring_view path) noexcept;

// How a Path's leading name was read. A path that begins with none is kept as written.
enum class PathNameUse { None, Expanded, NoUserHere, Unknown, NotAFullPath };
struct ExpandedPath {
    PathNameUse use = PathNameUse::None;
    std::size_t name = 0;  // into kPathNames
    std::wstring path;     // the value and the rest joined with one "\" (Expanded only)
};
// A value must be a full drive ("C:", "C:\Apps") or share ("\\server\share\...") path without
// "*", "?", "\"", "/", empty, "." or ".." names; otherwise the path is not expanded and, as no
// running program's path begins with "%", matches nothing.
ExpandedPath ExpandPathName(std::wstring_view path, const PathNames& names);

// The loader's step: `path` expanded in place when its name expands, otherwise kept as written.
void ExpandLeadingName(std::wstring& path, const PathNames& names);

}  // namespace mjr
