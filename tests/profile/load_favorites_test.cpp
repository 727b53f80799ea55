#include "profile/load_favorites.h"

#include <gtest/gtest.h>

#include <functional>

#include "example_profiles.h"
#include "platform/fake_platform.h"
#include "platform/fold_case.h"

namespace mjr {
namespace {

using testing::FakePlatform;

constexpr wchar_t kDir[] = L"C:\\Apps\\Marrowbine";

// The same text as an editor saves it in UTF-16, with its mark.
std::string Utf16(std::u16string_view text, bool bigEndian = false) {
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char16_t unit : text) {
        const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
        bytes += bigEndian ? std::string{high, low} : std::string{low, high};
    }
    return bytes;
}
const std::string kUtf8Mark = "\xEF\xBB\xBF";

struct Label : ProfileStatusLabel {
    std::wstring text = L"Favorite Profile: Not Loaded!";
    int writes = 0;
    void SetProfileStatus(const std::wstring& t) override {
        text = t;
        ++writes;
    }
};

struct Loader {
    FakePlatform fake;
    RunSettings settings;
    FavoritesTable favorites;
    Label label;

    Loader() { settings.ProfileName = L"My Favs 2"; }
    void Profile(std::string bytes, const std::wstring& name = L"My Favs 2") {
        fake.files[std::wstring(kDir) + L"\\" + name] = std::move(bytes);
    }
    void Load() { LoadFavorites(fake, ReadPathNames(fake), settings, favorites, &label); }
};

struct FailureCase {
    const char* name;
    std::optional<std::string> bytes;  // nothing: no file at all
    LoadFailure failure = LoadFailure::None;
    std::size_t failingStart = 0;      // byte offset of the record the load fails on
};

class FailedLoadTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedLoadTest, EmptiesTheTableAndLeavesTheLabel) {
    Loader l;
    l.Profile("h\r\nx\t01\tHigh\tC:\\old.exe\tchildren\r\n");
    l.Load();
    ASSERT_EQ(l.favorites.Count(), 1);
    l.label.text = L"before";

    if (GetParam().bytes) l.Profile(*GetParam().bytes);
    else l.fake.files.clear();
    l.Load();
    EXPECT_EQ(l.favorites.Count(), 0);
    EXPECT_TRUE(l.favorites.Records().empty());
    EXPECT_EQ(l.favorites.FindFirst(L"C:\\OLD.EXE"), nullptr);
    EXPECT_FALSE(l.favorites.AsksForChildren());
    EXPECT_EQ(l.label.text, L"before");

    if (!GetParam().bytes) return;
    LoadTrace trace;
    trace.FavoriteStarts = {7};
    EXPECT_FALSE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), *GetParam().bytes, l.favorites, trace));
    EXPECT_EQ(trace.Failure, GetParam().failure);
    EXPECT_EQ(trace.FailingRecordStart, GetParam().failingStart);
    EXPECT_TRUE(trace.FavoriteStarts.empty());
    EXPECT_TRUE(l.favorites.Records().empty());
}

