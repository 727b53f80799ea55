// Path patterns: which are refused, and how one matches a path.
#include "profile/path_pattern.h"

#include <algorithm>
#include <utility>

namespace mjr {
namespace {

constexpr std::wstring_view kAnyFolders = L"**";

bool IsFixedName(std::wstring_view name) { return !name.empty() && name.find(L'*') == std::wstring_view::npos; }

std::wstring AsciiUpper(std::wstring_view text) {
    std::wstring upper(text);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - 32);
    return upper;
}

bool SameAscii(std::wstring_view a, std::wstring_view upper) { return AsciiUpper(a) == upper; }

// Whether a pattern on a drive can reach a folder every user may write to: names[1] is fixed.
bool ReachesUsersFolders(const std::vector<std::wstring_view>& names) {
    const std::wstring_view first = names[1], second = names[2];
    if (SameAscii(first, L"PROGRAMDATA") || SameAscii(first, L"$RECYCLE.BIN")) return true;
    // A folder name after \Windows that can be Temp.
    if (SameAscii(first, L"WINDOWS")) return names.size() > 3 && NameMatches(AsciiUpper(second), L"TEMP");
    if (!SameAscii(first, L"USERS")) return false;
    // One user's own folder, not one every user shares, and no name a pattern spreads over.
    for (const wchar_t* shared : {L"PUBLIC", L"DEFAULT", L"DEFAULT USER", L"ALL USERS"})
        if (SameAscii(second, shared)) return true;
    return names.size() == 3 || !IsFixedName(second);
}

// Whether the pattern can match a path below `directory`: its names, matched against all the
// directory's, leave a name still to match.
bool ReachesBelow(const std::vector<std::wstring_view>& patternNames, std::wstring_view directory) {
    std::vector<std::wstring_view> folders;
    SplitPathNames(directory, folders);
    if (!folders.empty() && folders.back().empty()) folders.pop_back();  // a root, "C:\\"
    if (folders.empty() || folders[0].empty()) return false;
    // at[k]: the pattern's first k names match the directory's names so far.
    std::vector<char> at(patternNames.size() + 1, false), next(at.size());
    at[0] = true;
    for (std::wstring_view folder : folders) {
        std::fill(next.begin(), next.end(), false);
        for (std::size_t k = 0; k < patternNames.size(); ++k) {
            if (!at[k]) continue;
            if (patternNames[k] == kAnyFolders) {
                // "**" stands for this folder and more, or for none: then the next name takes it.
                next[k] = true;
                at[k + 1] = true;
            } else if (NameMatches(patternNames[k], folder)) {
                next[k + 1] = true;
            }
        }
        at.swap(next);
    }
    // A name still to match is a program's, or a folder's on the way to one: "**" stands for
    // the program's name too.
    return std::find(at.begin(), at.end() - 1, true) != at.end() - 1;
}

}  // namespace

// "*" within one name: the classic two-pointer match, which returns to the last "*" only,
// so it costs at most the pattern's length times the name's.
bool NameMatches(std::wstring_view pattern, std::wstring_view name) {
    std::size_t p = 0, n = 0, star = std::wstring_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == L'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && pattern[p] == name[n]) {
            ++p;
            ++n;
        } else if (star != std::wstring_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == L'*') ++p;
    return p == pattern.size();
}

PatternRefusal RefusalOf(std::wstring_view foldedPattern, bool raises, std::wstring_view windowsDirectory) noexcept {
    if (foldedPattern.size() > kMaxPatternChars) return PatternRefusal::TooLong;
    try {
        std::wstring pattern(foldedPattern);
        for (wchar_t& c : pattern) c = c == L'/' ? L'\\' : c;
        if (pattern.starts_with(L"\\\\?\\") || pattern.starts_with(L"\\\\.\\")) return PatternRefusal::DevicePath;
        std::vector<std::wstring_view> names;
        SplitPathNames(pattern, names);
        const bool drive = names.size() >= 3 && names[0].size() == 2 && names[0][1] == L':' &&
                           ((names[0][0] >= L'A' && names[0][0] <= L'Z') || (names[0][0] >= L'a' && names[0][0] <= L'z')) &&
                           IsFixedName(names[1]);
        const bool share = names.size() >= 6 && names[0].empty() && names[1].empty() && IsFixedName(names[2]) &&
                           IsFixedName(names[3]) && IsFixedName(names[4]);
        if (!drive && !share) return PatternRefusal::NoFixedFirstFolder;
        if (drive && ReachesUsersFolders(names)) return PatternRefusal::UsersFolder;
        if (drive && raises && (SameAscii(names[1], L"WINDOWS") || ReachesBelow(names, windowsDirectory)))
            return PatternRefusal::WindowsFolder;
        return PatternRefusal::None;
    } catch (...) {
        return PatternRefusal::TooLong;
    }
}

void SplitPathNames(std::wstring_view path, std::vector<std::wstring_view>& names) {
    names.clear();
    for (std::size_t start = 0;;) {
        const std::size_t end = path.find(L'\\', start);
        names.push_back(path.substr(start, end == std::wstring_view::npos ? end : end - start));
        if (end == std::wstring_view::npos) return;
        start = end + 1;
    }
}

PathPattern::PathPattern(std::wstring_view pattern) {
    std::vector<std::wstring_view> names;
    SplitPathNames(pattern, names);
    names_.assign(names.begin(), names.end());
}

bool PathPattern::Matches(const std::vector<std::wstring_view>& pathNames) const {
    // reached[j]: the pattern's names so far match the path's first j names; one buffer holds
    // this row and the next.
    const std::size_t width = pathNames.size() + 1;
    std::vector<char> rows(2 * width, 0);
    char* reached = rows.data();
    char* next = reached + width;
    reached[0] = 1;
    for (const std::wstring& name : names_) {
        bool any = false;
        if (name == kAnyFolders) {
            char before = 0;
            for (std::size_t j = 0; j < width; ++j) next[j] = before = static_cast<char>(before | reached[j]);
            any = before != 0;
        } else {
            next[0] = 0;
            for (std::size_t j = 0; j + 1 < width; ++j) {
                next[j + 1] = static_cast<char>(reached[j] && NameMatches(name, pathNames[j]));
                any = any || next[j + 1];
            }
        }
        if (!any) return false;
        std::swap(reached, next);
    }
    return reached[width - 1] != 0;
}

bool PathPattern::Matches(std::wstring_view path) const {
    std::vector<std::wstring_view> names;
    SplitPathNames(path, names);
    return Matches(names);
}

}  // namespace mjr
