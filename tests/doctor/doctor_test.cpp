#include "doctor/doctor.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/affinity.h"
#include "engine/cpu_list.h"
#include "doctor/cpu_list_findings.h"
#include "doctor/profile_lines.h"
#include "doctor/user_access.h"
#include "example_profiles.h"
#include "platform/fake_platform.h"

namespace mjr::doctor {
namespace {

using testing::FakePlatform;
using testing::FakeAce;
using testing::FakeProcess;
using testing::SecurityDescriptor;

constexpr wchar_t kProfile[] = L"C:\\Apps\\Marrowbine\\My Favs 1";

struct Output : ReportWriter {
    std::vector<std::wstring> lines, errors;
    void Line(std::wstring_view text) override { lines.emplace_back(text); }
    void ErrorLine(std::wstring_view text) override { errors.emplace_back(text); }
    bool Has(std::wstring_view part) const {
        for (const auto& line : lines)
            if (line.find(part) != std::wstring::npos) return true;
        return false;
    }
    std::vector<std::wstring> Warnings() const {
        std::vector<std::wstring> found;
        for (const auto& line : lines)
            if (line.rfind(L"line ", 0) == 0) found.push_back(line);
        return found;
    }
    std::string All() const {
        std::string all;
        for (const auto& line : lines) all += std::string(line.begin(), line.end()) + "\n";
        return all;
    }
};

struct Doctor {
    FakePlatform fake;
    Output out;
    CheckerBuild build;
    Doctor() {
        fake.AddProcess(0, "");
        fake.AddProcess(4, "C:\\Apps\\Tool.exe");  // listed second: never scanned
        fake.programFiles = {{L"C:\\Apps\\Tool.exe", 0}, {L"C:\\Apps\\Big64.exe", kScs64BitBinary},
                             {L"C:\\Program Files\\Tool.exe", 0}};
        fake.longPaths[L"C:\\PROGRA~1\\Tool.exe"] = L"C:\\Program Files\\Tool.exe";
        fake.longPaths[L"C:\\Apps\\Gone.exe"] = std::nullopt;
        // S: is a subst of C:\Apps, and C:\Link a junction to C:\Apps.
        fake.programFiles[L"S:\\Tool.exe"] = 0;
        fake.finalPaths[L"S:\\Tool.exe"] = L"\\\\?\\C:\\Apps\\Tool.exe";
        fake.programFiles[L"C:\\Link\\Tool.exe"] = 0;
        // A name Windows gives in more than MAX_PATH characters: asked again with the room it says it needs.
        fake.programFiles[L"S:\\" + std::wstring(250, L'l') + L".exe"] = 0;
        fake.finalPaths[L"S:\\" + std::wstring(250, L'l') + L".exe"] = L"\\\\?\\C:\\Apps\\" + std::wstring(250, L'l') + L".exe";
        // Junctions; folders users add folders to (C:\Drop) or files to (C:\Mods\A, ...\B); F: cannot say what it is.
        fake.reparsePoints = {L"C:\\Link", L"C:\\Lib\\Link"};
        fake.directories = {L"C:\\Drop", L"C:\\Lib\\A", L"C:\\Lib\\Link\\x", L"C:\\Mods\\A\\x", L"C:\\Users\\me\\G\\A\\B\\C"};
        fake.files[L"C:\\Lib\\Aside"] = "x";  // a file users may write is no folder a pattern walks
        fake.securityDescriptors[L"C:\\Lib\\Aside"] = SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileWriteData, "S-1-5-32-545"}}});
        fake.securityDescriptors[L"C:\\Drop"] = SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileAppendData, "S-1-5-32-545"}}});
        for (const wchar_t* folder : {L"C:\\Mods\\A", L"C:\\Users\\me\\G\\A\\B"})
            fake.securityDescriptors[folder] = SecurityDescriptor("S-1-5-32-544", {{{0, 0, kFileWriteData, "S-1-5-32-545"}}});
        fake.programFiles[L"F:\\Tool.exe"] = 0;
        fake.volumeFlags[L"F:\\"] = kInvalidFileAttributes;
        fake.programFiles[L"M:\\Tool.exe"] = 0;
        fake.finalPaths[L"M:\\Tool.exe"] = L"\\\\?\\UNC\\server\\share\\Tool.exe";
        fake.programFiles[L"\\\\?\\C:\\Apps\\Tool.exe"] = 0;
        fake.directories.insert(L"C:\\Games");
        fake.programFiles[L"C:\\Games\\Sub\\Game.exe"] = 0;
        fake.files[L"C:\\Apps\\readme.txt"] = "x";
        // N: is a network drive, Q: one Windows has no kind for, R: a removable one.
        fake.driveTypes = {{L"N:\\", kDriveRemote}, {L"Q:\\", kDriveUnknown}, {L"R:\\", kDriveRemovable}};
        // C:\Kit: a program users may write in Sub, a file's link in Links.
        for (const wchar_t* program : {L"C:\\Kit\\good.exe", L"C:\\Kit\\Sub\\open.exe", L"C:\\Kit\\Links\\lnk.exe"})
            fake.programFiles[program] = 0;
        fake.reparsePoints.insert(L"C:\\Kit\\Links\\lnk.exe");
        fake.securityDescriptors[L"C:\\Kit\\Sub\\open.exe"] = fake.securityDescriptors[L"C:\\Lib\\Aside"];
    }
    int Run(std::vector<std::wstring> args = {}) { return RunDoctor(fake, args, build, out); }
};

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

