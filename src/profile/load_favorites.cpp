#include "profile/load_favorites.h"

#include <algorithm>
#include <array>

#include "platform/fold_case.h"
#include "platform/read_whole_file.h"
#include "platform/windows_directory.h"
#include "profile/favorite_forms.h"
#include "profile/field_reader.h"
#include "profile/profile_text.h"

namespace mjr {
namespace {

// Splits a record at its first tabs into fields 0 to 4 (fields 3 and 4 each run to the next
// tab or the end; field 4 is empty when there is none). False when the record has fewer than
// four fields.
template <typename CharT>
bool SplitFavoriteFields(std::basic_string_view<CharT> record, std::array<std::basic_string_view<CharT>, 5>& fields) {
    using View = std::basic_string_view<CharT>;
    std::size_t start = 0;
    for (std::size_t field = 0; field < 3; ++field) {
        std::size_t tab = record.find(CharT('\t'), start);
        if (tab == View::npos) return false;
        fields[field] = record.substr(start, tab - start);
        start = tab + 1;
    }
    std::size_t tab = record.find(CharT('\t'), start);
    fields[3] = record.substr(start, tab == View::npos ? View::npos : tab - start);
    const View rest = tab == View::npos ? View() : record.substr(tab + 1);
    fields[4] = rest.substr(0, rest.find(CharT('\t')));
    return true;
}

// Field 5 asks for the program's children when it reads "children" in any letter case, blanks
// around it allowed; any other text there is the writer's note, as it always was.
template <typename CharT>
bool AsksForChildren(std::basic_string_view<CharT> field) {
    constexpr std::string_view kWord = "children";
    while (!field.empty() && field.front() == CharT(' ')) field.remove_prefix(1);
    while (!field.empty() && field.back() == CharT(' ')) field.remove_suffix(1);
    if (field.size() != kWord.size()) return false;
    for (std::size_t k = 0; k < kWord.size(); ++k)
        if ((field[k] | 0x20) != CharT(kWord[k])) return false;
    return true;
}

// The path a Path field names: its quotes and a note after the program's name left out.
std::wstring PathNamed(std::wstring field) {
    const std::wstring_view named = PathOfField(field);
    return named.size() == field.size() ? field : std::wstring(named);
}

// Four fields or more at tabs (a fifth may ask for the program's children); or, for a record
// without any tab, blanks where the tabs belong, and then `readFromBlanks`: such a line has no
// fields past its path. False when neither.
template <typename CharT, typename ToWide>
bool ReadFavoriteFields(std::basic_string_view<CharT> record, const ToWide& toWide, FavoriteRecord& favorite,
                        bool& readFromBlanks) {
    std::array<std::basic_string_view<CharT>, 5> fields;
    readFromBlanks = !SplitFavoriteFields<CharT>(record, fields);
    if (readFromBlanks)
        return record.find(CharT('\t')) == std::basic_string_view<CharT>::npos && ReadBlankSeparated(toWide(record), favorite);
    favorite = {PathNamed(toWide(fields[3])), toWide(fields[1]), toWide(fields[2]), AsksForChildren(fields[4])};
    return true;
}

bool Fail(LoadTrace* trace, LoadFailure why, std::size_t start, std::size_t next) noexcept {
    if (trace) {
        trace->Failure = why;
        trace->FailingRecordStart = start;
        trace->FailingRecordNext = next;
    }
    return false;
}

// The one reading of a profile, the same in every encoding; the trace, when asked for, says
// where each record lay. `toWide` turns a field into the program's wide text.
template <typename CharT, typename ToWide>
bool ReadFavorites(Platform& platform, std::basic_string_view<CharT> text, FavoritesTable& favorites,
                   LoadTrace* trace, const ToWide& toWide) {
    BasicDelimitedFieldReader<CharT> reader(text);
    // The header; an empty file has none.
    if (!reader.ReadRecord()) return Fail(trace, LoadFailure::EmptyFile, 0, 0);
    bool failed = false;
    bool titleLine = true;  // a comma in the header leaves the rest of its line after it
    while (!reader.AtEnd()) {
        const auto line = reader.LineAhead();
        titleLine = titleLine && !line;
        // Blank lines and notes, the last line too; never a line inside a quoted record.
        if (line && IsPassedOverLine(*line)) {
            reader.SkipLine();
            if (trace) ++trace->PassedOverLines;
            continue;
        }
        const std::size_t start = reader.Offset();
        const auto record = reader.ReadRecord();
        // Of the header's line, only a record of a favourite's three tabs is one.
        if (titleLine && record && std::count(record->begin(), record->end(), CharT('\t')) < 3) continue;
        FavoriteRecord favorite;
        bool readFromBlanks = false;
        if (!record || !ReadFavoriteFields<CharT>(*record, toWide, favorite, readFromBlanks)) {
            if (!trace) return false;
            // A trace names every such record; the first stays the load's reason.
            if (!failed) Fail(trace, LoadFailure::TooFewFields, start, reader.Offset());
            failed = true;
            if (trace->FailingRecords++ < kMaxNamedFailures) trace->FailingRecordStarts.push_back(start);
            continue;
        }
        if (failed) continue;
        if (favorites.Records().size() >= FavoritesTable::kMaxCount)
            return Fail(trace, LoadFailure::TooManyFavorites, start, reader.Offset());
        if (trace && readFromBlanks) trace->BlankSeparatedFavorites.push_back(favorites.Records().size());
        std::wstring folded = FoldPathCase(platform, favorite.Path);
        favorites.Append(std::move(favorite), std::move(folded));
        if (trace) trace->FavoriteStarts.push_back(start);
    }
    if (failed) return false;
    if (favorites.Records().empty()) return Fail(trace, LoadFailure::HeaderOnly, reader.Offset(), reader.Offset());
    return true;
}

bool ReadFavorites(Platform& platform, std::string_view bytes, FavoritesTable& favorites, LoadTrace* trace) {
    // Read at each load: where raising patterns may not reach.
    favorites.SetWindowsDirectory(FoldPathCase(platform, ReadWindowsDirectory(platform)));
    const ProfileText text = DecodeProfile(bytes);
    if (trace) trace->Encoding = text.Encoding;
    if (text.Encoding == ProfileEncoding::Ansi) {
        // Tabs are single bytes in every ANSI code page, so splitting before the
        // conversion gives the same fields as splitting after it.
        return ReadFavorites<char>(platform, bytes, favorites, trace,
                                   [&](std::string_view field) { return platform.AnsiToWide(field); });
    }
    return ReadFavorites<wchar_t>(platform, text.Wide, favorites, trace,
                                  [](std::wstring_view field) { return std::wstring(field); });
}

}  // namespace

std::wstring ProfilePath(Platform& platform, const std::wstring& profileName) {
    std::wstring path = platform.ProgramDirectory();
    if (path.empty() || path.back() != L'\\') path += L'\\';
    return path + profileName;
}

bool ReadFavoritesTraced(Platform& platform, std::string_view bytes, FavoritesTable& favorites,
                         LoadTrace& trace) noexcept {
    trace = LoadTrace{};
    bool loaded = false;
    try {
        favorites.Clear();
        loaded = ReadFavorites(platform, bytes, favorites, &trace);
    } catch (...) {
        trace.Failure = LoadFailure::OutOfMemory;
    }
    if (!loaded) {
        favorites.Clear();
        trace.FavoriteStarts.clear();
        trace.BlankSeparatedFavorites.clear();
        return false;
    }
    favorites.SetCount(static_cast<std::int16_t>(favorites.Records().size()));
    return true;
}

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
        std::optional<std::string> bytes = ReadWholeFile(platform, ProfilePath(platform, settings.ProfileName));
        loaded = bytes && ReadFavorites(platform, *bytes, favorites, nullptr);
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