INSTANTIATE_TEST_SUITE_P(Table, FailedLoadTest, ::testing::Values(
    FailureCase{"missing_file", std::nullopt},
    FailureCase{"empty_file", "", LoadFailure::EmptyFile, 0},
    FailureCase{"header_only", "Header\r\n", LoadFailure::HeaderOnly, 8},
    FailureCase{"header_only_no_line_end", "Header", LoadFailure::HeaderOnly, 6},
    FailureCase{"too_few_fields", "h\r\nx\t01\tHigh\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"good_lines_before_a_bad_one_are_dropped", "h\r\nx\t01\tHigh\tC:\\a.exe\r\nbad\r\n",
                LoadFailure::TooFewFields, 23},
    FailureCase{"header_then_blank_lines_and_notes", "h\r\n\r\n# x\r\n", LoadFailure::HeaderOnly, 10},
    FailureCase{"note_after_a_comma_is_no_line_of_its_own", "h\r\nx\t01\tHigh\tC:\\a.exe,# b\r\n",
                LoadFailure::TooFewFields, 22},
    FailureCase{"note_after_a_quoted_record_is_dropped_with_its_line_rest", "h\r\n\"x\t0\tLow\tC:\\a.exe\" # b\r\nbad\r\n",
                LoadFailure::TooFewFields, 27},
    FailureCase{"unquoted_comma_in_path", "h\r\nx\t01\tHigh\tC:\\a,b\\t.exe\r\n", LoadFailure::TooFewFields, 18},
    // Near misses of the forms a favourite may take: they still fail as before.
    FailureCase{"comma_in_a_quoted_path_still_cuts", "h\r\nx\t0\tLow\t\"C:\\a,b.exe\"\r\n", LoadFailure::TooFewFields, 17},
    FailureCase{"blanks_but_a_tab", "h\r\nx\t01 High C:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_one_word_before_the_path", "h\r\nHigh C:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_cpus_that_do_not_read", "h\r\nx 8-1 Low d:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_no_priority_word", "h\r\nx 01 Turbo C:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_no_path_start", "h\r\nx 01 High C:/a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_a_digit_for_a_drive", "h\r\nx 01 High 1:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_a_note_naming_a_path", "h\r\nx 0 Low C:\\a.exe # was D:\\b.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_a_variable_without_its_backslash", "h\r\nx 0 Low %Games%x.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_words_after_the_priority", "h\r\nx 0 Low of mine C:\\a.exe\r\n", LoadFailure::TooFewFields, 3},
    FailureCase{"blanks_a_variable_without_a_name", "h\r\nx 0 Low %%\\x.exe\r\n", LoadFailure::TooFewFields, 3},
    // The same rules in every encoding; offsets count characters of the text, the mark not.
    FailureCase{"utf8_mark_header_only", kUtf8Mark + "Header\r\n", LoadFailure::HeaderOnly, 8},
    FailureCase{"utf8_comma_in_path", "h\r\nx\t0\tLow\tC:\\Caf\xC3\xA9,b.exe\r\n", LoadFailure::TooFewFields, 19},
    FailureCase{"utf16_too_few_fields", Utf16(u"h\r\nx\t01\tHigh\r\n"), LoadFailure::TooFewFields, 3},
    FailureCase{"utf16_big_endian_short_line_after_a_note", Utf16(u"h\r\n; \u00E9\r\nx\t0\tLow\r\n", true),
                LoadFailure::TooFewFields, 8},
    FailureCase{"utf16_mark_alone", "\xFF\xFE", LoadFailure::EmptyFile, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LoadFavorites, StoresFieldsOneTwoThreeExactlyAsWrittenAndReadsFieldFive) {
    Loader l;
    l.Profile("Header\r\n"
              "a\t01\tHigh\tC:\\Apps\\tool.exe\r\n"
              "b\t 2 \thigh \tC:\\Apps\\Two.exe\textra\tmore\r\n"
              "c\t\t\t\r\n"
              "\"d\t3\tLow\tC:\\a,b\\t.exe\"\r\n"
              "e\t0\tLow\tC:\\e.exe\t Children \r\n"
              "f\t0\tLow\tC:\\f.exe\tCHILDREN\tnote\r\n"
              "g\t0\tLow\tC:\\g.exe\tchildren!\r\n"
              "h\t0\tLow\tC:\\h.exe\t\tchildren\r\n"
              "i\t0\tLow\tC:\\i.exe\tmy notes\r\n");
    l.Load();
    ASSERT_EQ(l.favorites.Count(), 9);
    // Field 5 asks for the children when it reads "children", any case, blanks around; else it is a note.
    std::vector<bool> children;
    for (const FavoriteRecord& r : l.favorites.Records()) children.push_back(r.Children);
    EXPECT_EQ(children, (std::vector<bool>{false, false, false, false, true, true, false, false, false}));
    EXPECT_TRUE(l.favorites.AsksForChildren());
    const auto& r = l.favorites.Records();
    EXPECT_EQ(r[0].Path, L"C:\\Apps\\tool.exe");
    EXPECT_EQ(r[0].Affinity, L"01");
    EXPECT_EQ(r[0].Priority, L"High");
    EXPECT_EQ(r[1].Affinity, L" 2 ");
    EXPECT_EQ(r[1].Priority, L"high ");
    EXPECT_EQ(r[1].Path, L"C:\\Apps\\Two.exe");
    EXPECT_EQ(r[2].Path, L"");
    EXPECT_EQ(r[3].Path, L"C:\\a,b\\t.exe");
    EXPECT_EQ(l.label.text, L"Profile:My Favs 2  Enforce:Disabled");
}

struct EncodingCase {
    const char* name;
    std::string bytes;
    ProfileEncoding encoding;
    std::wstring path;  // of the one favourite
    std::wstring cpus = L"0";
    std::wstring priority = L"Normal";
    bool blanks = false;  // read with blanks where its tabs belong
};

class EncodingTest : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(EncodingTest, ReadsTheTextTheEditorSaved) {
    Loader l;
    l.Profile(GetParam().bytes);
    l.Load();
    ASSERT_EQ(l.favorites.Count(), 1) << GetParam().name;
    EXPECT_EQ(l.favorites.Records()[0].Path, GetParam().path);
    EXPECT_EQ(l.favorites.Records()[0].Affinity, GetParam().cpus);
    EXPECT_EQ(l.favorites.Records()[0].Priority, GetParam().priority);
    // The program running from that path is the favourite's (a pattern matches its own text).
    if (!GetParam().path.empty()) {
        EXPECT_EQ(l.favorites.FindFirst(FoldPathCase(l.fake, GetParam().path)), &l.favorites.Records()[0]);
    }
    FavoritesTable traced;
    LoadTrace trace;
    ASSERT_TRUE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), GetParam().bytes, traced, trace));
    EXPECT_EQ(trace.Encoding, GetParam().encoding);
    EXPECT_EQ(trace.BlankSeparatedFavorites, GetParam().blanks ? std::vector<std::size_t>{0} : std::vector<std::size_t>{});
}

