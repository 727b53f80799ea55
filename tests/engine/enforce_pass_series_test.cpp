// When a pass scans: the listing's count-and-sum fingerprint, the four scans a change buys and
// the enforce period; and what a series of scans sets and counts for a favourite's CPU text.
#include "engine/engine.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/enforce_pass_test_world.h"
#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

TEST_F(Pass, TheFirstTwoListedAreNeverOpenedSummedOrMatched) {
    Favourite(L"", L"0", L"High");  // would match anything unresolvable
    Favourite(L"C:\\WINDOWS\\system.exe", L"0", L"High");
    fake.AddProcess(300, "C:\\Apps\\x.exe");
    EnforcePass(m);
    for (const std::string& call : fake.calls) {
        EXPECT_EQ(call.find(",0,0)"), std::string::npos) << call;
        EXPECT_EQ(call.find(",0,4)"), std::string::npos) << call;
    }
    EXPECT_EQ(m.Enforcement.PidCount, 3);
    EXPECT_EQ(m.Enforcement.PidSum, 300);
    // Changing the first two identifiers is no change.
    fake.processes[0].pid = 8;
    fake.processes[1].pid = 12;
    m.Enforcement.PassesLeft = 0;
    EXPECT_FALSE(Scans());
}

TEST_F(Pass, EachChangeBuysFourScansThenOnlyTheListing) {
    Favourite(L"C:\\t.exe", L"0", L"Normal");
    fake.AddProcess(200, "C:\\t.exe");
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(Scans()) << i;
    fake.ClearRecord();
    EXPECT_FALSE(Scans());
    for (const std::string& call : fake.calls) EXPECT_EQ(call.rfind("EnumProcesses", 0), 0u) << call;
    fake.AddProcess(210, "C:\\u.exe");
    EXPECT_TRUE(Scans());
    EXPECT_EQ(m.Enforcement.PassesLeft, 3);
}

TEST_F(Pass, FingerprintIsCountAndSum) {
    fake.AddProcess(100, "C:\\a.exe");
    fake.AddProcess(200, "C:\\b.exe");
    fake.AddProcess(300, "C:\\c.exe");
    for (int i = 0; i < 4; ++i) EnforcePass(m);
    // Same identifiers in another order.
    std::swap(fake.processes[2], fake.processes[4]);
    EXPECT_FALSE(Scans());
    // One ends, another starts with the same identifier.
    fake.processes[3].modulePath = "C:\\new.exe";
    EXPECT_FALSE(Scans());
    // One 10 higher, another 10 lower.
    fake.processes[2].pid += 10;
    fake.processes[4].pid -= 10;
    EXPECT_FALSE(Scans());
    // Anything else is a change.
    fake.processes[2].pid += 4;
    EXPECT_TRUE(Scans());
}

TEST_F(Pass, SumWrapsInThirtyTwoBits) {
    fake.AddProcess(0xFFFFFFF0u, "C:\\a.exe");
    fake.AddProcess(0x20, "C:\\b.exe");
    EnforcePass(m);
    EXPECT_EQ(m.Enforcement.PidSum, 0x10);
}

TEST_F(Pass, SnapshotBufferDoublesAndAFullBufferIsReadAgain) {
    // 2 + 62 = 64 identifiers fill a 256-byte buffer exactly.
    for (Dword pid = 100; pid < 162; ++pid) fake.AddProcess(pid, "C:\\p.exe");
    EnforcePass(m);
    EXPECT_EQ(fake.enumBufferSizes, (std::vector<Dword>{16, 32, 64, 128, 256, 512}));
    EXPECT_EQ(m.Enforcement.PidCount, 64);
    EXPECT_EQ(m.Enforcement.Pids.size(), 512u / 4 + 1);
    EXPECT_EQ(m.Enforcement.Pids[0], 0u);
    EXPECT_EQ(m.Enforcement.Pids[1], 0u);
    EXPECT_EQ(m.Enforcement.Pids[3], 100u);
    EXPECT_EQ(m.Enforcement.Pids[65], 0u);
    fake.ClearRecord();
    fake.processes.resize(3);  // 3 identifiers fit the first 16 bytes
    EnforcePass(m);
    EXPECT_EQ(fake.enumBufferSizes, (std::vector<Dword>{16}));
}

TEST_F(Pass, AFailedListingSeesNothingAndKeepsTheLastChange) {
    fake.AddProcess(100, "C:\\a.exe");
    m.Settings.EnforceOn = true;
    m.Settings.EnforceSeconds = 10;
    EnforcePass(m);
    const auto before = m.Enforcement;
    fake.enumProcessesFails = true;
    EXPECT_FALSE(Scans());
    EXPECT_EQ(m.Enforcement.LastProcessCount, before.LastProcessCount);
    EXPECT_EQ(m.Enforcement.LastPidSum, before.LastPidSum);
    EXPECT_EQ(m.Enforcement.PassesLeft, before.PassesLeft);
    EXPECT_EQ(m.Enforcement.PidCount, 0);
    EXPECT_EQ(m.Enforcement.TickCount, before.TickCount + 1);  // the period runs on
    fake.enumProcessesFails = false;
    EXPECT_TRUE(Scans());  // the series goes on where it was
    EXPECT_EQ(m.Enforcement.PassesLeft, before.PassesLeft - 1);
}

TEST_F(Pass, EnforcePeriodStartsASeriesEveryTwiceSecondsPasses) {
    fake.AddProcess(100, "C:\\a.exe");
    m.Settings.EnforceOn = true;
    m.Settings.EnforceSeconds = 10;
    std::vector<int> scanning;
    for (int pass = 1; pass <= 61; ++pass)
        if (Scans()) scanning.push_back(pass);
    EXPECT_EQ(scanning, (std::vector<int>{1, 2, 3, 4, 21, 22, 23, 24, 41, 42, 43, 44, 61}));
}

TEST_F(Pass, WithoutEnforceTheTickCountStaysZero) {
    fake.AddProcess(100, "C:\\a.exe");
    for (int i = 0; i < 50; ++i) EnforcePass(m);
    EXPECT_EQ(m.Enforcement.TickCount, 0);
    EXPECT_EQ(m.Enforcement.PassesLeft, 0);
}

TEST_F(Pass, ResetOfLastProcessCountForcesAScan) {
    fake.AddProcess(100, "C:\\a.exe");
    for (int i = 0; i < 4; ++i) EnforcePass(m);
    EXPECT_FALSE(Scans());
    m.Enforcement.LastProcessCount = 0;
    EXPECT_TRUE(Scans());
}

struct HitCase {
    const char* name;
    const wchar_t* affinity;
    Dword mask;           // the process's mask before each scan
    std::int64_t hitsPerScan;
    std::int64_t errorsPerScan;
    Dword maskAfter;
};

class HitTest : public Pass, public ::testing::WithParamInterface<HitCase> {};

