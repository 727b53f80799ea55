// Which favourite a scan applies to a process (the first line whose path equals or matches its
// own), and the opens and sets that follow: hard affinity, priority class, CPU sets and power.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/enforce_pass_test_world.h"
#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;
using testing::FakeProcess;

TEST_F(Pass, CorrectsAMatchingProcessAndLeavesOthersAlone) {
    Favourite(L"C:\\Apps\\tool.exe", L"13", L"High");
    auto& tool = fake.AddProcess(200, "C:\\Apps\\tool.exe");
    auto& other = fake.AddProcess(201, "C:\\Apps\\other.exe");
    auto& cased = fake.AddProcess(202, "C:\\apps\\TOOL.exe");
    EnforcePass(m);
    EXPECT_EQ(fake.Find(200)->affinity, 0xAu);
    EXPECT_EQ(fake.Find(200)->priority, 0x80u);
    EXPECT_EQ(other.affinity, 0x3u);
    // Windows compares file names without regard to case (once compared case-sensitively: mended).
    EXPECT_EQ(cased.priority, 0x80u);
    EXPECT_EQ(m.FavoritesHit.Value(), 2);
    EXPECT_EQ(m.AffinityErrors.Value(), 0);
    EXPECT_EQ(m.PriorityErrors.Value(), 0);
    (void)tool;
}

TEST_F(Pass, OnlyTheFirstOfEqualPathsIsApplied) {
    Favourite(L"C:\\t.exe", L"1", L"Low");
    Favourite(L"C:\\t.exe", L"2", L"High");
    fake.AddProcess(200, "C:\\t.exe");
    EnforcePass(m);
    EXPECT_EQ(fake.Find(200)->affinity, 0x2u);
    EXPECT_EQ(fake.Find(200)->priority, 0x40u);
}

// Once an empty Path matched every process whose path could not be read, and the elevated
// program set that process: mended, an empty Path matches nothing.
TEST_F(Pass, AnEmptyPathMatchesNoProcess) {
    Favourite(L"", L"0", L"Low");
    fake.AddProcess(200, "C:\\ok.exe");
    fake.AddProcess(201, "C:\\locked.exe").imageNameFails = true;
    fake.AddProcess(202, "C:\\long.exe");
    fake.longPaths[L"C:\\long.exe"] = L"C:\\" + std::wstring(1100, L'x');
    EnforcePass(m);
    for (Dword pid : {200u, 201u, 202u}) {
        EXPECT_EQ(fake.Find(pid)->priority, 0x20u) << pid;
        EXPECT_EQ(fake.Find(pid)->affinity, 0x3u) << pid;
    }
    EXPECT_EQ(m.FavoritesHit.Value(), 0);
}

// Which line applies to which process: each favourite k asks for priority class Low, Below,
// Normal, Above or High by its position; 0 in `applied` means left alone.
struct MatchCase {
    const char* name;
    std::vector<const wchar_t*> favourites;
    std::vector<std::pair<const wchar_t*, int>> processes;  // path, the line (1-based) that applies
    std::size_t mappings = 0;    // the scan's upper-case mapping calls: ASCII paths need none
    bool mappingFails = false;   // Windows' upper-case mapping refuses
};

class MatchTest : public Pass, public ::testing::WithParamInterface<MatchCase> {};

