// The warnings on a profile's lines that still load: CPU texts, priority words, paths that never
// match, and programs ordinary users could replace or add where an elevated program raises them.
#include "doctor/doctor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "doctor/cpu_list_findings.h"
#include "doctor/doctor_test_world.h"
#include "doctor/user_access.h"
#include "engine/cpu_list.h"
#include "example_profiles.h"

namespace mjr::doctor {
namespace {

using testing::FakePlatform;
using testing::FakeAce;
using testing::SecurityDescriptor;

struct WarningCase {
    const char* name;
    Dword processors;
    bool checker32;
    std::string favourites;               // after the header line
    std::vector<const wchar_t*> warnings;  // one part of each warning line, in order
    std::optional<FakePlatform::Machine> machine = std::nullopt;  // instead of `processors`
    bool touchesNoFile = false;  // no file-system call but the profile's read reaches Windows
    std::vector<std::wstring> programs = {};  // more programs on the machine
    int wide = 0;                // folders in C:\Wide
    std::uint64_t tickStep = 0;  // the clock's step a reading
    bool wholeFile = false;      // `favourites` is a whole profile, its own first line included
};

class WarningTest : public ::testing::TestWithParam<WarningCase> {};

TEST_P(WarningTest, WarnsOnTheseLinesAndNoOther) {
    Doctor d;
    const WarningCase& c = GetParam();
    d.fake.numberOfProcessors = c.processors;
    if (c.machine) d.fake.UseMachine(*c.machine);
    d.build.Is32Bit = c.checker32;
    d.fake.files[kProfile] = c.wholeFile ? c.favourites : "Header\r\n" + c.favourites;
    for (const std::wstring& program : c.programs) d.fake.programFiles[program] = kScs64BitBinary;
    for (int i = 0; i < c.wide; ++i) d.fake.directories.insert(L"C:\\Wide\\" + std::to_wstring(i));
    d.fake.tickStep = c.tickStep;
    ASSERT_EQ(d.Run(), 0) << d.out.All();
    const std::vector<std::wstring> warnings = d.out.Warnings();
    ASSERT_EQ(warnings.size(), c.warnings.size()) << d.out.All();
    for (std::size_t i = 0; i < warnings.size(); ++i)
        EXPECT_NE(warnings[i].find(c.warnings[i]), std::wstring::npos) << d.out.All();
    if (c.touchesNoFile) {
        for (const char* call : {"FindFirstFileName", "GetFinalPathNameByHandleW", "FindFirstFileExW"})
            EXPECT_EQ(d.fake.CallsNamed(call), 0u) << call;
        // Only the doctor's own files and the folders above them.
        for (const std::string& call : d.fake.calls)
            if (call.rfind("GetFileAttributesW", 0) == 0 || call.rfind("GetNamedSecurityInfoW", 0) == 0) {
                const std::string path = call.substr(call.find(' ') + 1);
                EXPECT_TRUE(std::string("C:\\Apps\\Marrowbine\\").rfind(path, 0) == 0 ||
                            path.rfind("C:\\Apps\\Marrowbine\\", 0) == 0) << call;
            }
        EXPECT_EQ(d.fake.CallsNamed("CreateFileW"), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, WarningTest, ::testing::Values(
    WarningCase{"notes_that_are_favourites", 4, true, "# a\t0\tLow\tC:\\Apps\\Tool.exe\r  ;b\t0\tLow\tC:\\Program Files\\Tool.exe\r\n",
                {L"line 2 begins with \"#\" as a note does, but holds three tabs: it is a favourite and still applies",
                 L"line 3 begins with \";\""}},
    WarningCase{"nothing_to_say", 4, true, "a\t01\tHigh\tC:\\Apps\\Tool.exe\r\nb\t3\tDefault\tC:\\Program Files\\Tool.exe\r\n"
                "c\t0\tEco\tC:\\Apps\\Big64.exe\r\n", {}},
    WarningCase{"out_of_order", 4, true, "a\t10\tHigh\tC:\\Apps\\Tool.exe\r\n",
                {L"line 2: CPU digits \"10\" are out of order or repeated; the program reads the affinity back as \"01\""}},
    WarningCase{"repeated", 4, true, "a\t00\tHigh\tC:\\Apps\\Tool.exe\r\n", {L"write \"0\", the order that settles"}},
    WarningCase{"digits_beyond_the_pc", 2, true, "a\t0123\tHigh\tC:\\Apps\\Tool.exe\r\n",
                {L"a failure is counted on every scan; the list form \"0-3\" fits every PC (each PC takes the processors of "
                 L"it that it has)"}},
    WarningCase{"absent_processor", 2, true, "a\t13\tHigh\tC:\\Apps\\Tool.exe\r\n",
                {L"CPU digits \"13\" name processor 3, which this machine lacks (it has processors 0-1): Windows refuses the "
                 L"setting, and a failure is counted on every scan; for processor 13 alone (on a PC that has it) write \"13;\""}},
    WarningCase{"digit_equal_to_the_count", 2, true, "a\t2\tHigh\tC:\\Apps\\Tool.exe\r\n",
                {L"name processor 2, which this machine lacks (it has processors 0-1): Windows refuses the setting, and a failure is counted on every scan"}},
    WarningCase{"digits_beyond_one_processor", 1, true, "a\t92\tHigh\tC:\\Apps\\Tool.exe\r\n",
                {L"name processors 2;9, which this machine lacks (it has processor 0): Windows refuses the setting, and a "
                 L"failure is counted on every scan"}},
    WarningCase{"above_what_is_read_back", 10, true, "a\t08\tHigh\tC:\\Apps\\Tool.exe\r\n", {L"above 7 (8)"}},
    WarningCase{"not_digits", 4, true, "a\t1 a\tHigh\tC:\\Apps\\Tool.exe\r\n", {L"not digits (\" a\"), each taken as processor 0"}},
    WarningCase{"no_digits", 4, true, "a\t\tHigh\tC:\\Apps\\Tool.exe\r\nb\tall\tHigh\tC:\\Program Files\\Tool.exe\r\n",
                {L"line 2: no CPU digits: the program sets processor 0 alone, and since the text never equals what it "
                 L"reads back, again and counted on every scan: write \"Default\" to leave the processors alone",
                 L"line 3: CPU digits \"all\" hold no digit: the program sets processor 0 alone"}},
    WarningCase{"words_people_write", 4, true, "a\t default\t high \tC:\\Apps\\Tool.exe\r\nb\tDEFAULT\tBelow normal\t"
                "C:\\Program Files\\Tool.exe\r\nc\t0\tidle\tC:\\Apps\\Big64.EXE\r\n", {}},
    WarningCase{"longer_word", 4, true, "a\t0\tAbovenorm\tC:\\Apps\\Tool.exe\r\n", {L"likely meant: \"Above\""}},
    WarningCase{"unknown_word", 4, true, "a\t0\tTurbo\tC:\\Apps\\Tool.exe\r\n", {L"none of them is close"}},
    WarningCase{"real_needs_rights", 4, true, "a\t0\tRealtime\tC:\\Apps\\Tool.exe\r\n", {L"without it Windows gives High"}},
    WarningCase{"same_path_twice", 4, true, "a\t0\tLow\tC:\\Apps\\Tool.exe\r\n\"b\t9\tx\tC:\\Apps\\Tool.exe\"\r\n",
                {L"line 3: this Path is already named on line 2"}},
    // Letter case never counts (once warned of as compared case-sensitively: mended), nor makes
    // a short name or another final name of a path; two lines in other case name one program.
    WarningCase{"letter_case", 4, true, "a\t0\tLow\tc:\\apps\\TOOL.exe\r\nc\t0\tLow\tC:\\APPS\\tool.EXE\r\n",
                {L"line 3: this Path is already named on line 2 (letter case does not count)"}},
    WarningCase{"patterns", 4, true, "a\t0\tLow\tC:\\Apps\\*.exe\r\nb\t0\tLow\tC:\\apps\\Tool.exe\r\n"
                "c\t0\tLow\t**\\obs64.exe\r\nd\t0\tLow\tC:\\*\\x.exe\r\n",
                {L"line 3: this Path is never used: the pattern on line 2 matches its program first",
                 L"line 4: Path pattern \"**\\obs64.exe\" is refused and matches nothing: a pattern must start with a drive",
                 L"line 5: Path pattern \"C:\\*\\x.exe\" is refused"}},
    WarningCase{"never_a_program", 4, true, "a\t0\tLow\tC:\\Users\\Public\\Desktop\\Game.lnk\r\n"
                "b\t0\tLow\tC:\\Games\r\nc\t0\tLow\tC:\\Apps\\readme.txt\r\nd\t0\tLow\tC:\\Apps\\Tool\r\n"
                "e\t0\tLow\t\\\\server\\share\\Tool\r\n",
                {L"line 2: Path \"C:\\Users\\Public\\Desktop\\Game.lnk\" is a shortcut; name the program it starts, from its Properties, Target",
                 L"line 3: Path \"C:\\Games\" is a folder, not a program; name a program in it, or match them all with \"C:\\Games\\*.exe\"",
                 L"line 4: Path \"C:\\Apps\\readme.txt\" is a file but not a program (.exe)",
                 L"write \"C:\\Apps\\Tool.exe\"", L"line 6: Path \"\\\\server\\share\\Tool\""}},
    // A program's file where a folder should be: Windows says the path is missing (error 3), not unreadable.
    WarningCase{"a_program_for_a_folder", 4, true, "a\t0\tLow\tC:\\Apps\\Tool.exe\\x.exe\r\n",
                {L"line 2: Path \"C:\\Apps\\Tool.exe\\x.exe\" names no file that exists"}},
    WarningCase{"final_name_past_max_path", 4, true, "a\t0\tLow\tS:\\" + std::string(250, 'l') + ".exe\r\n",
                {L"is not the name Windows gives that file (a subst or mapped drive letter, a junction or a symbolic link is "
                 L"on the way); running programs are known by that name: write \"C:\\Apps\\llllllll"}},
    WarningCase{"short_name", 4, true, "a\t0\tLow\tC:\\PROGRA~1\\Tool.exe\r\n",
                {L"not the file's long form (a short 8.3 name?); running programs are known by the long form: "
                 L"write \"C:\\Program Files\\Tool.exe\""}},
    WarningCase{"missing_file", 4, true, "a\t0\tLow\tC:\\Apps\\Gone.exe\r\n", {L"names no file that exists"}},
    // Never reached: a favourite is no reason to log on to a server or connect to a pipe as the checker.
    WarningCase{"shares_and_network_drives", 4, true,
                "a\t0\tLow\t\\\\server\\share\\Gone.exe\r\nb\t0\tLow\tN:\\Tool.exe\r\nc\t0\tLow\tQ:\\Tool.exe\r\n"
                "d\t0\tLow\t\\\\?\\UNC\\server\\share\\Tool.exe\r\ne\t0\tLow\t\\\\s\\share\\Tool.exe\r\n",
                {L"line 2: Path \"\\\\server\\share\\Gone.exe\" is on a share or a network drive: the doctor does not look",
                 L"line 3: Path \"N:\\Tool.exe\" is on a share or a network drive",
                 L"line 4: Path \"Q:\\Tool.exe\" is on drive Q:, which Windows reports as no local drive",
                 L"line 5: Path \"\\\\?\\UNC\\server\\share\\Tool.exe\" is on a share",
                 L"line 6: Path \"\\\\s\\share\\Tool.exe\" is on a share"}, std::nullopt, true},
    WarningCase{"pipes_devices_and_reserved_names", 4, true,
                "a\t0\tLow\t\\\\?\\pipe\\jr\r\nb\t0\tLow\t\\\\?\\GLOBALROOT\\Device\\Null\r\nc\t0\tLow\t\\\\?\\Volume{0}\\a.exe\r\n"
                "a\t0\tLow\tC:\\Apps\\CON\r\nb\t0\tLow\tC:\\Apps\\nul.exe\r\nc\t0\tLow\tC:\\Apps\\Com9 .tar.gz\r\nd\t0\tLow\tC:\\Apps\\lpt1\r\n"
                "e\t0\tLow\tC:\\Apps\\COM1:\r\nf\t0\tLow\tC:\\Apps\\NUL:\r\ng\t0\tLow\tC:\\Apps\\LPT1:.txt\r\nh\t0\tLow\tC:\\Apps\\CON:.exe\r\n"
                "i\t0\tLow\tC:\\Apps\\COM\xB9\r\nj\t0\tLow\tC:\\Apps\\lpt\xB3.exe\r\nk\t0\tLow\tC:\\Apps\\PRN\r\n"
                "l\t0\tLow\t\\\\.\\C:\\Apps\\*.exe\r\nm\t0\tLow\t\\\\?\\1:\\Apps\\Tool.exe\r\n",
                {L"line 2: Path \"\\\\?\\pipe\\jr\" names a device or a pipe, not a file on a drive: refused",
                 L"line 3: Path \"\\\\?\\GLOBALROOT", L"line 4: Path \"\\\\?\\Volume{0}",
                 L"line 5: Path \"C:\\Apps\\CON\" ends in a reserved device name", L"line 6:", L"line 7:", L"line 8:",
                 L"line 9: Path \"C:\\Apps\\COM1:\" ends in a reserved", L"line 10: Path \"C:\\Apps\\NUL:\" ends in a reserved",
                 L"line 11: Path \"C:\\Apps\\LPT1:.txt\" ends", L"line 12: Path \"C:\\Apps\\CON:.exe\" ends",
                 L"line 13: Path \"C:\\Apps\\COM\u00B9\" ends", L"line 14: Path \"C:\\Apps\\lpt\u00B3.exe\" ends",
                 L"line 15: Path \"C:\\Apps\\PRN\" ends", L"line 16: Path pattern \"\\\\.\\C:\\Apps\\*.exe\" is refused and matches nothing: \"\\\\?\\\" and",
                 L"line 17: Path \"\\\\?\\1:\\Apps\\Tool.exe\" names a device"},
                std::nullopt, true},
    // Characters that reorder or hide text are spelled out; a Persian name's joiner too, in a report.
    WarningCase{"invisible_characters", 4, true,
                "a\t0\tLow\tC:\\Apps\\x\xE2\x80\xAE" "exe.txt\r\nb\t0\tLow\tC:\\Apps\\a\xE2\x80\x8B" "b\xC2\x9B\xC2\x9F\xE2\x80\x8C.exe\r\n",
                {L"line 2: Path \"C:\\Apps\\x\\u202Eexe.txt\" names no file",
                 L"line 3: Path \"C:\\Apps\\a\\u200Bb\\u009B\\u009F\\u200C.exe\" names no file"}},
    WarningCase{"not_a_full_path", 4, true, "a\t0\tLow\tTool.exe\r\nb\t0\tLow\tC:\\Apps\\..\\Apps\\Tool.exe\n",
                {L"line 2: Path \"Tool.exe\" is not a plain full path", L"line 3: Path"}},
    WarningCase{"empty_path", 4, true, "a\t0\tLow\t\r\n", {L"the Path is empty"}},
    // The 32-bit program reads 64-bit programs' paths as well.
    WarningCase{"64_bit_seen_by_32_bit", 4, true, "a\t0\tLow\tC:\\Apps\\Big64.exe\r\n", {}},
    WarningCase{"subst_drive", 4, false, "a\t0\tLow\tS:\\Tool.exe\r\n",
                {L"Path \"S:\\Tool.exe\" is not the name Windows gives that file (a subst or mapped drive letter, a "
                 L"junction or a symbolic link is on the way); running programs are known by that name: write "
                 L"\"C:\\Apps\\Tool.exe\""}},
    // Adding a folder makes room for a program only where a pattern goes deeper; adding a file only at its end.
    WarningCase{"reach_of_patterns", 4, false, "e\t0\tAbove\tC:\\Drop\\g.exe\r\nf\t0\tAbove\tC:\\Drop\\Sub\\g.exe\r\n"
                "a\t0\tAbove\tC:\\Lib\\A*\\g.exe\r\nb\t0\tAbove\tC:\\Drop\\**\\*.exe\r\nc\t0\tAbove\tC:\\Drop\\*.exe\r\n"
                "d\t0\tAbove\tC:\\Mods\\*\\bin\\g.exe\r\ng\t0\tAbove\tF:\\Tool.exe\r\n",
                {L"line 2: Path \"C:\\Drop\\g.exe\" names no file",
                 L"line 3: Path \"C:\\Drop\\Sub\\g.exe\": any user can make this program, and it gets Above from an elevated "
                 L"program: \"C:\\Drop\\Sub\" does not exist, and the folder \"C:\\Drop\" lets ordinary users add folders",
                 L"line 5: Path pattern \"C:\\Drop\\**\\*.exe\": any user can put a program where it matches, and it gets Above "
                 L"from an elevated program: the folder \"C:\\Drop\" lets ordinary users add folders"}},
    // Each program a pattern matches is checked as a file, never through a link; nothing it does not match.
    WarningCase{"walk_checks_the_programs_it_matches", 4, false, "a\t0\tAbove\tC:\\Kit\\*\\open.exe\r\nb\t0\tAbove\tC:\\Kit\\Sub\\*.exe\r\n"
                "c\t0\tAbove\tC:\\Kit\\**\\good.exe\r\nd\t0\tAbove\tC:\\Kit\\L*\\*.exe\r\ne\t0\tAbove\tC:\\Kit\\Sub\\*\\*.exe\r\n",
                {L"line 2: Path pattern \"C:\\Kit\\*\\open.exe\": any user can put a program where it matches, and it gets Above "
                 L"from an elevated program: the file \"C:\\Kit\\Sub\\open.exe\" lets ordinary users write it",
                 L"line 3: Path pattern \"C:\\Kit\\Sub\\*.exe\": any user can put",
                 L"line 5: Path pattern \"C:\\Kit\\L*\\*.exe\": any user may be able to put a program where it matches, and it "
                 L"gets Above from an elevated program: \"C:\\Kit\\Links\\lnk.exe\" is a junction or a link"}},
    // A pattern above takes the program, and with it the pattern's class: its file is still checked.
    WarningCase{"hidden_by_a_pattern", 4, false, "a\t0\tHigh\tC:\\Kit\\S*\\*.exe\r\nb\t0\tLow\tC:\\Kit\\Sub\\open.exe\r\n"
                "c\t0\tAbove\tC:\\Apps\\*.exe\r\nd\t0\tAbove\tC:\\Apps\\Tool.exe\r\n",
                {L"line 2: Path pattern", L"line 3: this Path is never used: the pattern on line 2",
                 L"line 3: Path \"C:\\Kit\\Sub\\open.exe\": any user can replace this program, and it gets High from an elevated "
                 L"program: the file \"C:\\Kit\\Sub\\open.exe\" lets ordinary users write it",
                 L"line 5: this Path is never used: the pattern on line 4"}},
    WarningCase{"walk_of_a_program_at_2_s", 4, false, "a\t0\tAbove\tC:\\Kit\\*.exe\r\n", {}, std::nullopt, false, {}, 0, 1000},
    WarningCase{"walk_of_a_program_past_2_s", 4, false, "a\t0\tAbove\tC:\\Kit\\*.exe\r\n", {L"stopped at \"C:\\Kit\\good.exe\""},
                std::nullopt, false, {}, 0, 1001},
    // A file users may write in a folder they may not: the rest of its checks go on; said once.
    WarningCase{"file_users_may_write", 4, false, "a\t0\tAbove\tC:\\Lib\\Aside\r\nb\t0\tAbove\tC:\\Lib\\Aside\r\n",
                {L"line 2: Path \"C:\\Lib\\Aside\": any user can replace", L"line 2: Path \"C:\\Lib\\Aside\" is a file but not a "
                 L"program", L"line 3: this Path is already named on line 2"}},
    // A stick or a card can be swapped.
    WarningCase{"removable_drive", 4, false, "a\t0\tAbove\tR:\\Tool.exe\r\n",
                {L"line 2: Path \"R:\\Tool.exe\": any user may be able to replace this program, and it gets Above from an elevated "
                 L"program: the drive R:, which is removable: whoever swaps its stick or card"}},
    WarningCase{"walk_of_10000_folders", 4, false, "a\t0\tAbove\tC:\\Wide\\**\\*.exe\r\n", {}, std::nullopt, false, {}, 9999},
    WarningCase{"walk_past_10000_folders", 4, false, "a\t0\tAbove\tC:\\Wide\\**\\*.exe\r\n",
                {L"any user may be able to put a program where it matches, and it gets Above from an elevated program: it "
                 L"reaches more than 10000 folders or took more than 2 s to check, so the doctor stopped at \"C:\\Wide\\"},
                std::nullopt, false, {}, 10000},
    WarningCase{"walk_of_2_s", 4, false, "a\t0\tAbove\tC:\\Wide\\**\\*.exe\r\n", {}, std::nullopt, false, {}, 1, 1000},
    WarningCase{"walk_past_2_s", 4, false, "a\t0\tAbove\tC:\\Wide\\**\\*.exe\r\n", {L"took more than 2 s"}, std::nullopt,
                false, {}, 2, 1000},
    WarningCase{"mapped_drive", 4, false, "a\t0\tLow\tM:\\Tool.exe\r\n", {L"write \"\\\\server\\share\\Tool.exe\""}},
    WarningCase{"64_bit_seen_by_64_bit", 4, false, "a\t0\tLow\tC:\\Apps\\Big64.exe\r\n", {}},
    // How people really write them.
    WarningCase{"blank_before_digits", 4, true, "a\t 1\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"CPU digits \" 1\" have a blank at an end, which is taken as processor 0 and never equals what the "
                 L"program reads back, so it is set again and counted on every scan: write \"1\""}},
    WarningCase{"blank_after_path", 4, true, "a\t0\tLow\tC:\\Apps\\Tool.exe \r\n",
                {L"has a blank at its end, which a running program's path never has, so it never matches: write "
                 L"\"C:\\Apps\\Tool.exe\""}},
    // The loader takes the path out of the quotes; an opening quote alone still counts as part of it.
    WarningCase{"copy_as_path_quotes", 4, true, "a\t0\tLow\t\"C:\\Apps\\Tool.exe\"\r\nb\t0\tLow\t\"C:\\Apps\\Big64.exe\r\n",
                {L"line 3: Path \"\"C:\\Apps\\Big64.exe\" is in double quotes (as Explorer's \"Copy as path\" gives it); the "
                 L"quotes count as part of the path, so it never matches: remove the quotes: \"C:\\Apps\\Big64.exe\""}},
    WarningCase{"forward_slashes", 4, true, "a\t0\tLow\tC:/Apps/Tool.exe\r\n",
                {L"has forward slashes; Windows names running programs with backslashes: write \"C:\\Apps\\Tool.exe\""}},
    WarningCase{"path_name_expanded", 4, false, "a\t0\tLow\t%ProgramData%\\Tool.exe\r\n",
                {L"line 2: Path \"C:\\ProgramData\\Tool.exe\" names no file"}},
    // A name the program expands comes from Windows, never from the environment (ProgramFiles is set there).
    WarningCase{"variable", 4, true, "a\t0\tLow\t%OneDrive%\\Tool.exe\r\nb\t0\tLow\t%Nowhere%\\T.exe\r\n"
                "c\t0\tLow\t%ProgramFiles%\\T.exe\r\n",
                {L"line 4: \"%ProgramFiles%\\T.exe\": Windows gives no value for %ProgramFiles% here, so this line matches nothing",
                 L"holds %OneDrive%, which the program does not expand: write \"C:\\Users\\me\\OneDrive\\Tool.exe\"",
                 L"line 3: Path \"%Nowhere%\\T.exe\" holds %Nowhere%, which the program does not expand: no such"}},
    // The program's own decision on its own folded text (a dotless "\u0131" folds to "I"), and which rule applied.
    WarningCase{"refusals_as_the_program_decides", 4, false, "e\t0\tHigh\tC:\\Windows\\Tasks\\x.exe\r\n"
                "a\t0\tHigh\tC:\\Windows/Tasks\\*.exe\r\nb\t0\tBelow\tC:\\Windows\\Tasks\\*.exe\r\n"
                "c\t0\tLow\tC:\\Users\\Publ\xC4\xB1" "c\\*.exe\r\nd\t0\tLow\t\\\\?\\C:\\Apps\\*.exe\r\n"
                "f\t0\tHigh\tC:\\Users\\*\\G\\**\\*.exe\r\n",
                {L"line 2: Path \"C:\\Windows\\Tasks\\x.exe\" names no file that exists",
                 L"line 3: Path pattern \"C:\\Windows/Tasks\\*.exe\" is refused and matches nothing: it raises its programs "
                 L"(\"High\") and reaches below the Windows folder (\\Windows on any drive, and C:\\WINDOWS here)",
                 L"line 4: Path pattern \"C:\\Windows\\Tasks\\*.exe\" reaches below the Windows folder, where ordinary "
                 L"users can add programs; it is taken because it only lowers",
                 L"line 5: Path pattern \"C:\\Users\\Publ\u0131c\\*.exe\" is refused and matches nothing: it reaches "
                 L"folders Windows lets every user write",
                 L"line 6: Path pattern \"\\\\?\\C:\\Apps\\*.exe\" is refused",
                 // Refused, it is walked no further: no word of the folder users can write below it.
                 L"line 7: Path pattern \"C:\\Users\\*\\G\\**\\*.exe\" is refused and matches nothing: it reaches folders"}},
    WarningCase{"long_path_prefix", 4, true, "a\t0\tLow\t\\\\?\\C:\\Apps\\Tool.exe\r\n", {}},
    WarningCase{"letters_the_code_page_lost", 4, true, "a\t0\tLow\tC:\\??\\Tool.exe\r\n",
                {L"holds \"?\", which no file name holds: an ANSI profile keeps a \"?\" of each letter its code page "
                 L"cannot hold; save the profile as UTF-8"}},
    WarningCase{"lists_that_read", 16, false, "a\t8-15\tLow\tC:\\Apps\\Tool.exe\r\nb\tp;0\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"line 3: this Path is already named"}},
    WarningCase{"list_backwards", 16, false, "a\t15-8\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"CPUs \"15-8\": the range \"15-8\" is written backwards (write \"8-15\"): the program sets nothing and counts"}},
    WarningCase{"list_past_63", 16, false, "a\t0-64\tLow\tC:\\Apps\\Tool.exe\r\n", {L"\"0-64\" goes past 63"}},
    WarningCase{"list_unknown_name", 16, false, "a\t1;x\tLow\tC:\\Apps\\Tool.exe\r\n", {L"\"x\" is no name the program knows (P, E or C)"}},
    WarningCase{"list_empty_item", 16, false, "a\t1;;2\tLow\tC:\\Apps\\Tool.exe\r\n", {L"\"\" is neither a processor number"}},
    WarningCase{"list_beyond_the_machine", 16, false, "a\t8-23\tLow\tC:\\Apps\\Tool.exe\r\n", {}},
    WarningCase{"list_beyond_32_processors", 0, false, "a\t0-63\tLow\tC:\\Apps\\Tool.exe\r\n",
                kMaskBits == 64 ? std::vector<const wchar_t*>{} : std::vector<const wchar_t*>{L"names processors from 32 up"},
                FakePlatform::Machine::OneKind64},
    WarningCase{"list_in_another_group", 0, false, "a\t20-29\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"CPUs \"20-29\" names processors 28-29, in another processor group than the program's (it has processors "
                 L"0-27), which a hard affinity cannot reach: Windows refuses the setting"}, FakePlatform::Machine::HybridTwoGroups56},
    WarningCase{"e_without_efficiency_cores", 16, false, "a\tE\tLow\tC:\\Apps\\Tool.exe\r\nb\tE;0\tLow\tC:\\Program Files\\Tool.exe\r\n", {}},
    WarningCase{"e_on_a_hybrid_machine", 0, false, "a\tE\tLow\tC:\\Apps\\Tool.exe\r\n", {}, FakePlatform::Machine::Hybrid28},
    WarningCase{"example_hybrid", 0, false, examples::kMyFavsHybrid, {}, FakePlatform::Machine::Hybrid28,
                false, {L"C:\\Program Files\\Example Game\\game.exe", L"C:\\Program Files\\Example Encoder\\encoder.exe",
                        L"C:\\Program Files\\Example Backup\\backup.exe",
                        L"C:\\Program Files\\Example Indexer\\indexer.exe", L"C:\\Program Files\\Example DAW\\daw.exe"},
                0, 0, true},
    WarningCase{"example_two_dies", 0, false, examples::kMyFavsTwoDies, {}, FakePlatform::Machine::TwoDie32,
                false, {L"C:\\Program Files\\Example Game\\game.exe",
                        L"C:\\Program Files\\Example Simulator\\simulator.exe",
                        L"C:\\Program Files\\Example Encoder\\encoder.exe"}, 0, 0, true},
    WarningCase{"digits_equal_to_the_count_are_no_number", 12, false, "a\t12\tLow\tC:\\Apps\\Tool.exe\r\n", {}},
    WarningCase{"cpu_set_digits_and_beyond", 4, false, "a\t~01\tLow\tC:\\Apps\\Tool.exe\r\nb\t~2-5\tLow\tC:\\Program Files\\Tool.exe\r\n"
                "c\t~ 01\tLow\tC:\\Apps\\Big64.exe\r\nd\t~3\tLow\tC:\\Apps\\Three.exe\r\n",
                {L"CPUs \"~01\" is processor 1: after \"~\" every number is a processor number, not CPU digits; for "
                 L"processors 0-1 write \"~0-1\"", L"CPUs \"~ 01\" is processor 1"}, std::nullopt, false, {L"C:\\Apps\\Three.exe"}},
    WarningCase{"power_words", 4, false, "a\t0\tHigh+Eco\tC:\\Apps\\Tool.exe\r\nb\t0\tLow+Turbo\tC:\\Program Files\\Tool.exe\r\n"
                "c\t0\tReal+Eco\tC:\\Apps\\Big64.exe\r\n",
                {L"line 2: priority \"High+Eco\" asks for speed and for slowness at once",
                 L"line 3: priority \"Low+Turbo\": \"Turbo\" is no power word (Eco or NoEco)",
                 L"line 4: priority \"Real+Eco\" asks for speed and for slowness at once", L"line 4: priority \"Real\""}},
    WarningCase{"digits_meant_as_one_number", 16, false, "a\t10\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"CPUs \"10\" are CPU digits, one processor each: processors 0-1, written \"01\"; for processor 10 alone write \"10;\""}},
    WarningCase{"digits_past_seven_meant_as_one_number", 20, false, "a\t19\tLow\tC:\\Apps\\Tool.exe\r\n",
                {L"for processor 19 alone write \"19;\"", L"above 7 (9)"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(NumberHint, OnlyForTwoDigitsNamingAListProcessorThisMachineLacks) {
    struct { const wchar_t* digits; Dword processors; bool hinted; } cases[] = {
        {L"12", 2, true}, {L"63", 2, true}, {L"64", 2, false}, {L"92", 1, false}, {L"3", 2, false},
        {L"12", 13, false}, {L"12", 12, true}, {L"1:", 32, false}, {L"1:", 2, false}, {L"1/", 2, false}, {L":1", 2, false}, {L"05", 2, false}, {L"123", 2, false},
    };
    for (const auto& c : cases) {
        Machine machine;
        machine.Processors = c.processors;
        EXPECT_EQ(!NumberHint(c.digits, machine).empty(), c.hinted) << c.digits << "/" << c.processors;
    }
}

constexpr char kUser[] = "S-1-5-21-1-2-3-1001", kUsers[] = "S-1-5-32-545", kEveryone[] = "S-1-1-0",
               kAuthenticated[] = "S-1-5-11", kAdmins[] = "S-1-5-32-544";
constexpr Dword kModify = 0x1301BF, kAll = 0x10000000;
constexpr std::uint8_t kAllow = 0, kDeny = 1, kInheritedOnly = 0x0B;  // object, container, inherit-only
using Aces = std::vector<FakeAce>;

struct AccessCase {
    const char* name;
    ObjectKind kind;
    const char* owner;
    std::optional<Aces> dacl;      // nothing: a NULL DACL
    std::optional<Dword> rights;   // what ordinary users may do that replaces; nothing: not read
    std::size_t cut = 0;           // bytes missing at the end
    std::uint8_t firstAceSize = 0;  // what the first entry claims as its size; 0: its own
};

class AccessTest : public ::testing::TestWithParam<AccessCase> {};

TEST_P(AccessTest, FindsWhatOrdinaryUsersMayDo) {
    const AccessCase& c = GetParam();
    std::vector<std::uint8_t> bytes = SecurityDescriptor(c.owner, c.dacl);
    bytes.resize(bytes.size() - c.cut);
    if (c.firstAceSize) bytes[bytes[16] + 8 + 2] = c.firstAceSize;  // after the ACL's 8-byte header
    EXPECT_EQ(RightsOrdinaryUsersHold(bytes, c.kind), c.rights);
}

INSTANTIATE_TEST_SUITE_P(Table, AccessTest, ::testing::Values(
    AccessCase{"program_files", ObjectKind::Folder, "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",
               Aces{{kAllow, 0, 0x1F01FF, kAdmins}, {kAllow, 0, 0x1200A9, kUsers}, {kAllow, 0, kAll, "S-1-3-0"},
                    {kAllow, 0, kAll, "S-1-5-18"}}, 0u},
    AccessCase{"users_may_delete_what_it_holds", ObjectKind::Folder, kAdmins, Aces{{kAllow, 0, kFileDeleteChild, kUsers}},
               kFileDeleteChild},
    // A deny counts for the groups every user's token holds however they signed in, and only of the plain kind.
    AccessCase{"deny_of_authenticated_users_holds", ObjectKind::File, kAdmins,
               Aces{{kDeny, 0, kFileWriteData, kAuthenticated}, {kAllow, 0, kFileWriteData, kUsers}}, 0u},
    AccessCase{"deny_of_interactive_leaves_a_task", ObjectKind::File, kAdmins,
               Aces{{kDeny, 0, kFileWriteData, "S-1-5-4"}, {kAllow, 0, kFileWriteData, kUsers}}, kFileWriteData},
    AccessCase{"callback_deny_never_counts", ObjectKind::File, kAdmins,
               Aces{{10, 0, kFileWriteData, kEveryone}, {kAllow, 0, kFileWriteData, kUsers}}, kFileWriteData},
    AccessCase{"object_deny_never_counts", ObjectKind::File, kAdmins,
               Aces{{6, 0, kFileWriteData, kEveryone, 1}, {kAllow, 0, kFileWriteData, kUsers}}, kFileWriteData},
    // An allow whose condition or object type is not evaluated grants.
    AccessCase{"callback_allow_grants", ObjectKind::File, kAdmins, Aces{{9, 0, kAll, kEveryone}}, RightsThatReplace(ObjectKind::File)},
    AccessCase{"object_allow_grants", ObjectKind::File, kAdmins, Aces{{5, 0, kFileWriteData, kUsers, 2}}, kFileWriteData},
    AccessCase{"callback_object_allow_grants", ObjectKind::File, kAdmins, Aces{{11, 0, kDelete, kUsers, 1}}, kDelete},
    AccessCase{"object_allow_for_administrators", ObjectKind::File, kAdmins, Aces{{5, 0, kAll, kAdmins}}, 0u},
    // C:\ lets users add folders there, and what they make inherits the right to modify.
    AccessCase{"drive_root", ObjectKind::Folder, kAdmins,
               Aces{{kAllow, 0, kFileAppendData, kAuthenticated}, {kAllow, kInheritedOnly, kModify, kAuthenticated}}, 0u},
    AccessCase{"folder_made_at_the_root", ObjectKind::Folder, kUser, Aces{{kAllow, 0x10, kModify, kAuthenticated}},
               kFileWriteData | kDelete | kWriteDac},
    AccessCase{"deny_first_holds", ObjectKind::Folder, kAdmins,
               Aces{{kDeny, 0, kFileWriteData | kFileDeleteChild | kDelete, kEveryone}, {kAllow, 0, kAll, kUsers}},
               kWriteDac | kWriteOwner},
    AccessCase{"deny_after_allow_comes_late", ObjectKind::File, kAdmins,
               Aces{{kAllow, 0, kFileWriteData, kUsers}, {kDeny, 0, kFileWriteData, kEveryone}}, kFileWriteData},
    AccessCase{"deny_for_the_owner_alone", ObjectKind::File, kAdmins,
               Aces{{kDeny, 0, kFileWriteData, "S-1-3-4"}, {kAllow, 0, kFileWriteData, kUsers}}, kFileWriteData},
    AccessCase{"deny_of_one_group_leaves_others", ObjectKind::File, kAdmins,
               Aces{{kDeny, 0, kFileWriteData, "S-1-5-32-546"}, {kAllow, 0, kFileWriteData, kUsers}}, kFileWriteData},
    AccessCase{"generic_write_mapped", ObjectKind::File, kAdmins, Aces{{kAllow, 0, 0x40000000, kUsers}},
               kFileWriteData | kFileAppendData},
    AccessCase{"owner_rights_speak_for_the_owner", ObjectKind::File, kUser, Aces{{kAllow, 0, 0x120089, "S-1-3-4"}}, 0u},
    AccessCase{"null_dacl", ObjectKind::File, kAdmins, std::nullopt, RightsThatReplace(ObjectKind::File)},
    AccessCase{"empty_dacl", ObjectKind::File, kAdmins, Aces{}, 0u},
    AccessCase{"cut_short", ObjectKind::File, kAdmins, Aces{{kAllow, 0, kModify, kUsers}}, std::nullopt, 3},
    AccessCase{"entry_shorter_than_its_header", ObjectKind::File, kAdmins, Aces{{kAllow, 0, kModify, kUsers}}, std::nullopt, 0, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Where favourites live decides who picks what gets their priority.
TEST(UserAccess, WarnsOfProgramsAndFilesOrdinaryUsersCanReplace) {
    Doctor d;
    d.fake.programFiles[L"C:\\Games\\Game.exe"] = 0;
    d.fake.programFiles[L"E:\\Tool.exe"] = 0;
    d.fake.programFiles[L"C:\\Games\\Fast.exe"] = 0;
    d.fake.reparsePoints.insert(L"C:\\Games\\Lnk");
    d.fake.volumeFlags[L"E:\\"] = 0x3;  // FAT: no permissions kept
    d.fake.securityDescriptors[L"C:\\Games"] = SecurityDescriptor(kUser, Aces{{kAllow, 0x10, kModify, kAuthenticated}});
    d.fake.securityDescriptors[L"C:\\Apps\\Marrowbine\\My Favs 1"] =
        SecurityDescriptor(kAdmins, Aces{{kAllow, 0, kFileAppendData, kUsers}});
    d.fake.securityDescriptors[L"C:\\"] = SecurityDescriptor(kAdmins, Aces{{kAllow, 0, kFileAppendData, kUsers}});
    for (const wchar_t* name : {L"MarrowbineJr.exe", L"MarrowbineJrCheck.exe", L"Marrowbine64.exe"}) {
        d.fake.programFiles[std::wstring(L"C:\\Apps\\Marrowbine\\") + name] = 0;  // moved in: the user owns them
        d.fake.securityDescriptors[std::wstring(L"C:\\Apps\\Marrowbine\\") + name] = SecurityDescriptor(kUser, Aces{});
    }
    // Only a favourite that raises its program warns: a class above Normal, or +NoEco.
    d.fake.files[kProfile] = "h\r\na\t0\tHigh\tC:\\Games\\Game.exe\r\nb\t0\tReal\tC:\\Games\\Fast.exe\r\n"
                             "c\t0\tAbove\tE:\\Tool.exe\r\nd\t0\tHigh\tC:\\Apps\\Tool.exe\r\ne\t0\tLow+NoEco\tC:\\Link\\Tool.exe\r\n"
                             "f\t0\tHigh\tC:\\Users\\me\\G\\**\\*.exe\r\ng\t0\tAbove normal\tC:\\Lib\\*\\g.exe\r\n"
                             "h\t0\tHigh\tC:\\No\\g.exe\r\ni\t0\tDefault+NoEco\tC:\\Games\\Lnk\\Tool.exe\r\n"
                             "j\t0\tEco\tC:\\Games\\Slow.exe\r\nk\t01\tBelow normal\tC:\\Lib\\*\\k.exe\r\n"
                             "l\tDefault\tNormal\tC:\\No\\Calm\\g.exe\r\n";
    ASSERT_EQ(d.Run(), 0);
    for (const wchar_t* says : {
             L"line 2: Path \"C:\\Games\\Game.exe\": any user can replace this program, and it gets High from an "
             L"elevated program: the folder \"C:\\Games\" lets ordinary users add files, delete it, change its permissions",
             L"  what to do: keep it in a folder only administrators can change, such as Program Files; for a program "
             L"that must stay where users can write (a game library), give it Normal or a lower class without +NoEco, or "
             L"accept the risk",
             L"line 3: Path \"C:\\Games\\Fast.exe\": any user can replace", L"it gets Real from an elevated program, ahead",
             L"line 4: Path \"E:\\Tool.exe\": any user can replace this program, and it gets Above from an elevated program: "
             L"the drive E:, which keeps no permissions (FAT or exFAT)",
             L"the profile \"C:\\Apps\\Marrowbine\\My Favs 1\": the file \"C:\\Apps\\Marrowbine\\My Favs 1\" lets ordinary "
             L"users append to it: any user can rewrite it",
             L"line 6: Path \"C:\\Link\\Tool.exe\": any user may be able to replace this program, and it gets EcoQoS kept "
             L"off (+NoEco) from an elevated program: \"C:\\Link\" is a junction or a link, which can lead anywhere, a share included",
             L"line 7: Path pattern \"C:\\Users\\me\\G\\**\\*.exe\": any user can put a program where it matches, and it "
             L"gets High from an elevated program: the folder \"C:\\Users\\me\\G\\A\\B\" lets ordinary users add files",
             L"line 8: Path pattern \"C:\\Lib\\*\\g.exe\": any user may be able to put a program where it matches, and it "
             L"gets Above from an elevated program", L"\"C:\\Lib\\Link\" is a junction",
             L"line 9: Path \"C:\\No\\g.exe\": any user can make this program, and it gets High from an elevated program: "
             L"\"C:\\No\" does not exist, and the folder \"C:\\\" lets ordinary users add folders",
             L"the program file \"C:\\Apps\\Marrowbine\\MarrowbineJr.exe\": the file \"C:\\Apps\\Marrowbine\\MarrowbineJr.exe\" "
             L"lets ordinary users change its permissions: any user can replace it", L"MarrowbineJrCheck.exe\": the file",
             L"Marrowbine64.exe\": the file",
             // Having warned of a folder, it looks no further below it: a link could be swapped in anywhere there.
             L"line 10: Path \"C:\\Games\\Lnk\\Tool.exe\": any user can replace this program, and it gets EcoQoS kept off "
             L"(+NoEco) from an elevated program: the folder \"C:\\Games\" lets", L"Warnings: 14."})
        EXPECT_TRUE(d.out.Has(says)) << d.out.All();
    // Lines 11 to 13 get only Eco, Below normal or Normal: no permission warning, and a missing
    // folder still said.
    for (const std::wstring& warning : d.out.Warnings()) {
        if (warning.find(L"any user") != std::wstring::npos) {
            EXPECT_LT(std::stoi(warning.substr(5)), 11) << d.out.All();
        }
    }
    EXPECT_TRUE(d.out.Has(L"line 13: Path \"C:\\No\\Calm\\g.exe\" names no file that exists")) << d.out.All();
    // Nothing past a junction, or below a folder, a drive, a pattern or a missing folder users can change, is looked at.
    for (const std::string& call : d.fake.calls)
        for (const char* past : {"C:\\Games\\", "E:\\Tool", "C:\\Link\\", "C:\\Lib\\Link\\", "C:\\Users\\me\\G\\A\\B\\", "C:\\No\\"})
            EXPECT_EQ(call.find(past), std::string::npos) << call;
}

// The shipped profile where any user may make C:\Example: only what raises its program warns
// (encoder, High; game, Above), never render at Below.
TEST(UserAccess, ShippedProfileWarnsOnlyWhereAFavouriteRaises) {
    Doctor d;
    d.fake.securityDescriptors[L"C:\\"] = SecurityDescriptor(kAdmins, Aces{{kAllow, 0, kFileAppendData, kUsers}});
    d.fake.files[kProfile] = examples::kMyFavs1;
    ASSERT_EQ(d.Run(), 0);
    std::vector<std::wstring> warned;
    for (const std::wstring& warning : d.out.Warnings())
        if (warning.find(L": any user can make this program") != std::wstring::npos) warned.push_back(warning.substr(0, 6));
    EXPECT_EQ(warned, (std::vector<std::wstring>{L"line 3", L"line 4"})) << d.out.All();
}

}  // namespace
}  // namespace mjr::doctor
