#pragma once
// Favourites that name many programs: a Path holding "*" (no file name holds one).
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mjr {

inline bool IsPathPattern(std::wstring_view path) { return path.find(L'*') != std::wstring_view::npos; }

// The longest pattern taken: a running program's path is shorter than 1024 characters.
inline constexpr std::size_t kMaxPatternChars = 1023;

// Why a pattern matches nothing. A pattern must start at a drive and one whole folder name
// without "*" ("C:\Games\..."), or at a share and one such folder ("\\server\share\Games\..."),
// so that it never reaches every folder of a drive or a share; "\\?\" and "\\.\" forms, which
// no running program's path takes, are refused outright. On a drive it must not reach the
// folders Windows gives every user to write: \Users but one user's own profile folder,
// \ProgramData, \Windows\Temp, \$Recycle.Bin. A pattern that raises (RaisesPriority) must not
// reach below a first folder named Windows on any drive, nor below this PC's Windows directory,
// where ordinary users may add programs too (\Windows\Tasks, \Windows\tracing...).
enum class PatternRefusal { None, TooLong, NoFixedFirstFolder, UsersFolder, DevicePath, WindowsFolder };
// Both paths in folded case (FoldPathCase), "/" read as "\" as Windows reads it; the Windows
// directory without a final "\", or empty when unknown.
PatternRefusal RefusalOf(std::wstring_view foldedPattern, bool raises, std::wstring_view windowsDirectory) noexcept;

// Whether one name matches one name of a pattern, "*" any run of characters (none included).
bool NameMatches(std::wstring_view pattern, std::wstring_view name);

// The names of a path between its backslashes, "\\server" giving two empty names first.
void SplitPathNames(std::wstring_view path, std::vector<std::wstring_view>& names);

// A pattern ready to match paths of the same letter case: "*" is any run of characters
// within one name, and a whole name "**" any number of whole names, none included. The
// whole path must match. The work is bounded by the pattern's length times the path's.
class PathPattern {
public:
    explicit PathPattern(std::wstring_view pattern);
    bool Matches(const std::vector<std::wstring_view>& pathNames) const;
    bool Matches(std::wstring_view path) const;

private:
    std::vector<std::wstring> names_;
};

}  // namespace mjr
