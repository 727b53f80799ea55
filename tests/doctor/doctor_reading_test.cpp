// The doctor reading the profile file and its command line: the verdict on what loads, why
// nothing does and where, and what it and the program make of the arguments given.
#include "doctor/doctor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "doctor/doctor_test_world.h"

namespace mjr::doctor {
namespace {

using testing::FakePlatform;

struct VerdictCase {
    const char* name;
    std::optional<std::string> bytes;  // nothing: no such file
    Dword readError;                   // why reading fails, 0 for none; 5 with a folder
    int exit;
    const wchar_t* says;
    Dword fileType = 0;   // a pipe's server or a device answers to the profile's name
    FakePlatform::FileHolder heldBy{};  // another program's open of the profile
    const wchar_t* savedAs = L"";      // what an editor added to the name
    std::int64_t reportedSize = -1;    // the size Windows reports, where not the bytes held
    std::function<void(FakePlatform&)> world = {};  // the checker's user and folders
};

class VerdictTest : public ::testing::TestWithParam<VerdictCase> {};

TEST_P(VerdictTest, NamesWhyAndWhere) {
    Doctor d;
    const VerdictCase& c = GetParam();
    if (c.bytes) d.fake.files[kProfile + std::wstring(c.savedAs)] = *c.bytes;
    if (c.readError == kErrorAccessDenied) d.fake.directories.insert(kProfile);
    else if (c.readError) d.fake.fileReadErrors[kProfile] = c.readError;
    if (c.fileType) d.fake.fileTypes[kProfile] = c.fileType;
    if (c.heldBy.access) d.fake.heldFiles[kProfile] = c.heldBy;
    if (c.reportedSize >= 0) d.fake.fileSizes[kProfile] = c.reportedSize;
    if (c.world) c.world(d.fake);
    EXPECT_EQ(d.Run(), c.exit) << d.out.All();
    // Opened once, for reading, sharing read and write, allowing a pipe's server to identify
    // the reader but never to act as it.
    EXPECT_EQ(d.fake.CallsNamed("CreateFileW(0x80000000,0x3,0x8110000)"), 1u) << d.out.All();
    if (c.fileType) {
        EXPECT_EQ(d.fake.CallsNamed("ReadFile") + d.fake.CallsNamed("GetFileAttributesW"), 0u);
    }
    EXPECT_TRUE(d.out.Has(L"Profile: C:\\Apps\\Marrowbine\\My Favs 1")) << d.out.All();
    EXPECT_TRUE(d.out.Has(c.says)) << d.out.All();
    EXPECT_EQ(d.out.Has(L"Dry run"), c.exit == 0) << d.out.All();
    EXPECT_FALSE(d.out.Has(L": 0 ")) << d.out.All();  // no line counts nothing ("Passed over: 0", "Also: 0 more")
    // The verdict's line is not named again among the others.
    const auto lineNamed = [](const std::wstring& text, std::wstring_view prefix) {
        return text.rfind(prefix, 0) != 0 ? std::wstring()
                                          : text.substr(prefix.size(), text.find_first_not_of(L"0123456789", prefix.size()) - prefix.size());
    };
    std::wstring verdictLine;
    for (const std::wstring& line : d.out.lines) {
        if (verdictLine.empty()) verdictLine = lineNamed(line, L"Verdict: no favourite loads: line ");
        else EXPECT_NE(lineNamed(line, L"Also: line "), verdictLine) << d.out.All();
    }
}

std::string Repeated(const std::string& text, int times) {
    std::string all;
    for (int i = 0; i < times; ++i) all += text;
    return all;
}

INSTANTIATE_TEST_SUITE_P(Table, VerdictTest, ::testing::Values(
    // A path that follows the user or the PC: what it is here, or why it matches nothing.
    VerdictCase{"path_name_here", "h\r\nx\t0\tLow\t%LOCALAPPDATA%\\Chat\\c.exe", 0, 0, L"Note: line 2: %LOCALAPPDATA%\\Chat\\c.exe "
                L"is C:\\Users\\me\\AppData\\Local\\Chat\\c.exe here (each user's copy reads that user's own folder)."},
    VerdictCase{"path_name_as_a_service", "h\r\nx\t0\tLow\t%AppData%\\a.exe", 0, 0, L"line 2: \"%AppData%\\a.exe\": this check "
                L"runs as a service account (SYSTEM, LOCAL SERVICE or NETWORK SERVICE), which has no user's folders: a copy run "
                L"so (a one-shot run from a deployment tool) matches nothing with it; %APPDATA% expands only in each user's own "
                L"copy", 0, {}, L"", -1, [](FakePlatform& f) { f.tokenUser = {18}; }},
    VerdictCase{"path_name_of_no_full_path", "h\r\nx\t0\tLow\t%PUBLIC%\\a.exe", 0, 0, L"line 2: \"%PUBLIC%\\a.exe\": %PUBLIC% "
                L"is \"Public\" here, which is no full drive or share path", 0, {}, L"", -1,
                [](FakePlatform& f) { f.knownFolders[kFolderIdPublic.Data1] = L"Public"; }},
    VerdictCase{"missing", std::nullopt, 0, 1, L"cannot be read: it does not exist."},
    VerdictCase{"folder", std::nullopt, kErrorAccessDenied, 1, L"cannot be read: it is a folder, not a file."},
    VerdictCase{"locked", "h\r\n", kErrorSharingViolation, 1, L"another program holds it locked"},
    VerdictCase{"too_large", std::nullopt, kErrorFileTooLarge, 1, L"far too large"},
    VerdictCase{"too_large_by_its_size", "h\r\nx\t0\tLow\tC:\\a.exe", 0, 1, L"far too large", 0, {}, L"",
                (256ll << 20) + 1},
    VerdictCase{"invalid_name", std::nullopt, kErrorInvalidName, 1, L"its name holds a character Windows allows in no file name"},
    VerdictCase{"pipe", std::nullopt, 0, 1, L"it is not a file on a disk (a pipe or a device)", kFileTypePipe},
    VerdictCase{"device", std::nullopt, 0, 1, L"it is not a file on a disk (a pipe or a device)", kFileTypeChar},
    VerdictCase{"held_open_by_an_editor", "h\r\nx\t0\tLow\tC:\\a.exe", 0, 0, L"Verdict: 1 favourite loads.", 0,
                {kGenericRead | 0x40000000, kFileShareRead}},
    VerdictCase{"held_unshared", "h\r\nx\t0\tLow\tC:\\a.exe", 0, 1, L"another program holds it locked", 0,
                {kGenericRead, 0}},
    VerdictCase{"empty", "", 0, 1, L"no favourite loads: the file is empty."},
    VerdictCase{"header_only", "Header\r\n", 0, 1, L"holds its header (line 1) and no favourite"},
    VerdictCase{"unquoted_comma", "h\r\nx\t0\tLow\tC:\\a.exe\r\nx\t0\tLow\tC:\\a,b.exe\r\n", 0, 1,
                L"line 3: a comma outside double quotes cuts the line at column 13;"},
    VerdictCase{"comma_in_header", "head,er\r\nx\t0\tLow\tC:\\a.exe\r\n", 0, 0, L"Verdict: 1 favourite loads."},
    VerdictCase{"comma_in_the_cpus", "h\r\nx\t0,1\tLow\tC:\\a.exe\r\n", 0, 1,
                L"line 2: a comma outside double quotes cuts the line at column 4, inside the CPUs \"0,1\": write \"01\" or \"0;1\"."},
    VerdictCase{"comma_in_a_cpu_list", "h\r\nx\t0-3, 8\tLow\tC:\\a.exe\r\n", 0, 1, L"inside the CPUs \"0-3, 8\": write \"0-3;8\"."},
    VerdictCase{"comma_in_a_quoted_path", "h\r\nx\t0\tLow\t\"C:\\a,b.exe\"\r\n", 0, 1, L"column 14, inside the path "
                L"in double quotes: put the whole line in double quotes instead, and leave out the path's own."},
    VerdictCase{"blank_lines_and_notes_counted", "h\r\n\r\n; n\r\nx\t0\tLow\tC:\\a.exe\r\n\r\n", 0, 0,
                L"Passed over: 3 blank and note lines (empty, only blanks, or beginning with # or ;)."},
    VerdictCase{"one_blank_line_counted", "h\r\n\r\nx\t0\tLow\tC:\\a.exe", 0, 0, L"Passed over: 1 blank or note line (empty"},
    VerdictCase{"every_failing_line_named", "h\r\nbad\r\nx\t0\tLow\tC:\\a.exe\r\nx,y\r\nx\t1\r\n", 0, 1,
                L"Also: line 5 has 2 fields where a favourite needs four"},
    // The traced reading goes on past a failing record; the favourites after it neither load nor count.
    VerdictCase{"good_records_after_a_failing_one", "h\r\nx\t0\tLow\tC:\\a.exe\r\nbad\r\n" + Repeated("x\t0\tLow\tC:\\a.exe\r\n", 32767),
                0, 1, L"Verdict: no favourite loads: line 3 has 1 field where a favourite needs four"},
    VerdictCase{"fifty_failing_records_named", "h\r\n" + std::string(53, ','), 0, 1, L"Also: 3 more records of too few"},
    VerdictCase{"fifty_failing_records_and_no_more", "h\r\n" + std::string(50, ','), 0, 1, L"Verdict: no favourite loads"},
    VerdictCase{"fifty_one_failing_records", "h\r\n" + std::string(51, ','), 0, 1, L"Also: 1 more record of too few fields"},
    // The loader's own reading of a line written with blanks where its tabs belong, said as a note.
    VerdictCase{"spaces_for_tabs", "h\r\nMy game  01 Below normal C:\\Program Files\\Game\\game.exe\r\n", 0, 0,
                L"Note: line 2 has no tabs; it was read with blanks where tabs belong: CPUs \"01\", priority \"Below normal\", "
                L"Path \"C:\\Program Files\\Game\\game.exe\"."},
    VerdictCase{"spaces_for_tabs_cpu_sets_and_share", "h\r\nx ~0;2 high \\\\srv\\s\\a b.exe\r\n", 0, 0,
                L"CPUs \"~0;2\", priority \"high\", Path \"\\\\srv\\s\\a b.exe\"."},
    VerdictCase{"spaces_for_tabs_list", "h\r\nx 8-15 Low  d:\\a.exe \r\n", 0, 0, L"Path \"d:\\a.exe \"."},
    VerdictCase{"spaces_for_tabs_one_word_before", "h\r\nHigh C:\\a.exe\r\n", 0, 1,
                L"three tabs; a line without tabs loads only when it reads, with blanks between them, as a name, CPUs the "
                L"program reads, a priority word and a full path (C:\\..., \\\\server\\... or %NAME%\\...)."},
    VerdictCase{"spaces_for_tabs_unread", "h\r\nx 8-1 Low d:\\a.exe\r\n", 0, 1, L"a line without tabs loads only when"},
    VerdictCase{"three_fields_lone_lf", "h\nx\t0\tLow\n", 0, 1, L"line 2 has 3 fields where a favourite needs four"},
    VerdictCase{"blanks_lone_cr", "h\rx\t0\tLow\tC:\\a.exe\r\"x\t0\tLow\r\n\tC:\\b.exe\"\rbad line\r", 0, 1,
                L"line 5 has 1 field where a favourite needs four, separated by three tabs; a line without tabs"},
    VerdictCase{"loads", "h\r\nx\t0\tLow\tC:\\a.exe", 0, 0, L"Verdict: 1 favourite loads."},
    VerdictCase{"notepad_added_txt", "h\r\nx\t0\tLow\tC:\\a.exe", 0, 1, L"it does not exist; \"My Favs 1.txt\" is "
                L"there (Notepad adds .txt, and Explorer hides it): rename it to \"My Favs 1\".", 0, {}, L".txt"},
    VerdictCase{"no_header", "x\t0\tLow\tC:\\a.exe\r\n", 0, 1, L"no favourite; line 1 looks like a favourite"},
    // Columns count characters: the comma is the 16th character and the 17th byte.
    VerdictCase{"utf8_column_in_characters", "h\r\nx\t0\tLow\tC:\\Caf\xC3\xA9,b.exe\r\n", 0, 1,
                L"line 2: a comma outside double quotes cuts the line at column 16;"},
    VerdictCase{"utf16_lines", std::string("\xFF\xFEh\0\r\0\n\0x\0\t\0" "0\0\t\0L\0o\0w\0\r\0\n\0", 24), 0, 1,
                L"line 2 has 3 fields where a favourite needs four"},
    VerdictCase{"says_the_encoding", "\xEF\xBB\xBFh\r\nx\t0\tLow\tC:\\a.exe", 0, 0,
                L"Encoding: UTF-8 with byte-order mark."}),
    [](const auto& info) { return std::string(info.param.name); });

struct ArgumentsCase {
    const char* name;
    std::vector<std::wstring> args;
    int exit;
    const wchar_t* says;
    const wchar_t* raw = L"";  // the argument text as Windows gives it, quotes and all
    const wchar_t* never = nullptr;  // a part no line holds
};

class ArgumentsTest : public ::testing::TestWithParam<ArgumentsCase> {};

TEST_P(ArgumentsTest, ReadsTheCommandLine) {
    Doctor d;
    d.fake.commandLine = GetParam().raw;
    EXPECT_EQ(d.Run(GetParam().args), GetParam().exit) << d.out.All();
    EXPECT_TRUE(d.out.Has(GetParam().says)) << d.out.All();
    if (GetParam().never) {
        EXPECT_FALSE(d.out.Has(GetParam().never)) << d.out.All();
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ArgumentsTest, ::testing::Values(
    ArgumentsCase{"unknown_option", {L"--bogus"}, 2, L"MarrowbineJrCheck: unknown option \"--bogus\"."},
    ArgumentsCase{"file_without_path", {L"--file"}, 2, L"--file needs a path"},
    ArgumentsCase{"name_and_file", {L"--file", L"a", L"b"}, 2, L"not both"},
    ArgumentsCase{"help", {L"x", L"--help"}, 0, L"Exit status: 0 the profile loads, 1 it loads nothing, 2 a usage error."},
    ArgumentsCase{"name_in_words", {L"My", L"Favs", L"2"}, 1, L"Profile: C:\\Apps\\Marrowbine\\My Favs 2"},
    ArgumentsCase{"programs_own_command_line", {L"/exit", L"/my", L"favs", L"3"}, 1,
                  L"Profile: C:\\Apps\\Marrowbine\\my favs 3", L"/exit /my favs 3 "},
    // Quoted as people quote: the quotes go (once they stayed in the name: mended).
    ArgumentsCase{"quoted_like_the_program", {L"/My Favs 2", L"/exit"}, 1,
                  L"Profile: C:\\Apps\\Marrowbine\\My Favs 2", L"\"/My Favs 2\" /exit"},
    ArgumentsCase{"quoted_name_first", {L"My Favs 2", L"/exit"}, 1,
                  L"reads: one pass (apply the profile once, then exit), profile \"My Favs 2\", Enforce:Disabled (no periodic",
                  L"\"My Favs 2\" /exit"},
    ArgumentsCase{"quoted_name_last", {L"/exit", L"/My Favs 2"}, 1,
                  L"Profile: C:\\Apps\\Marrowbine\\My Favs 2", L"/exit \"/My Favs 2\""},
    ArgumentsCase{"name_without_my_fav", {L"/Gaming /exit"}, 1,
                  L"\"/Gaming\" does nothing: a profile name must contain \"my fav\"; name the file \"My Favs Gaming\" "
                  L"and write /My Favs Gaming", L"\"/Gaming /exit\""},
    ArgumentsCase{"misspelt_exit", {L"/exti /x", L"/enforce"}, 1, L"\"/exti\" does nothing; likely meant /exit",
                  L"\"/exti /x\" /enforce"},
    ArgumentsCase{"least_period", {L"/enforce:5"}, 1, L"\"/enforce:5\" sets 10 s, the least", L"/enforce:5"},
    ArgumentsCase{"number_against_the_word", {L"/enforce1234"}, 1, L"\"/enforce1234\" reads its number from the "
                  L"piece's ninth character, so it sets 234 s; for 1234 seconds write /enforce:1234", L"/enforce1234"},
    ArgumentsCase{"profile_name_holding_exit", {L"/My Favs Exit Games"}, 1, L"\"/My Favs Exit Games\" names a "
                  L"profile, but its \"exit\" also switches one-pass mode on; give the profile a name without that word",
                  L"\"/My Favs Exit Games\""},
    ArgumentsCase{"profile_name_holding_both", {L"/my favs exit enforced"}, 1, L"\"/my favs exit enforced\" names a "
                  L"profile, but its \"exit\" also switches one-pass mode on and its \"enforce\" the enforce period;",
                  L"/my favs exit enforced"},
    ArgumentsCase{"least_period_as_written", {L"/enforce:10"}, 1, L"Enforce:10 (every 10 s", L"/enforce:10", L"the least"},
    ArgumentsCase{"two_profile_names", {L"/My Favs 2", L"/My Favs 3"}, 1,
                  L"\"/My Favs 2\" does nothing: a later piece names the profile", L"/My Favs 2 /My Favs 3", L"\"/My Favs 3\" does"},
    ArgumentsCase{"profile_name_alone", {L"/My Favs 2", L"/exit"}, 1, L"reads: one pass", L"/My Favs 2 /exit", L"names a profile, but"},
    ArgumentsCase{"only_quotes", {L"/", L"/exit"}, 1, L"reads: one pass", L"/\"\" /exit", L"does nothing"},
    ArgumentsCase{"reset_request", {L"/reset"}, 1, L"[/reset] reads: a reset request: every copy running", L"/reset", L"does nothing"},
    ArgumentsCase{"options_keep_their_arguments", {L"--file", L"C:/p/My Favs 2"}, 1, L"Profile: C:/p/My Favs 2",
                  L"--file C:/p/My Favs 2"},
    ArgumentsCase{"try_and_a_name", {L"--try", L"My Favs 2"}, 2, L"MarrowbineJrCheck: --try takes nothing else."},
    ArgumentsCase{"list_and_try", {L"--list", L"--try"}, 2, L"MarrowbineJrCheck: --try takes nothing else."},
    ArgumentsCase{"list_reads_no_profile", {L"--list", L"My Favs 2"}, 2, L"--list reads no profile"},
    ArgumentsCase{"full_path_as_the_name", {L"C:\\Users\\me\\My Favs 2"}, 1,
                  L"and takes the whole text as a file name there; to check a profile elsewhere, use --file"},
    ArgumentsCase{"relative_file", {L"--file=p.txt"}, 1, L"Profile: C:\\Users\\me\\p.txt"},
    ArgumentsCase{"name_the_program_never_reads", {L"Games"}, 1, L"it never reads \"Games\"."}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr::doctor