// The fake's ANSI code page is Latin-1.
INSTANTIATE_TEST_SUITE_P(Table, EncodingTest, ::testing::Values(
    // After the header, blank lines and notes are passed over, never inside a quoted record.
    EncodingCase{"blank_lines_and_notes", "h\r\n\r\n# a, \"b\"\r\n  ;c\r\n \t \r\n\t# d\te\nx\t0\tNormal\tC:\\a.exe\r\n\r\n",
                 ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"blank_header", "\r\nx\t0\tNormal\tC:\\a.exe", ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"note_header", "# mine\r# n\rx\t0\tNormal\tC:\\a.exe", ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"note_of_four_fields", "h\r\n# x\t0\tNormal\tC:\\a.exe", ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"note_inside_quotes", "h\r\n\"x\t0\tNormal\tC:\\a\r\n# b\"", ProfileEncoding::Ansi, L"C:\\a\r\n# b"},
    EncodingCase{"utf8_note", "h\r\n# \xC3\xA9\r\nx\t0\tNormal\tC:\\a.exe", ProfileEncoding::Utf8, L"C:\\a.exe"},
    EncodingCase{"ansi", "h\r\nx\t0\tNormal\tC:\\Caf\xE9 \xDC" "ber\\t.exe\r\n", ProfileEncoding::Ansi,
                 L"C:\\Caf\u00E9 \u00DCber\\t.exe"},
    EncodingCase{"utf8_without_mark", "h\r\nx\t0\tNormal\tC:\\Caf\xC3\xA9 \xC3\x9C" "ber\\t.exe\r\n",
                 ProfileEncoding::Utf8, L"C:\\Caf\u00E9 \u00DCber\\t.exe"},
    EncodingCase{"utf8_with_mark", kUtf8Mark + "h\r\nx\t0\tNormal\tC:\\\xD0\x98\xD0\xB3\xD1\x80\xD1\x8B\\t.exe",
                 ProfileEncoding::Utf8WithMark, L"C:\\\u0418\u0433\u0440\u044B\\t.exe"},
    // Behind the mark a quoted header still starts with its quote, so its comma stays inside.
    EncodingCase{"utf8_mark_then_quoted_header", kUtf8Mark + "\"head,er\"\r\nx\t0\tNormal\tC:\\t.exe",
                 ProfileEncoding::Utf8WithMark, L"C:\\t.exe"},
    EncodingCase{"utf8_ends_in_a_multi_byte_letter", "h\r\nx\t0\tNormal\tC:\\Caf\xC3\xA9", ProfileEncoding::Utf8,
                 L"C:\\Caf\u00E9"},
    EncodingCase{"utf8_four_bytes", "h\nx\t0\tNormal\tC:\\\xF0\x9F\x8E\xAE.exe\n", ProfileEncoding::Utf8,
                 std::wstring(L"C:\\") + (sizeof(wchar_t) == 2 ? std::wstring(L"\xD83C\xDFAE") : std::wstring(1, wchar_t(0x1F3AE))) + L".exe"},
    EncodingCase{"utf16_little_endian", Utf16(u"h\r\nx\t0\tNormal\tC:\\Caf\u00E9 \u00DCber\\t.exe\r\n"),
                 ProfileEncoding::Utf16LittleEndian, L"C:\\Caf\u00E9 \u00DCber\\t.exe"},
    EncodingCase{"utf16_big_endian", Utf16(u"h\r\n\"x\t0\tNormal\tC:\\\u0418,\u0433\\t.exe\"\r\n", true),
                 ProfileEncoding::Utf16BigEndian, L"C:\\\u0418,\u0433\\t.exe"},
    // Not strictly UTF-8: overlong, a surrogate, beyond U+10FFFF, cut short. Read as ANSI.
    EncodingCase{"overlong_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xC3\xA9\xC0\xAF.exe", ProfileEncoding::Ansi,
                 L"C:\\\u00C3\u00A9\u00C0\u00AF.exe"},
    EncodingCase{"overlong_three_bytes_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xC3\xA9\xE0\x80\x80.exe", ProfileEncoding::Ansi,
                 L"C:\\\u00C3\u00A9\u00E0\u0080\u0080.exe"},
    EncodingCase{"overlong_four_bytes_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xC3\xA9\xF0\x80\x80\x80.exe", ProfileEncoding::Ansi,
                 L"C:\\\u00C3\u00A9\u00F0\u0080\u0080\u0080.exe"},
    EncodingCase{"surrogate_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xED\xA0\x80.exe", ProfileEncoding::Ansi,
                 L"C:\\\u00ED\u00A0\u0080.exe"},
    EncodingCase{"beyond_unicode_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xF4\x90\x80\x80.exe", ProfileEncoding::Ansi,
                 L"C:\\\u00F4\u0090\u0080\u0080.exe"},
    EncodingCase{"cut_short_stays_ansi", "h\r\nx\t0\tNormal\tC:\\\xC3\xA9\xE2\x82", ProfileEncoding::Ansi,
                 L"C:\\\u00C3\u00A9\u00E2\u0082"},
    // The forms people write beside four tab-separated fields, and their near misses that stay whole.
    EncodingCase{"title_line_holds_a_favourite", "Games,x\t0\tNormal\tC:\\a.exe,and more\r\n", ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"blanks_for_tabs", "h\r\nMy game  01  Below  normal  C:\\Program Files\\Game\\game.exe\r\n",
                 ProfileEncoding::Ansi, L"C:\\Program Files\\Game\\game.exe", L"01", L"Below normal", true},
    EncodingCase{"blanks_share_cpu_sets_and_power", "h\r\nx ~0;2 high+NoEco \\\\srv\\s\\a b.exe", ProfileEncoding::Ansi,
                 L"\\\\srv\\s\\a b.exe", L"~0;2", L"high+NoEco", true},
    EncodingCase{"blanks_no_name_variable_quoted_with_a_note", "h\r\n Default Eco \"%G%\\A b\\t.exe\"  ; x\r\n",
                 ProfileEncoding::Ansi, L"%G%\\A b\\t.exe", L"Default", L"Eco", true},
    EncodingCase{"blanks_a_drive_root", "h\r\nx 0 Normal A:\\", ProfileEncoding::Ansi, L"A:\\", L"0", L"Normal", true},
    EncodingCase{"copy_as_path_of_nothing", "h\r\nx\t0\tNormal\t\"\"", ProfileEncoding::Ansi, L""},
    EncodingCase{"blanks_list_and_a_note", "h\r\nx 8-15 Normal Z:\\a.EXE # main", ProfileEncoding::Ansi, L"Z:\\a.EXE",
                 L"8-15", L"Normal", true},
    EncodingCase{"copy_as_path_with_a_note", "h\r\nx\t0\tNormal\t\"C:\\My Tools\\run\" # x\tmore", ProfileEncoding::Ansi,
                 L"C:\\My Tools\\run"},
    EncodingCase{"quote_then_more_stays", "h\r\nx\t0\tNormal\t\"C:\\a.exe\"x", ProfileEncoding::Ansi, L"\"C:\\a.exe\"x"},
    EncodingCase{"whole_line_in_quotes_keeps_its_meaning", "h\r\n\"x\t0\tNormal\t\"C:\\a.exe\"\"", ProfileEncoding::Ansi, L""},
    EncodingCase{"note_after_a_pattern", "h\r\nx\t0\tNormal\tC:\\Games\\*.EXE ; stream", ProfileEncoding::Ansi, L"C:\\Games\\*.EXE"},
    EncodingCase{"hash_in_a_folder_stays", "h\r\nx\t0\tNormal\tC:\\My.exe #1\\x.exe", ProfileEncoding::Ansi, L"C:\\My.exe #1\\x.exe"},
    EncodingCase{"hash_without_a_blank_stays", "h\r\nx\t0\tNormal\tC:\\a.exe#1 b.ex ;c", ProfileEncoding::Ansi, L"C:\\a.exe#1 b.ex ;c"},
    EncodingCase{"blanks_without_a_mark_stay", "h\r\nx\t0\tNormal\tC:\\a.exe  b", ProfileEncoding::Ansi, L"C:\\a.exe  b"},
    EncodingCase{"a_note_stays_one", "h\r\n# old 01 High C:\\x.exe\r\nx\t0\tNormal\tC:\\a.exe", ProfileEncoding::Ansi, L"C:\\a.exe"},
    EncodingCase{"comma_in_header", "head,er, and more\r\nx\t0\tNormal\tC:\\a.exe\r\n", ProfileEncoding::Ansi, L"C:\\a.exe"}),
    [](const auto& info) { return std::string(info.param.name); });

