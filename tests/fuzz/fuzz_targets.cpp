#include "fuzz_targets.h"

#include <cstdlib>
#include <string>

#include "app/command_line.h"
#include "platform/fake_platform.h"
#include "profile/field_reader.h"
#include "profile/load_favorites.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

int FuzzProfile(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    // The reader always moves forward and consumes everything.
    mjr::DelimitedFieldReader reader(bytes);
    std::size_t records = 0;
    while (!reader.AtEnd()) {
        Require(reader.ReadRecord().has_value());
        Require(++records <= bytes.size());
    }
    Require(!reader.ReadRecord().has_value());

    mjr::testing::FakePlatform fake;
    fake.recordCalls = false;
    fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = bytes;
    mjr::RunSettings settings;
    mjr::FavoritesTable favorites;
    mjr::LoadFavorites(fake, settings, favorites, nullptr);
    Require(settings.ProfileName == L"My Favs 1");
    Require(favorites.Count() >= 0);
    Require(static_cast<std::size_t>(favorites.Count()) == favorites.Records().size());
    for (const mjr::FavoriteRecord& r : favorites.Records()) {
        const mjr::FavoriteRecord* first = favorites.FindFirst(r.Path);
        Require(first != nullptr && first->Path == r.Path && first <= &r);
    }
    return 0;
}

int FuzzCommandLine(const std::uint8_t* data, std::size_t size) {
    // Two bytes a character, so any UTF-16 unit (and a lone byte) can appear.
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    if (size % 2) text.push_back(static_cast<wchar_t>(data[size - 1]));

    mjr::RunSettings settings;
    mjr::ParseCommandLine(text, settings);
    Require(!settings.EnforceOn || settings.EnforceSeconds >= 10);
    Require(settings.EnforceOn || settings.EnforceSeconds == 0);
    Require(settings.ProfileName.find(L'/') == std::wstring::npos);
    return 0;
}