TEST_P(MatchTest, TheFirstLineThatEqualsOrMatchesApplies) {
    static constexpr const wchar_t* kWords[] = {L"Low", L"Below", L"Normal", L"Above", L"High"};
    static constexpr Dword kClasses[] = {0x40, 0x4000, 0x20, 0x8000, 0x80};
    if (GetParam().mappingFails) fake.failingCalls.insert("LCMapStringW");
    for (std::size_t k = 0; k < GetParam().favourites.size(); ++k) Favourite(GetParam().favourites[k], L"01", kWords[k]);
    Dword pid = 200;
    for (const auto& [path, line] : GetParam().processes) {
        fake.AddProcess(pid, "x").imagePath = path;
        fake.Find(pid)->priority = 0x100;  // Realtime: no favourite here asks for it
        ++pid;
    }
    fake.ClearRecord();
    EnforcePass(m);
    EXPECT_EQ(fake.CallsNamed("LCMapStringW"), GetParam().mappings);
    pid = 200;
    for (const auto& [path, line] : GetParam().processes) {
        const Dword expected = line == 0 ? 0x100 : kClasses[line - 1];
        EXPECT_EQ(fake.Find(pid++)->priority, expected) << std::string(path, path + std::wcslen(path));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, MatchTest, ::testing::Values(
    MatchCase{"any_letter_case", {L"C:\\Tools\\Cased\\Tool.exe", L"C:\\Игры\\game.exe", L"C:\\Café\\x.exe"},
              {{L"c:\\tools\\cased\\tool.exe", 1}, {L"C:\\ИГРЫ\\GAME.EXE", 2}, {L"C:\\CAFÉ\\X.EXE", 3},
               {L"C:\\CAFE\\X.EXE", 0}, {L"C:\\TOOLS\\CASED\\TOOL\x7F.EXE", 0}},
              2},
    MatchCase{"a_refused_mapping_still_folds_a_to_z", {L"C:\\Café\\az.exe"},
              {{L"c:\\café\\AZ.exe", 1}, {L"C:\\CAFÉ\\AZ.EXE", 0}}, 2, true},
    MatchCase{"case_only_twins_name_one_program", {L"C:\\t.exe", L"C:\\T.EXE"}, {{L"C:\\T.exe", 1}}},
    MatchCase{"one_level_against_any_depth", {L"C:\\Games\\*\\bin\\game.exe", L"D:\\Games\\**\\*.exe"},
              {{L"C:\\Games\\Foo 1.2\\bin\\game.exe", 1}, {L"C:\\Games\\bin\\game.exe", 0},
               {L"C:\\Games\\a\\b\\bin\\game.exe", 0}, {L"d:\\games\\X.exe", 2},
               {L"D:\\Games\\a\\b\\c.EXE", 2}, {L"D:\\Games\\a\\b\\c.dll", 0}, {L"D:\\Other\\c.exe", 0}}},
    MatchCase{"first_line_wins_across_exact_and_pattern",
              {L"C:\\Apps\\one.exe", L"C:\\Apps\\*.exe", L"C:\\Apps\\two.exe", L"C:\\Apps\\one.exe"},
              {{L"C:\\Apps\\one.exe", 1}, {L"C:\\Apps\\two.exe", 2}, {L"C:\\Apps\\three.exe", 2}}},
    MatchCase{"refused_patterns_match_nothing", {L"**\\x.exe", L"C:\\*\\x.exe", L"*.exe", L"\\\\srv\\*\\x.exe"},
              {{L"C:\\A\\x.exe", 0}, {L"\\\\srv\\share\\x.exe", 0}}},
    MatchCase{"share_pattern", {L"\\\\srv\\share\\Tools\\*.exe"},
              {{L"\\\\SRV\\Share\\tools\\a.exe", 1}, {L"\\\\srv\\share\\a.exe", 0}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pass, AProcessThatEndsBeforeItsTurnIsPassedOver) {
    Favourite(L"C:\\t.exe", L"0", L"Low");
    fake.AddProcess(200, "C:\\t.exe").exited = true;
    EnforcePass(m);
    EXPECT_EQ(m.FavoritesHit.Value(), 0);
    EXPECT_EQ(m.AffinityErrors.Value(), 0);
    EXPECT_EQ(m.PriorityErrors.Value(), 0);
}

// One process, 200, against the favourite C:\t.exe "1" "High"; its opens, counts and state.
struct OpenCase {
    const char* name;
    std::function<void(FakePlatform&, FakeProcess&)> arrange;
    std::vector<std::string> opens;  // of identifier 200, in order
    std::int64_t affinityErrors, priorityErrors;
    Dword affinityAfter, priorityAfter;  // of whichever process holds 200 at the end
};

class OpenTest : public Pass, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(OpenTest, OneOpenToQueryASecondOnlyToSetTheSameProcess) {
    const OpenCase& c = GetParam();
    Favourite(L"C:\\t.exe", L"1", L"High");
    Favourite(L"C:\\\u0418\u0433\u0440\u044B\\game.exe", L"1", L"High");
    Favourite(L"", L"1", L"High");
    c.arrange(fake, fake.AddProcess(200, "C:\\t.exe"));
    EnforcePass(m);
    std::vector<std::string> opens;
    for (const std::string& call : fake.calls)
        if (call.rfind("OpenProcess", 0) == 0 && call.find(",0,200)") != std::string::npos) opens.push_back(call);
    EXPECT_EQ(opens, c.opens);
    EXPECT_EQ(fake.CallsNamed("EnumProcessModules") + fake.CallsNamed("GetModuleFileNameExA"), 0u);
    EXPECT_EQ(m.AffinityErrors.Value(), c.affinityErrors);
    EXPECT_EQ(m.PriorityErrors.Value(), c.priorityErrors);
    EXPECT_EQ(fake.Find(200)->affinity, c.affinityAfter);
    EXPECT_EQ(fake.Find(200)->priority, c.priorityAfter);
}

const std::string kQuery = "OpenProcess(0x1000,0,200)";
const std::string kSet = "OpenProcess(0x1200,0,200)";

INSTANTIATE_TEST_SUITE_P(Table, OpenTest, ::testing::Values(
    OpenCase{"both_due", [](FakePlatform&, FakeProcess&) {}, {kQuery, kSet}, 0, 0, 0x2, 0x80},
    OpenCase{"nothing_due", [](FakePlatform&, FakeProcess& p) { p.affinity = 0x2; p.priority = 0x80; },
             {kQuery}, 0, 0, 0x2, 0x80},
    OpenCase{"priority_due", [](FakePlatform&, FakeProcess& p) { p.affinity = 0x2; }, {kQuery, kSet}, 0, 0, 0x2, 0x80},
    OpenCase{"readable_not_settable",
             [](FakePlatform&, FakeProcess& p) { p.grantedAccess = kProcessQueryLimitedInformation; },
             {kQuery, kSet}, 1, 1, 0x3, 0x20},
    OpenCase{"identifier_reused_before_the_set",
             [](FakePlatform& f, FakeProcess&) {
                 f.onCall = [&f](const std::string& call) {
                     if (call == kSet) f.ReuseIdentifier(200, L"C:\\t.exe");
                 };
             },
             {kQuery, kSet}, 1, 1, 0x3, 0x20},
    OpenCase{"forged_module_path",
             [](FakePlatform&, FakeProcess& p) { p.imagePath = L"C:\\Users\\me\\forger.exe"; }, {kQuery}, 0, 0, 0x3, 0x20},
    OpenCase{"path_in_cyrillic",
             [](FakePlatform&, FakeProcess& p) { p.imagePath = L"C:\\\u0418\u0433\u0440\u044B\\game.exe"; },
             {kQuery, kSet}, 0, 0, 0x2, 0x80},
    // Its path unreadable: the empty Path no longer matches it (once it did, and counted a
    // failure for each set it could not prove: mended), so nothing is opened for setting.
    OpenCase{"not_even_queryable", [](FakePlatform&, FakeProcess& p) { p.grantedAccess = 0; }, {kQuery}, 0, 0, 0x3, 0x20}),
    [](const auto& info) { return std::string(info.param.name); });

// One scan of process 200 against C:\t.exe with a CPU-set or power text: the opens, the sets in
// order, the counts and the state after.
struct PlacementCase {
    const char* name;
    const wchar_t* cpus;
    const wchar_t* priority;
    std::function<void(FakePlatform&, FakeProcess&)> arrange;
    std::vector<std::string> opens;  // after the open for querying
    std::vector<std::string> sets;
    std::int64_t hits, affinityErrors, priorityErrors;
    std::vector<Dword> cpuSetsAfter;
    Dword powerControlAfter, powerStateAfter;
};

class PlacementTest : public Pass, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(PlacementTest, OpensSetsAndCounts) {
    const PlacementCase& c = GetParam();
    c.arrange(fake, fake.AddProcess(200, "C:\\t.exe"));
    m.Cpu.Topology = ReadCpuTopology(fake);
    Favourite(L"C:\\t.exe", c.cpus, c.priority);
    fake.ClearRecord();
    EnforcePass(m);
    std::vector<std::string> opens, sets;
    for (const std::string& call : fake.calls) {
        if (call.rfind("OpenProcess", 0) == 0 && call != kQuery && call.find(",0,200)") != std::string::npos)
            opens.push_back(call);
        if (call.rfind("Set", 0) == 0) sets.push_back(call);
    }
    EXPECT_EQ(opens, c.opens);
    EXPECT_EQ(sets, c.sets);
    EXPECT_EQ(m.FavoritesHit.Value(), c.hits);
    EXPECT_EQ(m.AffinityErrors.Value(), c.affinityErrors);
    EXPECT_EQ(m.PriorityErrors.Value(), c.priorityErrors);
    const FakeProcess& p = *fake.Find(200);
    EXPECT_EQ(p.defaultCpuSets, c.cpuSetsAfter);
    EXPECT_EQ(p.power.ControlMask, c.powerControlAfter);
    EXPECT_EQ(p.power.StateMask, c.powerStateAfter);
    EXPECT_EQ(p.affinity, 0x3u);  // CPU sets and power never touch the hard affinity
}

const std::string kCpuSetOpen = "OpenProcess(0x3000,0,200)";
const std::string kBothOpen = "OpenProcess(0x3200,0,200)";
const std::vector<Dword> kOneTwo = {0x101, 0x102};
const auto kAsIs = [](FakePlatform&, FakeProcess&) {};

INSTANTIATE_TEST_SUITE_P(Table, PlacementTest, ::testing::Values(
    PlacementCase{"cpu_sets_differ", L"~1-2", L"Default", kAsIs, {kCpuSetOpen}, {"SetProcessDefaultCpuSets(2)"},
                  1, 0, 0, kOneTwo, 0, 0},
    PlacementCase{"cpu_sets_settled", L" ~ 2;1", L"Default", [](FakePlatform&, FakeProcess& p) { p.defaultCpuSets = {0x102, 0x101}; },
                  {}, {}, 0, 0, 0, {0x102, 0x101}, 0, 0},
    PlacementCase{"cpu_sets_and_class_one_open", L"~1-2", L"High", kAsIs, {kBothOpen},
                  {"SetProcessDefaultCpuSets(2)", "SetPriorityClass(0x80)"}, 1, 0, 0, kOneTwo, 0, 0},
    PlacementCase{"higher_right_refused_lower_granted", L"~1-2", L"High",
                  [](FakePlatform&, FakeProcess& p) { p.grantedAccess = kProcessSetLimitedInformation | kProcessQueryLimitedInformation; },
                  {kBothOpen, kCpuSetOpen}, {"SetProcessDefaultCpuSets(2)"}, 1, 0, 1, kOneTwo, 0, 0},
    PlacementCase{"cpu_set_open_refused", L"~1-2", L"Default",
                  [](FakePlatform&, FakeProcess& p) { p.grantedAccess = kProcessQueryLimitedInformation; },
                  {kCpuSetOpen}, {}, 1, 1, 0, {}, 0, 0},
    PlacementCase{"read_missing_sets_within_the_budget", L"~1-2", L"Default",
                  [](FakePlatform& f, FakeProcess& p) { f.getCpuSetsCallMissing = true; p.defaultCpuSets = {0x101, 0x102}; },
                  {kCpuSetOpen}, {"SetProcessDefaultCpuSets(2)"}, 1, 0, 0, kOneTwo, 0, 0},
    PlacementCase{"set_missing_fails_without_an_open", L"~1-2", L"Default",
                  [](FakePlatform& f, FakeProcess&) { f.setCpuSetsCallMissing = true; }, {}, {}, 0, 1, 0, {}, 0, 0},
    PlacementCase{"partly_beyond_the_machine", L"~3-7", L"Default", kAsIs, {kCpuSetOpen}, {"SetProcessDefaultCpuSets(1)"},
                  1, 0, 0, {0x103}, 0, 0},
    PlacementCase{"beyond_the_machine_leaves_placement_alone", L"~4-7", L"High", kAsIs, {"OpenProcess(0x1200,0,200)"},
                  {"SetPriorityClass(0x80)"}, 0, 0, 0, {}, 0, 0},
    PlacementCase{"no_efficiency_processors_leave_placement_alone", L"E", L"High", kAsIs, {"OpenProcess(0x1200,0,200)"},
                  {"SetPriorityClass(0x80)"}, 0, 0, 0, {}, 0, 0},
    PlacementCase{"unreadable_list_still_fails", L"~4-2", L"Default", kAsIs, {}, {}, 1, 1, 0, {}, 0, 0},
    PlacementCase{"across_groups", L"~63-64", L"Default",
                  [](FakePlatform& f, FakeProcess&) { f.UseMachine(FakePlatform::Machine::TwoGroups128); },
                  {kCpuSetOpen}, {"SetProcessDefaultCpuSets(2)"}, 1, 0, 0, {0x13F, 0x140}, 0, 0},
    PlacementCase{"eco_is_efficiency_mode", L"01", L"Eco", kAsIs, {"OpenProcess(0x1200,0,200)"},
                  {"SetPriorityClass(0x40)", "SetProcessInformation(4,0x1,0x1)"}, 0, 0, 0, {}, 1, 1},
    PlacementCase{"eco_settled", L"01", L"low+eco", [](FakePlatform&, FakeProcess& p) { p.priority = 0x40; p.power = {1, 1, 1}; },
                  {}, {}, 0, 0, 0, {}, 1, 1},
    PlacementCase{"unreadable_power_is_set", L"01", L"Default+Eco",
                  [](FakePlatform& f, FakeProcess& p) { f.powerReadRefused = true; p.power = {1, 1, 1}; },
                  {"OpenProcess(0x1200,0,200)"}, {"SetProcessInformation(4,0x1,0x1)"}, 0, 0, 0, {}, 1, 1},
    PlacementCase{"timer_resolution_refused_then_speed_alone", L"01", L"High+NoEco",
                  [](FakePlatform& f, FakeProcess& p) { f.timerResolutionRefused = true; p.priority = 0x80; },
                  {"OpenProcess(0x1200,0,200)"}, {"SetProcessInformation(4,0x5,0x0)", "SetProcessInformation(4,0x1,0x0)"},
                  0, 0, 0, {}, 1, 0},
    PlacementCase{"noeco_with_timer_throttling_on", L"01", L"High+NoEco",
                  [](FakePlatform&, FakeProcess& p) { p.priority = 0x80; p.power = {1, 0x5, 0x4}; },
                  {"OpenProcess(0x1200,0,200)"}, {"SetProcessInformation(4,0x5,0x0)"}, 0, 0, 0, {}, 5, 0},
    PlacementCase{"power_open_refused", L"01", L"Low+Eco",
                  [](FakePlatform&, FakeProcess& p) { p.priority = 0x40; p.grantedAccess = kProcessQueryLimitedInformation; },
                  {"OpenProcess(0x1200,0,200)"}, {}, 0, 0, 1, {}, 0, 0},
    PlacementCase{"power_refused_as_wine_does", L"~1-2", L"Eco",
                  [](FakePlatform& f, FakeProcess&) { f.getProcessInformationMissing = true; f.powerSetError = kErrorInvalidFunction; },
                  {kBothOpen}, {"SetProcessDefaultCpuSets(2)", "SetPriorityClass(0x40)", "SetProcessInformation(4,0x1,0x1)"},
                  1, 0, 1, kOneTwo, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr
