#include "fuzz_targets.h"

#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

#include "common/text.h"

#include "app/command_line.h"
#include "doctor/doctor.h"
#include "platform/fake_platform.h"
#include "platform/fold_case.h"
#include "profile/field_reader.h"
#include "profile/load_favorites.h"
#include "profile/profile_text.h"

namespace {

void Require(bool condition) {
    if (!condition) std::abort();
}

struct Report : mjr::doctor::ReportWriter {
    std::vector<std::wstring> lines;
    void Line(std::wstring_view text) override { lines.emplace_back(text); }
    void ErrorLine(std::wstring_view text) override { lines.emplace_back(text); }
};

// Every statement stays on one line, and the line a warning or the verdict names lies in
// the file.
void RequireReadable(const Report& report, std::size_t fileLines) {
    Require(!report.lines.empty());
    for (const std::wstring& line : report.lines) {
        Require(line.find_first_of(std::wstring(L"\r\n\0", 3)) == std::wstring::npos);
        for (std::wstring_view lead : {L"line ", L"Verdict: no favourite loads: line "}) {
            if (line.rfind(lead, 0) == 0) Require(std::wcstoul(line.c_str() + lead.size(), nullptr, 10) <= fileLines);
        }
    }
}

template <typename CharT>
std::size_t LinesOf(std::basic_string_view<CharT> text) {
    std::size_t lines = 1;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] == CharT('\n') || (text[i] == CharT('\r') && (i + 1 == text.size() || text[i + 1] != CharT('\n'))))
            ++lines;
    return lines;
}

// The text saved again by an editor in UTF-16 (little-endian, marked).
std::string SavedAsUtf16(const std::wstring& text) {
    std::string bytes = "\xFF\xFE";
    for (wchar_t c : text) {
        std::u16string units;
        if (static_cast<std::uint32_t>(c) >= 0x10000 && static_cast<std::uint32_t>(c) <= 0x10FFFF) {
            const std::uint32_t v = static_cast<std::uint32_t>(c) - 0x10000;
            units = {static_cast<char16_t>(0xD800 + (v >> 10)), static_cast<char16_t>(0xDC00 + (v & 0x3FF))};
        } else {
            units = {static_cast<char16_t>(c)};
        }
        for (char16_t u : units) bytes += {static_cast<char>(u & 0xFF), static_cast<char>(u >> 8)};
    }
    return bytes;
}

bool SameTable(const mjr::FavoritesTable& a, const mjr::FavoritesTable& b) {
    if (a.Count() != b.Count() || a.Records().size() != b.Records().size()) return false;
    for (std::size_t i = 0; i < a.Records().size(); ++i) {
        const mjr::FavoriteRecord &x = a.Records()[i], &y = b.Records()[i];
        if (x.Path != y.Path || x.Affinity != y.Affinity || x.Priority != y.Priority) return false;
    }
    return true;
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
    mjr::LoadFavorites(fake, mjr::ReadPathNames(fake), settings, favorites, nullptr);
    Require(settings.ProfileName == L"My Favs 1");
    Require(favorites.Count() >= 0);
    Require(static_cast<std::size_t>(favorites.Count()) == favorites.Records().size());
    for (const mjr::FavoriteRecord& r : favorites.Records()) {
        // An exact Path finds itself or an earlier line: the same path in other case, or a pattern.
        if (r.Path.empty() || mjr::IsPathPattern(r.Path)) continue;
        const mjr::FavoriteRecord* first = favorites.FindFirst(mjr::FoldPathCase(fake, r.Path));
        Require(first != nullptr && first <= &r);
    }

    // The same text saved in another encoding loads the same table: the rules do not
    // depend on the encoding.
    const mjr::ProfileText text = mjr::DecodeProfile(bytes);
    const std::wstring wide = text.Encoding == mjr::ProfileEncoding::Ansi ? fake.AnsiToWide(bytes) : text.Wide;
    mjr::FavoritesTable again;
    mjr::LoadTrace trace;
    mjr::ReadFavoritesTraced(fake, mjr::ReadPathNames(fake), SavedAsUtf16(wide), again, trace);
    Require(trace.Encoding == mjr::ProfileEncoding::Utf16LittleEndian);
    Require(SameTable(favorites, again));

    // The doctor meets the same bytes: its verdict is the loader's, it reads processes only
    // and closes every handle. The first favourite's program runs, and one nobody can open.
    fake.AddProcess(0, "");
    fake.AddProcess(4, "");
    if (!favorites.Records().empty()) fake.AddProcess(100, fake.WideToAnsi(favorites.Records()[0].Path));
    fake.AddProcess(104, "C:\\x.exe").grantedAccess = 0;
    Report report;
    const int status = mjr::doctor::RunDoctor(fake, {}, mjr::doctor::CheckerBuild{}, report);
    Require(status == (favorites.Count() > 0 ? 0 : 1));
    RequireReadable(report, text.Encoding == mjr::ProfileEncoding::Ansi ? LinesOf<char>(bytes)
                                                                        : LinesOf<wchar_t>(text.Wide));
    Require(fake.OpenHandleCount() == 0);
    for (const mjr::testing::FakeProcess& p : fake.processes) Require(p.affinity == 0x3 && p.priority == 0x20);
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

    // The doctor's own command line: the same text as its arguments, cut at blanks.
    std::vector<std::wstring> arguments;
    for (const std::wstring& word : mjr::SplitAll(text, L' '))
        if (!word.empty()) arguments.push_back(word);
    mjr::testing::FakePlatform fake;
    fake.recordCalls = false;
    Report report;
    const int status = mjr::doctor::RunDoctor(fake, arguments, mjr::doctor::CheckerBuild{}, report);
    Require(status >= 0 && status <= 2);
    RequireReadable(report, 1);
    return 0;
}
