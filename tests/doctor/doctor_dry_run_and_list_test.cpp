// What the doctor says of the programs running now: the report's dry run (what one scan would
// do to each), what this machine's processors make of a CPU text, and --list's ready lines.
#include "doctor/doctor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "doctor/doctor_test_world.h"
#include "doctor/profile_lines.h"
#include "engine/affinity.h"
#include "engine/cpu_list.h"

namespace mjr::doctor {
namespace {

using testing::FakePlatform;
using testing::FakeProcess;

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

}  // namespace
}  // namespace mjr::doctor