// Every profile the zip and the package ship loads every favourite, its own first line included.
TEST(LoadFavorites, ShippedProfilesLoadWhole) {
    const std::pair<const std::string*, std::size_t> shipped[] = {
        {&examples::kMyFavs1, 3}, {&examples::kMyFavsHybrid, 5}, {&examples::kMyFavsTwoDies, 3}};
    for (const auto& [bytes, count] : shipped) {
        Loader l;
        l.Profile(*bytes);
        l.Load();
        EXPECT_EQ(l.favorites.Records().size(), count) << *bytes;
        FavoritesTable traced;
        LoadTrace trace;
        EXPECT_TRUE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), *bytes, traced, trace));
        EXPECT_EQ(trace.FavoriteStarts.size(), count);
    }
}

TEST(LoadFavorites, DefaultNameIsMyFavs1AndStays) {
    Loader l;
    l.settings.ProfileName.clear();
    l.Profile("h\r\nx\t0\tLow\tC:\\t.exe\r\n", L"My Favs 1");
    l.Load();
    EXPECT_EQ(l.settings.ProfileName, L"My Favs 1");
    EXPECT_EQ(l.favorites.Count(), 1);
}

TEST(LoadFavorites, ProgramDirectoryAtADriveRootGetsNoSecondBackslash) {
    Loader l;
    l.fake.programDirectory = L"D:\\";
    l.fake.files[L"D:\\My Favs 2"] = "h\r\nx\t0\tLow\tC:\\t.exe\r\n";
    l.Load();
    EXPECT_EQ(l.favorites.Count(), 1);
}

TEST(LoadFavorites, StatusTextShowsTheEnforcePeriod) {
    RunSettings s;
    s.ProfileName = L"My Favs 1";
    s.EnforceOn = true;
    s.EnforceSeconds = 30;
    EXPECT_EQ(ProfileStatusText(s), L"Profile:My Favs 1  Enforce:30");
    s.EnforceSeconds = 2147483647;
    EXPECT_EQ(ProfileStatusText(s), L"Profile:My Favs 1  Enforce:2147483647");
}

// Paths that differ only in letter case name one program (once they named two: mended).
TEST(LoadFavorites, FirstOfSeveralEqualPathsIsFound) {
    Loader l;
    l.Profile("h\r\nx\t0\tLow\tC:\\t.exe\r\ny\t1\tHigh\tC:\\t.exe\r\nz\t2\tHigh\tC:\\T.exe\r\n");
    l.Load();
    ASSERT_EQ(l.favorites.Count(), 3);
    EXPECT_EQ(l.favorites.FindFirst(L"C:\\T.EXE"), &l.favorites.Records()[0]);
    EXPECT_EQ(l.favorites.FindFirst(L"C:\\t.exe"), nullptr);  // the key is the folded path
    l.Load();  // the same file again gives the same table
    EXPECT_EQ(l.favorites.Count(), 3);
    EXPECT_EQ(l.favorites.FindFirst(L"C:\\T.EXE"), &l.favorites.Records()[0]);
}

