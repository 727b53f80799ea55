#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "common/run_settings.h"
#include "platform/platform.h"
#include "profile/favorites.h"
#include "profile/profile_text.h"

namespace mjr {

// Where the profile status line goes when the status window exists.
class ProfileStatusLabel {
public:
    virtual ~ProfileStatusLabel() = default;
    virtual void SetProfileStatus(const std::wstring& text) = 0;
};

inline constexpr wchar_t kDefaultProfileName[] = L"My Favs 1";

// The profile's full name: the program's directory, a "\" unless it ends in one, the name.
std::wstring ProfilePath(Platform& platform, const std::wstring& profileName);

// Why a reading of profile bytes loads no favourites.
enum class LoadFailure { None, EmptyFile, HeaderOnly, TooFewFields, TooManyFavorites, OutOfMemory };

// Where the records of one reading lie in the text, for a caller that explains a profile.
// The program's own loads never ask for it. Offsets count bytes of an ANSI profile and
// wide characters of the decoded text (DecodeProfile) of any other.
struct LoadTrace {
    ProfileEncoding Encoding = ProfileEncoding::Ansi;
    LoadFailure Failure = LoadFailure::None;
    std::size_t FailingRecordStart = 0;  // offset of the record the load failed on
    std::size_t FailingRecordNext = 0;   // offset just past that record and its delimiter
    std::vector<std::size_t> FavoriteStarts;  // offset of each loaded favourite's record
    std::vector<std::size_t> BlankSeparatedFavorites;  // favourites read with blanks for tabs
    // A traced reading goes on past a record of too few fields, so that every one is named:
    // the offsets of the first kMaxNamedFailures, and how many there are.
    std::vector<std::size_t> FailingRecordStarts;
    std::size_t FailingRecords = 0;
    std::size_t PassedOverLines = 0;  // blank lines and notes
};
inline constexpr std::size_t kMaxNamedFailures = 50;

// A line the loader passes over when a record would start it: fewer than three tabs, and
// empty, blanks and tabs only, or a note that begins (after blanks) with "#" or ";".
template <typename CharT>
bool IsPassedOverLine(std::basic_string_view<CharT> line) noexcept {
    std::size_t first = 0;
    while (first < line.size() && (line[first] == CharT(' ') || line[first] == CharT('\t'))) ++first;
    // A favourite's line ends the look at its first letter.
    if (first < line.size() && line[first] != CharT('#') && line[first] != CharT(';')) return false;
    std::size_t tabs = 0;
    for (CharT c : line) tabs += c == CharT('\t');
    return tabs < 3;
}

// The loader's reading of a profile's bytes into the table, with the trace filled in.
// False (and an empty table) when nothing loads; never throws.
bool ReadFavoritesTraced(Platform& platform, std::string_view bytes, FavoritesTable& favorites,
                         LoadTrace& trace) noexcept;

// The status line for the current settings, e.g. "Profile:My Favs 1  Enforce:30".
std::wstring ProfileStatusText(const RunSettings& settings);

// Reads the profile beside the executable into the table. Never fails towards its caller:
// any problem leaves the table empty with a count of 0 and the label as it was.
void LoadFavorites(Platform& platform, RunSettings& settings, FavoritesTable& favorites,
                   ProfileStatusLabel* label) noexcept;

}  // namespace mjr