TEST(DryRun, TellsWhatOneScanWouldDoAndChangesNothing) {
    Doctor d;
    d.fake.files[kProfile] = "h\r\na\t01\tHigh\tC:\\Apps\\Tool.exe\r\nb\t01\tHigh\tC:\\Apps\\Calm.exe\r\n"
                             "c\t7\tDefault\tC:\\Apps\\Refused.exe\r\nd\t default \tTurbo\tC:\\Apps\\Word.exe\r\n"
                             "e\t0\tLow\tC:\\Apps\\Guarded.exe\r\nf\t01\tLow\tC:\\Apps\\Slow.exe\r\n"
                             "g\t9\tDefault\tC:\\Apps\\Nine.exe\r\nh\t01\tHigh\tC:\\Apps\\W*.exe\r\n"
                             "i\t01\tHigh\tD:\\Games\\**\\*.exe\r\n";
    d.fake.AddProcess(100, "C:\\Apps\\Tool.exe").affinity = 0xF;
    d.fake.AddProcess(101, "C:\\Apps\\Calm.exe").priority = 0x80;
    d.fake.AddProcess(102, "C:\\Apps\\Locked.exe").grantedAccess = 0;
    d.fake.AddProcess(103, "C:\\Apps\\Refused.exe");
    d.fake.AddProcess(104, "C:\\Apps\\Word.exe");
    d.fake.AddProcess(105, "C:\\Apps\\Guarded.exe").grantedAccess = kProcessQueryLimitedInformation;
    d.fake.AddProcess(106, "C:\\Apps\\Gone.exe");  // its file gone: the kernel still names its image
    d.fake.AddProcess(107, "C:\\Apps\\Slow.exe").grantedAccess = kProcessQueryLimitedInformation;
    d.fake.AddProcess(108, "C:\\Apps\\Nine.exe");
    d.fake.AddProcess(109, "c:\\apps\\TOOL.exe");  // as a launcher spelt it
    ASSERT_EQ(d.Run(), 0);
    for (const wchar_t* says : {
             L"pid 4: C:\\Apps\\Tool.exe (line 2): listed among the first two processes, which a scan never looks at",
             L"pid 100: C:\\Apps\\Tool.exe (line 2): CPUs 0-3 (\"0123\"), priority Normal: a scan would set the affinity "
             L"to processors 0-1 (\"01\") and set the priority to High",
             L"pid 101: C:\\Apps\\Calm.exe (line 3): CPUs 0-1 (\"01\"), priority High: a scan changes nothing",
             L"pid 103: C:\\Apps\\Refused.exe (line 4): CPUs 0-1 (\"01\"), priority Normal: a scan would set the affinity "
             L"to processor 7 (\"7\"), which Windows refuses",
             L"pid 104: C:\\Apps\\Word.exe (line 5): CPUs 0-1, priority Normal: a scan would ask for the priority \"Turbo\", "
             L"which names no class, so Windows refuses it (a failure counted)",
             L"pid 105: C:\\Apps\\Guarded.exe (line 6): CPUs 0-1 (\"01\"), priority Normal: a scan would set the affinity "
             L"to processor 0 (\"0\") and set the priority to Low; its path is readable, it cannot be changed (run elevated)",
             L"pid 107: C:\\Apps\\Slow.exe (line 7): CPUs 0-1 (\"01\"), priority Normal: a scan would set the priority to "
             L"Low; its path is readable, it cannot be changed (run elevated)",
             L"pid 108: C:\\Apps\\Nine.exe (line 8): CPUs 0-1 (\"01\"), priority Normal: a scan would set the affinity "
             L"to processor 9 (\"9\"), which Windows refuses",
             L"pid 109: c:\\apps\\TOOL.exe (line 2): CPUs 0-1 (\"01\"), priority Normal: a scan would set the priority to High",
             L"Pattern \"D:\\Games\\**\\*.exe\" (line 10) matches no running program now.",
             L"Processes: 12 listed, 8 matching a favourite, 2 whose path could not be read.",
             L"Paths not read: pid 102, pid 106 (Gone.exe).",
             L"run it (and this check) as administrator"})
        EXPECT_TRUE(d.out.Has(says)) << d.out.All();
    EXPECT_EQ(d.fake.Find(100)->affinity, 0xFu);
    EXPECT_EQ(d.fake.Find(100)->priority, 0x20u);
    EXPECT_FALSE(d.out.Has(L"Pattern \"C:\\Apps\\W*.exe\"")) << d.out.All();
    EXPECT_FALSE(d.out.Has(L"Pattern \"C:\\Apps\\Tool.exe\"")) << d.out.All();  // an exact path is no pattern
    for (const std::string& call : d.fake.calls) {
        EXPECT_EQ(call.rfind("Set", 0), std::string::npos) << call;
        // Other processes are opened for querying, and for setting only where a set is due (105 is
        // the one refused); its own, for its token, as the program does.
        const bool opensAnother = call.rfind("OpenProcess(", 0) == 0 && call.find(",4000)") == std::string::npos;
        if (opensAnother) {
            EXPECT_TRUE(call.rfind("OpenProcess(0x1000,", 0) == 0 || call == "OpenProcess(0x1200,0,100)" ||
                        call == "OpenProcess(0x1200,0,103)" || call == "OpenProcess(0x1200,0,104)" ||
                        call == "OpenProcess(0x1200,0,105)" || call == "OpenProcess(0x1200,0,107)" ||
                        call == "OpenProcess(0x1200,0,108)" ||
                        call == "OpenProcess(0x1200,0,109)") << call;
        }
    }
    EXPECT_EQ(d.fake.OpenHandleCount(), 0u);
    EXPECT_EQ(d.fake.badCloses, 0u);
    EXPECT_EQ(d.fake.CallsNamed("NtQueryInformationProcess"), 0u);  // no parent read without a "children" line

    // Elevated already: the processes stay named, the advice to elevate goes.
    d.fake.elevated = true;
    d.out.lines.clear();
    ASSERT_EQ(d.Run(), 0);
    EXPECT_TRUE(d.out.Has(L"Paths not read: pid 102, pid 106 (Gone.exe).")) << d.out.All();
    EXPECT_FALSE(d.out.Has(L"as administrator")) << d.out.All();
    EXPECT_EQ(d.fake.OpenHandleCount(), 0u);
}

