#pragma once
// The loaded favourites and the lookup from a running program's path to the first that names it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "profile/path_pattern.h"

namespace mjr {

struct FavoriteRecord {
    std::wstring Path;
    std::wstring Affinity;
    std::wstring Priority;
    bool Children = false;  // field 5 reads "children": what its program starts gets its placement too
};

// The favourites in file order, with an index from each path (in folded letter case) to the
// first favourite that names it, so a lookup costs the same for ten exact favourites or
// thirty thousand; patterns are tried only when they stand before the exact favourite found.
class FavoritesTable {
public:
    static constexpr std::size_t kMaxCount = 32767;

    const std::vector<FavoriteRecord>& Records() const noexcept { return records_; }
    std::int16_t Count() const noexcept { return count_; }
    // Whether any favourite asks for its program's children; without one, no scan reads a parent.
    bool AsksForChildren() const noexcept { return asksForChildren_; }
    // Changes at every Clear, so what was learned against an earlier table is known to be stale.
    std::uint32_t Generation() const noexcept { return generation_; }

    // The lowest-index favourite whose Path equals the path or whose pattern matches it, both
    // given in folded case (FoldPathCase), or null. An empty Path, or a refused pattern,
    // matches nothing.
    const FavoriteRecord* FindFirst(std::wstring_view foldedPath) const;
    // Whether favourite `index` is a usable pattern that matches the folded path.
    bool PatternMatches(std::size_t index, std::wstring_view foldedPath) const;
    // Why favourite `index`, a pattern, matches nothing (RefusalOf as decided at Append); None
    // for a usable pattern and for an exact path.
    PatternRefusal RefusalAt(std::size_t index) const noexcept;

    // The Windows directory in folded case, which the patterns appended from now on that raise
    // may not reach; the loader reads it at each load (Clear keeps it).
    void SetWindowsDirectory(std::wstring foldedDirectory) { windowsDirectory_ = std::move(foldedDirectory); }
    const std::wstring& WindowsDirectory() const noexcept { return windowsDirectory_; }

    void Clear() noexcept;
    // `foldedPath` is the record's Path in folded case.
    void Append(FavoriteRecord record, std::wstring foldedPath);
    void SetCount(std::int16_t count) noexcept { count_ = count; }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::wstring_view s) const noexcept {
            return std::hash<std::wstring_view>{}(s);
        }
    };
    struct Pattern {
        std::size_t index;
        PathPattern pattern;
    };
    std::vector<FavoriteRecord> records_;
    std::vector<Pattern> patterns_;  // the usable ones, in file order
    std::vector<PatternRefusal> refusals_;  // one for each record
    std::wstring windowsDirectory_;
    std::unordered_map<std::wstring, std::size_t, Hash, std::equal_to<>> firstIndexByPath_;
    std::int16_t count_ = 0;
    bool asksForChildren_ = false;
    std::uint32_t generation_ = 0;
};

}  // namespace mjr