TEST_P(HitTest, CountsHitsAndErrorsOnEveryScan) {
    fake.numberOfProcessors = 2;
    m.Cpu.MaxCpuIndex = 1;
    m.Cpu.Topology = ReadCpuTopology(fake);
    Favourite(L"C:\\t.exe", GetParam().affinity, L"Default");
    auto& p = fake.AddProcess(200, "C:\\t.exe");
    p.affinity = GetParam().mask;
    for (int scan = 1; scan <= 4; ++scan) {
        EnforcePass(m);
        EXPECT_EQ(m.FavoritesHit.Value(), GetParam().hitsPerScan * scan);
        EXPECT_EQ(m.AffinityErrors.Value(), GetParam().errorsPerScan * scan);
        EXPECT_EQ(fake.Find(200)->affinity, GetParam().maskAfter);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, HitTest, ::testing::Values(
    HitCase{"equal_digits_do_nothing", L"01", 0x3, 0, 0, 0x3},
    HitCase{"out_of_order_digits_are_applied_every_time", L"10", 0x3, 1, 0, 0x3},
    HitCase{"empty_affinity_sets_processor_0_every_time", L"", 0x3, 1, 0, 0x1},
    HitCase{"absent_processor_is_refused_every_time", L"3", 0x3, 1, 1, 0x3},
    HitCase{"list_on_its_processors_is_left_alone", L"1;", 0x2, 0, 0, 0x2},
    HitCase{"p_of_one_kind_is_every_processor", L"p", 0x3, 0, 0, 0x3},
    HitCase{"backwards_list_is_refused_every_time", L"1-0", 0x3, 1, 1, 0x3},
    HitCase{"list_past_63_is_refused_every_time", L"0-64", 0x3, 1, 1, 0x3},
    HitCase{"unknown_name_is_refused_every_time", L"1;x", 0x3, 1, 1, 0x3},
    HitCase{"e_without_efficiency_cores_is_left_alone", L"E", 0x3, 0, 0, 0x3},
    HitCase{"list_beyond_the_machine_is_left_alone", L"8-15", 0x3, 0, 0, 0x3},
    HitCase{"list_partly_beyond_the_machine_keeps_what_it_has", L"1-7", 0x2, 0, 0, 0x2},
    HitCase{"digits_beyond_the_machine_keep_failing", L"12", 0x3, 1, 1, 0x3}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Pass, ADigitAppliedOnceThenComparesEqual) {
    fake.numberOfProcessors = 8;
    m.Cpu.MaxCpuIndex = 7;
    Favourite(L"C:\\t.exe", L"4567", L"Default");
    fake.AddProcess(200, "C:\\t.exe").affinity = 0xFF;
    for (int i = 0; i < 4; ++i) EnforcePass(m);
    EXPECT_EQ(fake.Find(200)->affinity, 0xF0u);
    EXPECT_EQ(m.FavoritesHit.Value(), 1);
    EXPECT_EQ(m.AffinityErrors.Value(), 0);
}

TEST_F(Pass, AListIsSetOnceOnTheWholeMaskAndAFailingOneNeverOpensForSetting) {
    fake.UseMachine(FakePlatform::Machine::OneKind64);
    m.Cpu.Topology = ReadCpuTopology(fake);
    const bool wide = kMaskBits == 64;  // the 32-bit program sees processors 0-31
    Favourite(L"C:\\t.exe", wide ? L"32-47;63" : L"16-23;31", L"Default");
    Favourite(L"C:\\u.exe", L"15-8", L"Default");
    fake.AddProcess(200, "C:\\t.exe").affinity = 0x3;
    fake.AddProcess(201, "C:\\u.exe");
    for (int i = 0; i < 4; ++i) EnforcePass(m);
    EXPECT_EQ(fake.Find(200)->affinity, wide ? static_cast<DwordPtr>(0x8000FFFF00000000u) : DwordPtr{0x80FF0000u});
    EXPECT_EQ(fake.CallsNamed("SetProcessAffinityMask"), 1u);
    EXPECT_EQ(fake.CallsNamed("OpenProcess(0x1200,0,201)"), 0u);
    EXPECT_EQ(m.FavoritesHit.Value(), 1 + 4);
    EXPECT_EQ(m.AffinityErrors.Value(), 4);
}

TEST_F(Pass, DefaultInAnyCaseLeavesPriorityAndProcessorsUnreadAndUnset) {
    Favourite(L"C:\\t.exe", L"01", L"Default");
    Favourite(L"C:\\u.exe", L" default ", L" DEFAULT");
    Favourite(L"C:\\v.exe", L"Default", L"Below normal");
    fake.AddProcess(200, "C:\\t.exe").priority = 0x40;
    fake.AddProcess(201, "C:\\u.exe").affinity = 0x4;
    fake.AddProcess(202, "C:\\v.exe").affinity = 0x4;
    for (int i = 0; i < 4; ++i) EnforcePass(m);
    EXPECT_EQ(fake.Find(200)->priority, 0x40u);
    EXPECT_EQ(fake.Find(201)->affinity, 0x4u);
    EXPECT_EQ(fake.Find(202)->affinity, 0x4u);  // today's mended fault: "Default" pinned processor 0
    EXPECT_EQ(fake.Find(202)->priority, 0x4000u);
    EXPECT_EQ(m.FavoritesHit.Value(), 0);
    EXPECT_EQ(m.PriorityErrors.Value(), 0);
    EXPECT_EQ(fake.CallsNamed("OpenProcess(0x1200,0,200)") + fake.CallsNamed("OpenProcess(0x1200,0,201)"), 0u);
    EXPECT_EQ(fake.CallsNamed("GetProcessAffinityMask"), 4u);  // 200's alone, once a scan
}

}  // namespace
}  // namespace mjr