TEST(DryRun, ExplainsChildrenAndShowsEachOneWithItsChain) {
    Doctor d;
    d.fake.files[kProfile] = "h\r\nl\t01\tReal\tC:\\Apps\\Launcher.exe\tchildren\r\nm\t01\tBelow\tC:\\Apps\\Mild.exe\tchildren\r\n"
                             "t\t01\tAbove+NoEco\tC:\\Apps\\T\\*.exe\tchildren\r\nq\t01\tDefault+NoEco\tC:\\Apps\\Quiet.exe\tchildren\r\n"
                             "p\t01\tHigh\tC:\\Apps\\Plain.exe\tnote\r\n";
    d.fake.AddProcess(300, "C:\\Apps\\Launcher.exe").creationTime = 10;
    FakeProcess& game = d.fake.AddProcess(400, "C:\\Apps\\Game.exe");
    game.parentPid = 300, game.creationTime = 20, game.grantedAccess = kProcessQueryLimitedInformation;
    FakeProcess& crash = d.fake.AddProcess(500, "C:\\Apps\\Crash.exe");
    crash.parentPid = 400, crash.creationTime = 30;
    d.fake.longPaths[L"C:\\Apps\\Crash.exe"] = std::nullopt;  // shown by the kernel's name of its file
    d.fake.Find(4)->parentPid = 300;  // listed second: never scanned, so never placed
    ASSERT_EQ(d.Run(), 0);
    for (const wchar_t* says : {
             L"  line 2: what Launcher.exe starts gets the same placement, Realtime excepted",
             L"  line 4: what \"C:\\Apps\\T\\*.exe\" starts gets the same placement",
             L"line 2: any program of the user who runs Launcher.exe can name it as its parent when it starts (Windows "
             L"lets a program choose its parent), and so gets High from an elevated program",
             L"runs \"C:\\Apps\\T\\*.exe\" can name it", L"gets Above with EcoQoS kept off from", L"gets EcoQoS kept off from",
             L"pid 300: C:\\Apps\\Launcher.exe (line 2): CPUs 0-1 (\"01\"), priority Normal: a scan would set the "
             L"priority to Real",
             L"pid 500 Crash.exe, started by pid 400 Game.exe, started by pid 300 Launcher.exe (line 2): CPUs 0-1 (\"01\"), "
             L"priority Normal: a scan would set the priority to High",
             L"pid 400 Game.exe, started by pid 300 Launcher.exe (line 2): CPUs 0-1 (\"01\"), priority Normal: a scan would "
             L"set the priority to High (\"Real\"); it cannot be opened to change it (as a game's anti-cheat protection does): no "
             L"failure counted",
             L"Processes: 5 listed, 1 matching a favourite, 2 placed through the program that started them, 1 whose"})
        EXPECT_TRUE(d.out.Has(says)) << d.out.All();
    for (const wchar_t* never : {L"line 3: any program", L"line 6: any program"}) EXPECT_FALSE(d.out.Has(never)) << d.out.All();
    EXPECT_EQ(d.fake.OpenHandleCount(), 0u);
}

