#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace mjr {

struct FavoriteRecord {
    std::wstring Path;
    std::wstring Affinity;
    std::wstring Priority;
};

// The favourites in file order, with an index from each path to the first favourite
// that names it, so a lookup costs the same for ten favourites or thirty thousand.
class FavoritesTable {
public:
    static constexpr std::size_t kMaxCount = 32767;

    const std::vector<FavoriteRecord>& Records() const noexcept { return records_; }
    std::int16_t Count() const noexcept { return count_; }

    // The lowest-index favourite whose Path equals the path exactly, or null.
    const FavoriteRecord* FindFirst(std::wstring_view path) const;

    void Clear() noexcept;
    void Append(FavoriteRecord record);
    void SetCount(std::int16_t count) noexcept { count_ = count; }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::wstring_view s) const noexcept {
            return std::hash<std::wstring_view>{}(s);
        }
    };
    std::vector<FavoriteRecord> records_;
    std::unordered_map<std::wstring, std::size_t, Hash, std::equal_to<>> firstIndexByPath_;
    std::int16_t count_ = 0;
};

}  // namespace mjr
