#include "profile/favorites.h"

namespace mjr {

const FavoriteRecord* FavoritesTable::FindFirst(std::wstring_view path) const {
    auto it = firstIndexByPath_.find(path);
    return it == firstIndexByPath_.end() ? nullptr : &records_[it->second];
}

void FavoritesTable::Clear() noexcept {
    records_.clear();
    firstIndexByPath_.clear();
    count_ = 0;
}

void FavoritesTable::Append(FavoriteRecord record) {
    // try_emplace keeps an earlier favourite with the same path: the first one wins.
    firstIndexByPath_.try_emplace(record.Path, records_.size());
    records_.push_back(std::move(record));
}

}  // namespace mjr