// A program started through "\\?\" by a name Win32 would tidy is no favourite's, and says so.
TEST(DryRun, AProcessRunUnderAnAliasOfAFavouritesPathMatchesNothing) {
    Doctor d;
    d.fake.files[kProfile] = "h\r\na\t0\tHigh\tC:\\Games\\game.exe\r\nb\t0\tLow\tC:\\Games\\*\r\n";
    d.fake.AddProcess(100, "").imagePath = L"C:\\Games.\\game.exe";
    d.fake.AddProcess(101, "").imagePath = L"C:\\Games\\game.exe:x";
    ASSERT_EQ(d.Run(), 0);
    for (const wchar_t* says : {L"pid 100: C:\\Games.\\game.exe: a name of its path ends in a dot or a blank, or holds a",
                                L"pid 101: C:\\Games\\game.exe:x: a name of its path",
                                L"Processes: 4 listed, 0 matching a favourite, 0 whose path could not be read."})
        EXPECT_TRUE(d.out.Has(says)) << d.out.All();
}

struct MachineCase {
    const char* name;
    FakePlatform::Machine machine;
    const char* cpus;                 // the favourite's CPU text
    Dword processMask;                // the matching process's mask now
    std::vector<const wchar_t*> says;  // parts of the report's lines
    bool noCpuSets = false;            // Windows before 10
    const char* priority = "Default";
    ProcessPowerThrottlingState power = {};  // the matching process's
    std::vector<const wchar_t*> never = {};    // parts no line holds
    Dword granted = 0xFFFFFFFF;                // the rights the process grants
    bool cpuSetsUnreadable = false;            // Windows cannot read a process's CPU sets back
};