// This PC's Windows directory, read at each load: a raising pattern there matches nothing, a
// lowering one does, and so does a raising one once Windows is elsewhere.
TEST(LoadFavorites, KeepsRaisingPatternsOutOfTheWindowsDirectoryReadAtEachLoad) {
    Loader l;
    l.fake.windowsDirectory = L"D:\\Win11";
    l.Profile("h\r\nr\t0\tHigh\tD:\\Win11\\Tasks\\*.exe\r\nl\t0\tBelow\td:\\win11\\**\\*.exe\r\n");
    l.Load();
    EXPECT_EQ(l.favorites.FindFirst(L"D:\\WIN11\\TASKS\\X.EXE"), &l.favorites.Records()[1]);
    EXPECT_EQ(l.favorites.RefusalAt(0), PatternRefusal::WindowsFolder);
    l.fake.windowsDirectory = L"C:\\WINDOWS";
    l.Load();
    EXPECT_EQ(l.favorites.FindFirst(L"D:\\WIN11\\TASKS\\X.EXE"), &l.favorites.Records()[0]);
    EXPECT_EQ(l.favorites.RefusalAt(0), PatternRefusal::None);
}

// Registry text as Windows stores it, NUL included.
FakePlatform::RegistryValue RegistryText(std::wstring_view text, Dword type = kRegSz) {
    std::vector<std::uint8_t> bytes;
    for (wchar_t c : std::wstring(text) + L'\0') bytes.insert(bytes.end(), {std::uint8_t(c & 0xFF), std::uint8_t((c >> 8) & 0xFF)});
    return {type, bytes};
}
constexpr wchar_t kVersionKey[] = L"HKLM\\Software\\Microsoft\\Windows\\CurrentVersion";
using World = std::function<void(FakePlatform&)>;
World AsUser(std::vector<Dword> sid) { return [=](FakePlatform& f) { f.tokenUser = sid; }; }
World Folder(const Guid& id, const wchar_t* path) { return [&id, path](FakePlatform& f) { f.knownFolders[id.Data1] = path; }; }
World ProgramFilesDir(const wchar_t* path, Dword type = kRegSz) {
    return [=](FakePlatform& f) { f.ChangeRegistry(kVersionKey, L"ProgramFilesDir", RegistryText(path, type)); };
}

struct PathNameCase {
    const char* name;
    std::string path;            // as written on a line that raises (High)
    PathNameUse use;             // of its leading name
    std::wstring loaded;         // in the table: expanded, or as written
    World world = {};
    PatternRefusal refusal = PatternRefusal::None;
};

class PathNameTest : public ::testing::TestWithParam<PathNameCase> {};

// The values come from Windows, never from the environment a user steers; a 64-bit Windows
// gives the 32-bit program its native Program Files in the 64-bit registry view.
TEST_P(PathNameTest, ExpandsAtTheStartAsIfWrittenOut) {
    const PathNameCase& c = GetParam();
    Loader l;
    l.fake.environment = {{L"LOCALAPPDATA", L"D:\\Steered"}, {L"ProgramFiles", L"D:\\Steered"}, {L"windir", L"D:\\Steered"}};
    l.fake.wow64 = true;
    ProgramFilesDir(L"C:\\Program Files")(l.fake);
    l.fake.ChangeRegistry(L"HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion", L"ProgramFilesDir",
                          RegistryText(L"C:\\Program Files (x86)"));
    if (c.world) c.world(l.fake);
    l.Profile("h\r\nx\t0\tHigh\t" + c.path + "\r\n");
    l.Load();
    ASSERT_EQ(l.favorites.Count(), 1) << c.name;
    EXPECT_EQ(l.favorites.Records()[0].Path, c.loaded);
    EXPECT_EQ(l.favorites.RefusalAt(0), c.refusal);
    EXPECT_EQ(l.fake.OpenHandleCount(), 0u);
    // With no values, the table keeps the Path as written.
    FavoritesTable written;
    LoadTrace trace;
    ASSERT_TRUE(ReadFavoritesTraced(l.fake, PathNames{}, "h\r\nx\t0\tLow\t" + c.path, written, trace));
    EXPECT_EQ(ExpandPathName(written.Records()[0].Path, ReadPathNames(l.fake)).use, c.use);
}

