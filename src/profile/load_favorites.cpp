#include "profile/load_favorites.h"

#include <array>

#include "profile/field_reader.h"

namespace mjr {
namespace {

constexpr wchar_t kDefaultProfileName[] = L"My Favs 1";

std::wstring ProfilePath(Platform& platform, const std::wstring& profileName) {
    std::wstring path = platform.ProgramDirectory();
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + profileName;
}

// Splits a record at its first tabs into fields 0 to 3 (field 3 runs to the next tab or
// the end). False when the record has fewer than four fields.
bool SplitFavoriteFields(std::string_view record, std::array<std::string_view, 4>& fields) {
    std::size_t start = 0;
    for (std::size_t field = 0; field < 3; ++field) {
        std::size_t tab = record.find('\t', start);
        if (tab == std::string_view::npos) return false;
        fields[field] = record.substr(start, tab - start);
        start = tab + 1;
    }
    std::size_t tab = record.find('\t', start);
    fields[3] = record.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    return true;
}

bool ReadFavorites(Platform& platform, const std::string& bytes, FavoritesTable& favorites) {
    DelimitedFieldReader reader(bytes);
    if (!reader.ReadRecord()) return false;  // the header; an empty file has none
    std::array<std::string_view, 4> fields;
    while (!reader.AtEnd()) {
        std::optional<std::string> record = reader.ReadRecord();
        if (!record || !SplitFavoriteFields(*record, fields)) return false;
        if (favorites.Records().size() >= FavoritesTable::kMaxCount) return false;
        // Tabs are single bytes in every ANSI code page, so splitting before the
        // conversion gives the same fields as splitting after it.
        favorites.Append(FavoriteRecord{platform.AnsiToWide(fields[3]), platform.AnsiToWide(fields[1]),
                                        platform.AnsiToWide(fields[2])});
    }
    return !favorites.Records().empty();
}

}  // namespace

std::wstring ProfileStatusText(const RunSettings& settings) {
    std::wstring text = L"Profile:" + settings.ProfileName + L"  Enforce:";
    text += settings.EnforceOn ? std::to_wstring(settings.EnforceSeconds) : std::wstring(L"Disabled");
    return text;
}

void LoadFavorites(Platform& platform, RunSettings& settings, FavoritesTable& favorites,
                   ProfileStatusLabel* label) noexcept {
    bool loaded = false;
    try {
        if (settings.ProfileName.empty()) settings.ProfileName = kDefaultProfileName;
        favorites.Clear();
        std::optional<std::string> bytes = platform.ReadWholeFile(ProfilePath(platform, settings.ProfileName));
        loaded = bytes && ReadFavorites(platform, *bytes, favorites);
    } catch (...) {
        // Any failure, out of memory included, is a failed load.
    }
    if (!loaded) {
        favorites.Clear();
        return;
    }
    favorites.SetCount(static_cast<std::int16_t>(favorites.Records().size()));
    if (label) {
        try {
            label->SetProfileStatus(ProfileStatusText(settings));
        } catch (...) {
            // The table is loaded; a status line that cannot be shown changes nothing.
        }
    }
}

}  // namespace mjr