class MachineTest : public ::testing::TestWithParam<MachineCase> {};

TEST_P(MachineTest, NamesTheProcessorKindsAndWhatAListNames) {
    Doctor d;
    const MachineCase& c = GetParam();
    d.fake.UseMachine(c.machine);
    d.fake.setCpuSetsCallMissing = c.noCpuSets;
    d.fake.getCpuSetsCallMissing = c.cpuSetsUnreadable;
    d.fake.files[kProfile] = std::string("h\r\na\t") + c.cpus + "\t" + c.priority + "\tC:\\Apps\\Game.exe\r\n";
    FakeProcess& game = d.fake.AddProcess(100, "C:\\Apps\\Game.exe");
    game.affinity = c.processMask;
    game.power = c.power;
    game.grantedAccess = c.granted;
    ASSERT_EQ(d.Run(), 0) << d.out.All();
    for (const wchar_t* says : c.says) EXPECT_TRUE(d.out.Has(says)) << d.out.All();
    for (const wchar_t* never : c.never) EXPECT_FALSE(d.out.Has(never)) << d.out.All();
}

INSTANTIATE_TEST_SUITE_P(Table, MachineTest, ::testing::Values(
    MachineCase{"one_kind", FakePlatform::Machine::OneKind16, "P", 0xFFFF,
                {L"Machine: 16 processors; CPU digits name processors 0 to 7 here, one digit each, and a list such as \"8-15\" "
                 L"the others (the program reads back CPU digits 0 to 7).", L"  line 2: CPUs \"P\": processors 0-15",
                 L"CPUs 0-15, priority Normal: a scan changes nothing"}},
    MachineCase{"hybrid", FakePlatform::Machine::Hybrid28, "P", 0xFFFFFFF,
                {L"Machine: 28 processors (performance 0-15, efficiency 16-27); CPU digits name",
                 L"  line 2: CPUs \"P\": processors 0-15", L"CPUs 0-27, priority Normal: a scan would set the affinity to processors 0-15"}},
    MachineCase{"two_dies", FakePlatform::Machine::TwoDie32, "C;24-31", 0x1,
                {L"Machine: 32 processors (the larger level-3 cache, 96 MB, serves 0-15; 32 MB the others)",
                 L"CPUs \"C;24-31\": processors 0-15;24-31", L"would set the affinity to processors 0-15;24-31"}},
    MachineCase{"refused_list", FakePlatform::Machine::OneKind16, "15-8", 0xFFFF,
                {L"CPUs \"15-8\": no processors: the list does not read", L"a scan would set no affinity, since the list"}},
    MachineCase{"two_groups", FakePlatform::Machine::TwoGroups128, "C", 0x1,
                {L"Machine: 2 processor groups, 64 processors in this one",
                 kMaskBits == 64 ? L"processors 0-63 of the group the program runs in" : L"processors 0-31 of the group"}},
    MachineCase{"cpu_sets_across_groups", FakePlatform::Machine::TwoGroups128, "~C;100", 0x1,
                {L"CPU sets (\"~\" before a list) number processors 0-127 across 2 processor groups, as Task Manager "
                 L"numbers them (group 0: 0-63, group 1: 64-127)",
                 L"  line 2: CPUs \"~C;100\": CPU sets 0-15;100; hard affinity left alone",
                 L"CPUs 0, priority Normal, no CPU sets: a scan would set the CPU sets to processors 0-15;100 (\"~C;100\"), "
                 L"17 CPU-set identifiers"},
                false, "Default", {}, {L"shuts out"}},
    MachineCase{"cpu_set_open_asks_the_limited_right", FakePlatform::Machine::OneKind16, "~6-9", 0xFFFF,
                {L"a scan would set the CPU sets to processors 6-9 (\"~6-9\"), 4 CPU-set identifiers"}, false, "Default", {},
                {L"cannot be opened", L"does not read", L"Power words ("}, kProcessSetLimitedInformation | kProcessQueryLimitedInformation},
    MachineCase{"hard_affinity_shuts_out_cpu_sets", FakePlatform::Machine::OneKind16, "~6-9", 0xFF,
                {L"a scan would set the CPU sets to processors 6-9 (\"~6-9\"), 4 CPU-set identifiers; its hard affinity shuts out "
                 L"processors 8-9 of the CPU sets, and Windows keeps the hard affinity"}},
    MachineCase{"e_on_two_processors", FakePlatform::Machine::OneKind2, "E", 0x3,
                {L"  line 2: CPUs \"E\": this PC has no efficiency processors; the processors are left alone",
                 L"CPUs 0-1, priority Normal: a scan changes nothing"}},
    MachineCase{"cpu_sets_beyond_two_processors", FakePlatform::Machine::OneKind2, "~0-7", 0x3,
                {L"  line 2: CPUs \"~0-7\": processors 2-7 do not exist here; CPU sets 0-1; hard affinity left alone"}},
    MachineCase{"cpu_sets_partly_here", FakePlatform::Machine::Hybrid28, "~E;40", 0x3,
                {L"  line 2: CPUs \"~E;40\": processor 40 does not exist here; CPU sets 16-27"}},
    MachineCase{"list_partly_beyond", FakePlatform::Machine::OneKind16, "8-23;E;40", 0xFFFF,
                {L"  line 2: CPUs \"8-23;E;40\": processors 16-23;40 do not exist here; this PC has no efficiency "
                 L"processors; processors 8-15", L"a scan would set the affinity to processors 8-15"}},
    MachineCase{"list_nothing_here", FakePlatform::Machine::OneKind2, "8-15", 0x3,
                {L"  line 2: CPUs \"8-15\": processors 8-15 do not exist here; the processors are left alone",
                 L"CPUs 0-1, priority Normal: a scan changes nothing"}},
    MachineCase{"cpu_set_unreadable", FakePlatform::Machine::OneKind2, "~1", 0x3, {L"Machine: 2 processors; CPU digits name "
                L"processors 0 to 1 here, one digit each (the program", L"CPU sets unreadable: a scan would set the CPU sets "
                L"to processor 1 (\"~1\"), and again on every scan of a series, since Windows cannot read them back here, 1 "
                L"CPU-set identifier"}, false, "Default", {}, {}, 0xFFFFFFFF, true},
    MachineCase{"cpu_sets_before_windows_10", FakePlatform::Machine::OneKind16, "~P", 0xFFFF,
                {L"CPU sets (\"~\" before a list): this Windows has none", L"line 2: CPUs \"~P\": CPU sets need Windows 10",
                 L"a scan would set no CPU sets, since this Windows lacks them (a failure counted)"}, true},
    MachineCase{"efficiency_mode", FakePlatform::Machine::OneKind16, "default", 0xFFFF,
                {L"  line 2: priority \"Eco\": Task Manager's Efficiency mode",
                 L"CPUs 0-15, priority Normal, EcoQoS as Windows decides: a scan would set the priority to Low and switch EcoQoS on"},
                false, "Eco"},
    MachineCase{"eco_joined", FakePlatform::Machine::OneKind16, "default", 0xFFFF,
                {L"priority \"Low+Eco\": EcoQoS on: Windows runs it slowly",
                 L"priority Normal, EcoQoS off: a scan would set the priority to Low and switch EcoQoS on"}, false, "Low+Eco", {1, 1, 0}},
    MachineCase{"noeco_joined", FakePlatform::Machine::OneKind16, "default", 0xFFFF,
                {L"priority \"High+NoEco\": never throttled: EcoQoS off and kept off",
                 L"priority Normal, EcoQoS on: a scan would set the priority to High and switch EcoQoS off for good"},
                false, "High+NoEco", {1, 1, 1}}),
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

// Programs in folders that follow the user or the PC are offered from the most specific one.
TEST(List, WritesAProgramFromTheFolderThatFollowsTheUserOrThePc) {
    Doctor d;
    d.fake.knownFolders[kFolderIdProgramData.Data1] = L"C:\\Users\\me\\AppData\\";  // inside %USERPROFILE% here
    for (const char* path : {"C:\\Users\\me\\AppData\\Local\\Chat\\chat.exe", "c:\\users\\me\\AppData\\x.exe",
                             "C:\\Users\\me\\y.exe", "C:\\WINDOWS\\system32\\svchost.exe", "C:\\Users\\meme\\z.exe"})
        d.fake.AddProcess(static_cast<Dword>(100 + d.fake.processes.size()), path).affinity = 0x1;
    ASSERT_EQ(d.Run({L"--list"}), 0);
    EXPECT_EQ(d.out.lines, (std::vector<std::wstring>{
                               L"Favourites listed by MarrowbineJrCheck --list (keep the lines you want)",
                               L"# Paths in folders that follow each user or PC are written from the most specific one: "
                               L"%LOCALAPPDATA% is C:\\Users\\me\\AppData\\Local, %USERPROFILE% is C:\\Users\\me, "
                               L"%SystemRoot% is C:\\WINDOWS, %ProgramData% is C:\\Users\\me\\AppData\\ here",
                               L"Tool.exe\t01\tDefault\tC:\\Apps\\Tool.exe\tpid 4",
                               L"chat.exe\t0\tDefault\t%LOCALAPPDATA%\\Chat\\chat.exe\tpid 102",
                               L"y.exe\t0\tDefault\t%USERPROFILE%\\y.exe\tpid 104",
                               L"z.exe\t0\tDefault\tC:\\Users\\meme\\z.exe\tpid 106",
                               L"svchost.exe\t0\tDefault\t%SystemRoot%\\system32\\svchost.exe\tpid 105",
                               L"x.exe\t0\tDefault\t%ProgramData%\\x.exe\tpid 103"}));
}

TEST(List, PrintsAProfileThatLoadsAndMatchesWhatRuns) {
    Doctor d;
    d.fake.AddProcess(100, "C:\\Apps\\Tool.exe").affinity = 0x2;  // again: one line per path
    d.fake.AddProcess(101, "C:\\Old, Games\\game.exe").affinity = 0xF;
    d.fake.AddProcess(102, "C:\\Apps\\Locked.exe").grantedAccess = 0;
    d.fake.AddProcess(103, "C:\\Apps\\Calm.exe").getAffinityFails = true;
    d.fake.AddProcess(104, "C:\\Apps\\Caf\xE9.exe").affinity = 0x1;
    // The whole mask: on processors 32-63 in the 64-bit program, 16-31 in the 32-bit one.
    d.fake.numberOfProcessors = 64;
    const bool wide = kMaskBits == 64;
    d.fake.AddProcess(105, "C:\\Apps\\Big.exe").affinity = wide ? static_cast<DwordPtr>(0xFFFFFFFF00000000u) : 0xFFFF0000u;
    // A pasted line could not show or keep a control, a format character (a Persian name's joiner
    // too) or half a surrogate pair; a character beyond U+FFFF (a whole pair on Windows) stays.
    d.fake.AddProcess(106, "").imagePath = L"C:\\Apps\\gnp\u202E.exe";
    d.fake.AddProcess(107, "").imagePath = L"C:\\Apps\\a\u200Cb.exe";
    d.fake.AddProcess(108, "").imagePath = L"C:\\Apps\\smile\U0001F600.exe";
    // Parents: alive and older, named; younger (its identifier since reused), by number alone.
    d.fake.Find(104)->parentPid = 100;
    d.fake.Find(105)->parentPid = 106;
    for (const wchar_t* broken : {L"C:\\Apps\\t\tb.exe", L"C:\\Apps\\c\rr.exe", L"C:\\Apps\\l\nf.exe", L"C:\\Apps\\l\u2028s.exe",
                                  L"C:\\Apps\\p\u2029s.exe", L"C:\\Apps\\b\x01" L".exe", L"C:\\Apps\\d\x7F" L".exe",
                                  L"C:\\Apps\\s\u00AD.exe", L"C:\\Apps\\o\uFEFF.exe", L"C:\\Apps\\n\u0600.exe",
                                  L"C:\\Apps\\q\xFFFE" L".exe", L"C:\\Apps\\r\xFFFF" L".exe", L"C:\\Apps\\h\xD800" L".exe",
                                  L"C:\\Apps\\l\xDFFF" L".exe"})
        d.fake.AddProcess(static_cast<Dword>(110 + d.fake.processes.size()), "").imagePath = broken;
    ASSERT_EQ(d.Run({L"--list"}), 0);
    EXPECT_EQ(d.out.lines, (std::vector<std::wstring>{
                               L"Favourites listed by MarrowbineJrCheck --list (keep the lines you want)",
                               (wide ? L"Big.exe\t32-63\tDefault\tC:\\Apps\\Big.exe" : L"Big.exe\t16-31\tDefault\tC:\\Apps\\Big.exe") +
                                   std::wstring(L"\tpid 105 parent 106"),
                               L"Caf\u00E9.exe\t0\tDefault\tC:\\Apps\\Caf\u00E9.exe\tpid 104 parent 100 Tool.exe",
                               L"Tool.exe\t01\tDefault\tC:\\Apps\\Tool.exe\tpid 4; pid 100",
                               L"smile\U0001F600.exe\t01\tDefault\tC:\\Apps\\smile\U0001F600.exe\tpid 108",
                               L"\"game.exe\t0123\tDefault\tC:\\Old, Games\\game.exe\tpid 101\""}));
    ASSERT_EQ(d.out.errors.size(), 16u);
    EXPECT_NE(d.out.errors[0].find(L"Left out: pid 106, \"C:\\Apps\\gnp\\u202E.exe\": its path holds U+202E"),
              std::wstring::npos);
    EXPECT_NE(d.out.errors[1].find(L"its path holds U+200C"), std::wstring::npos);
    EXPECT_NE(d.out.errors[14].find(L"\"C:\\Apps\\h\\uD800.exe\": its path holds U+D800"), std::wstring::npos);  // spelled out
    for (const FakeProcess& p : d.fake.processes) EXPECT_EQ(p.priority, 0x20u);
    EXPECT_EQ(d.fake.CallsNamed("Set"), 0u);
    EXPECT_EQ(d.fake.OpenHandleCount(), 0u);
}

TEST(List, WritesProcessorsAsAFavouriteDoes) {
    const std::pair<std::uint64_t, const wchar_t*> cases[] = {
        {0x3, L"01"}, {0x15, L"024"}, {0x80, L"7"}, {0x100, L"8;"}, {0xFF00, L"8-15"}, {0x1000, L"12;"}, {0x105, L"0;2;8"},
        {0xFFFFFFFF, L"0-31"}, {0x80000000, L"31;"}, {std::uint64_t{1} << 63, L"63;"}, {0x3300, L"8-9;12-13"}};
    CpuTopology machine64;
    machine64.AllMask = ~DwordPtr{0};
    machine64.PresentMask = ~std::uint64_t{0};
    for (const auto& [mask, text] : cases) {
        EXPECT_EQ(ProcessorsAsFavoriteText(mask), text) << mask;
        // and reads back as those processors, as a list or as CPU digits
        const std::uint64_t back = IsCpuList(text) ? CpuListToMask(text, machine64).mask
                                                   : static_cast<std::uint32_t>(DigitsToMask({BuildCpuBits(), 7}, text));
        if (mask <= ~DwordPtr{0}) {
            EXPECT_EQ(back, mask) << mask;
        }
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
    for (const std::wstring& warning : d.out.Warnings())
        if (warning.find(L"any user") != std::wstring::npos) EXPECT_LT(std::stoi(warning.substr(5)), 11) << d.out.All();
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