using enum PathNameUse;
INSTANTIATE_TEST_SUITE_P(Table, PathNameTest, ::testing::Values(
    PathNameCase{"local_app_data_any_case", "%LocalAppData%\\Chat\\chat.exe", Expanded, L"C:\\Users\\me\\AppData\\Local\\Chat\\chat.exe"},
    // One user's own folder: taken, and a raising pattern too; what every user shares is refused.
    PathNameCase{"pattern_in_the_users_own_folder", "%LOCALAPPDATA%\\Chat\\**\\chat.exe", Expanded,
                 L"C:\\Users\\me\\AppData\\Local\\Chat\\**\\chat.exe"},
    PathNameCase{"public", "%PUBLIC%\\**", Expanded, L"C:\\Users\\Public\\**", {}, PatternRefusal::UsersFolder},
    PathNameCase{"program_data", "%ProgramData%\\**\\*.exe", Expanded, L"C:\\ProgramData\\**\\*.exe", {}, PatternRefusal::UsersFolder},
    PathNameCase{"windows", "%windir%\\Tasks\\*.exe", Expanded, L"C:\\WINDOWS\\Tasks\\*.exe", {}, PatternRefusal::WindowsFolder},
    PathNameCase{"system_drive", "%SystemDrive%\\Games\\a.exe", Expanded, L"C:\\Games\\a.exe"},
    PathNameCase{"native_program_files_in_the_32_bit_program", "%ProgramFiles%\\a.exe", Expanded, L"C:\\Program Files\\a.exe"},
    PathNameCase{"a_root_joined_with_one_backslash", "%ProgramFiles%\\a.exe", Expanded, L"a:\\a.exe", ProgramFilesDir(L"a:\\")},
    PathNameCase{"drive_z", "%PUBLIC%\\a.exe", Expanded, L"Z:\\Pub\\a.exe", Folder(kFolderIdPublic, L"Z:\\Pub")},
    PathNameCase{"a_share", "%APPDATA%\\a.exe", Expanded, L"\\\\srv\\home$\\a.exe", Folder(kFolderIdRoamingAppData, L"\\\\srv\\home$\\")},
    // Anything else stays as written, as before.
    PathNameCase{"percent_inside", "C:\\Games\\100%\\x.exe", None, L"C:\\Games\\100%\\x.exe"},
    PathNameCase{"another_name", "%GAMES%\\x.exe", None, L"%GAMES%\\x.exe"},
    PathNameCase{"no_percent_first", "xwindir%\\x.exe", None, L"xwindir%\\x.exe"},
    PathNameCase{"no_backslash_after_the_name", "%windir%x.exe", None, L"%windir%x.exe"},
    // A service account has no user's folders; the machine's names still expand.
    PathNameCase{"system_account", "%LOCALAPPDATA%\\a.exe", NoUserHere, L"%LOCALAPPDATA%\\a.exe", AsUser({18})},
    PathNameCase{"network_service", "%USERPROFILE%\\a.exe", NoUserHere, L"%USERPROFILE%\\a.exe", AsUser({20})},
    PathNameCase{"system_account_machine_name", "%ProgramData%\\a.exe", Expanded, L"C:\\ProgramData\\a.exe", AsUser({18})},
    PathNameCase{"another_single_authority_is_no_service", "%APPDATA%\\a.exe", Expanded, L"C:\\Users\\me\\AppData\\Roaming\\a.exe", AsUser({17})},
    PathNameCase{"a_sid_beginning_18_is_no_service", "%APPDATA%\\a.exe", Expanded, L"C:\\Users\\me\\AppData\\Roaming\\a.exe",
                 AsUser({18, 1001})},
    PathNameCase{"token_unreadable", "%APPDATA%\\a.exe", Unknown, L"%APPDATA%\\a.exe",
                 [](FakePlatform& f) { f.failingCalls.insert("GetTokenInformation"); }},
    PathNameCase{"registry_value_of_another_type", "%ProgramFiles%\\a.exe", Unknown, L"%ProgramFiles%\\a.exe", ProgramFilesDir(L"C:\\P", 2)},
    PathNameCase{"registry_unreadable_as_a_service", "%ProgramFiles%\\a.exe", Unknown, L"%ProgramFiles%\\a.exe",
                 [](FakePlatform& f) { f.registryErrors["RegQueryValueExW"] = 5, f.tokenUser = {18}; }},
    // A value must be a full path of plain names.
    PathNameCase{"relative_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"Cx")},
    PathNameCase{"drive_relative_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"C:Users")},
    PathNameCase{"digit_drive_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"1:\\x")},
    PathNameCase{"dot_dot_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"C:\\Users\\..\\x")},
    PathNameCase{"star_in_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"C:\\*")},
    PathNameCase{"device_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"\\\\.\\C:\\x")},
    PathNameCase{"server_alone", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"\\\\srv")},
    PathNameCase{"empty_first_name", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"C:\\\\y")},
    PathNameCase{"empty_name_in_value", "%PUBLIC%\\a.exe", NotAFullPath, L"%PUBLIC%\\a.exe", Folder(kFolderIdPublic, L"C:\\x\\\\y")}),
    [](const auto& info) { return std::string(info.param.name); });

std::string ProfileOf(int favourites) {
    std::string bytes = "h\r\n";
    for (int i = 0; i < favourites; ++i) bytes += "x\t0\tLow\tC:\\p" + std::to_string(i) + ".exe\r\n";
    return bytes;
}

TEST(LoadFavorites, HoldsAtMost32767Favourites) {
    Loader l;
    l.Profile(ProfileOf(32767));
    l.Load();
    EXPECT_EQ(l.favorites.Count(), 32767);
    EXPECT_NE(l.favorites.FindFirst(L"C:\\P32766.EXE"), nullptr);
    l.Profile(ProfileOf(32768));
    l.Load();
    EXPECT_EQ(l.favorites.Count(), 0);
    EXPECT_TRUE(l.favorites.Records().empty());

    const std::string bytes = ProfileOf(32768);
    LoadTrace trace;
    EXPECT_FALSE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), bytes, l.favorites, trace));
    EXPECT_EQ(trace.Failure, LoadFailure::TooManyFavorites);
    EXPECT_EQ(trace.FailingRecordStart, bytes.rfind("x\t"));
}

TEST(LoadFavorites, TraceGivesEachFavouritesStartAndTheSameTable) {
    Loader l;
    const std::string bytes = "h\r\nx\t0\tLow\tC:\\a.exe\n\"y\t1\tHigh\tC:\\b,c.exe\"\rz\t2\tLow\tC:\\d.exe";
    l.Profile(bytes);
    l.Load();
    FavoritesTable traced;
    LoadTrace trace;
    ASSERT_TRUE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), bytes, traced, trace));
    EXPECT_EQ(trace.Failure, LoadFailure::None);
    EXPECT_EQ(trace.FavoriteStarts, (std::vector<std::size_t>{3, 20, 42}));
    ASSERT_EQ(traced.Count(), l.favorites.Count());
    for (std::size_t i = 0; i < traced.Records().size(); ++i)
        EXPECT_EQ(traced.Records()[i].Path, l.favorites.Records()[i].Path);
    // Of 51 failing records, the first 50 are named and all are counted.
    std::string failing = "h\r\n";
    for (int i = 0; i < 51; ++i) failing += "x\r\n";
    LoadTrace many;
    EXPECT_FALSE(ReadFavoritesTraced(l.fake, ReadPathNames(l.fake), failing, traced, many));
    EXPECT_EQ(many.FailingRecords, 51u);
    EXPECT_EQ(many.FailingRecordStarts.size(), 50u);
}

}  // namespace
}  // namespace mjr
