// The favourites table: appending with the pattern refusals decided once, and the lookup.
#include "profile/favorites.h"

#include <algorithm>

#include "profile/priority_words.h"

namespace mjr {

const FavoriteRecord* FavoritesTable::FindFirst(std::wstring_view foldedPath) const {
    if (foldedPath.empty()) return nullptr;
    const auto exact = firstIndexByPath_.find(foldedPath);
    std::size_t first = exact == firstIndexByPath_.end() ? records_.size() : exact->second;
    if (!patterns_.empty() && patterns_.front().index < first) {
        std::vector<std::wstring_view> names;
        SplitPathNames(foldedPath, names);
        for (const Pattern& p : patterns_) {
            if (p.index >= first) break;
            if (p.pattern.Matches(names)) {
                first = p.index;
                break;
            }
        }
    }
    return first < records_.size() ? &records_[first] : nullptr;
}

bool FavoritesTable::PatternMatches(std::size_t index, std::wstring_view foldedPath) const {
    const auto it = std::lower_bound(patterns_.begin(), patterns_.end(), index,
                                     [](const Pattern& p, std::size_t i) { return p.index < i; });
    return it != patterns_.end() && it->index == index && !foldedPath.empty() && it->pattern.Matches(foldedPath);
}

PatternRefusal FavoritesTable::RefusalAt(std::size_t index) const noexcept {
    return index < refusals_.size() ? refusals_[index] : PatternRefusal::None;
}

void FavoritesTable::Clear() noexcept {
    records_.clear();
    patterns_.clear();
    refusals_.clear();
    firstIndexByPath_.clear();
    count_ = 0;
    asksForChildren_ = false;
    ++generation_;
}

void FavoritesTable::Append(FavoriteRecord record, std::wstring foldedPath) {
    PatternRefusal refusal = PatternRefusal::None;
    if (IsPathPattern(foldedPath)) {
        refusal = RefusalOf(foldedPath, RaisesPriority(record.Priority), windowsDirectory_);
        if (refusal == PatternRefusal::None) patterns_.push_back({records_.size(), PathPattern(foldedPath)});
    } else if (!foldedPath.empty()) {
        // try_emplace keeps an earlier favourite with the same path: the first one wins.
        firstIndexByPath_.try_emplace(std::move(foldedPath), records_.size());
    }
    refusals_.push_back(refusal);
    asksForChildren_ = asksForChildren_ || record.Children;
    records_.push_back(std::move(record));
}

}  // namespace mjr
