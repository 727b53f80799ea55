#include "engine/affinity.h"

#include <gtest/gtest.h>

#include "engine/cpu_sets.h"
#include "engine/process_handles.h"
#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

TEST(MaskToBitList, ListsSingleBitsLowestFirst) {
    EXPECT_EQ(MaskToBitList(15), (std::vector<std::int32_t>{1, 2, 4, 8}));
    EXPECT_TRUE(MaskToBitList(0).empty());
    EXPECT_EQ(MaskToBitList(static_cast<std::int32_t>(0x80000001u)),
              (std::vector<std::int32_t>{1, static_cast<std::int32_t>(0x80000000u)}));
    std::vector<std::int32_t> all = MaskToBitList(-1);
    ASSERT_EQ(all.size(), 32u);
    EXPECT_EQ(all[30], 1 << 30);
    EXPECT_EQ(all[31], static_cast<std::int32_t>(0x80000000u));
    EXPECT_EQ(BuildCpuBits(), (std::vector<std::int32_t>{1, 2, 4, 8}));
}

TEST(MaxCpuIndex, IsProcessorsLessOneCappedAtSeven) {
    EXPECT_EQ(MaxCpuIndexFor(0), -1);  // signed: no digit at all, not the cap
    EXPECT_EQ(MaxCpuIndexFor(1), 0);
    EXPECT_EQ(MaxCpuIndexFor(2), 1);
    EXPECT_EQ(MaxCpuIndexFor(8), 7);
    EXPECT_EQ(MaxCpuIndexFor(64), 7);
    EXPECT_EQ(MaxCpuIndexFor(0xFFFFFFFFu), 7);
}

TEST(AffinityMaskToDigits, AscendingDigitsUpToMaxCpuIndex) {
    struct { std::int32_t mask; std::int32_t max; const wchar_t* digits; } cases[] = {
        {5, 7, L"02"}, {0, 7, L""}, {255, 3, L"0123"}, {256, 7, L""}, {-1, 7, L"01234567"},
        {3, 1, L"01"}, {3, 0, L"0"}, {0xF0, 7, L"4567"}, {static_cast<std::int32_t>(0x80000000u), 7, L""},
        {1, -1, L""},
    };
    for (auto c : cases) EXPECT_EQ(AffinityMaskToDigits(c.mask, c.max), c.digits) << c.mask << "/" << c.max;
}

CpuTable Table() { return CpuTable{BuildCpuBits(), 7}; }

TEST(DigitsToMask, OrsTheEntriesOfEveryCharacter) {
    struct { const wchar_t* digits; std::int32_t mask; } cases[] = {
        {L"13", 10}, {L"31", 10}, {L"11", 2}, {L"", 1}, {L"a", 1}, {L"0", 1}, {L"3", 8}, {L"x3", 9},
        {L"0123", 15}, {L"4567", 0xF0}, {L"9", 1 << 9}, {L"48", 0x110}, {L"01234567", 0xFF},
    };
    for (auto c : cases) EXPECT_EQ(DigitsToMask(Table(), c.digits), c.mask) << c.digits;
}

struct Affinity : ::testing::Test {
    FakePlatform fake;
    Counter errors;
    CpuTable cpu = Table();
    void TearDown() override {
        EXPECT_EQ(fake.OpenHandleCount(), 0u);
        EXPECT_EQ(fake.badCloses, 0u);
    }
};

TEST_F(Affinity, ReadsTheMaskOnTheHandleGiven) {
    fake.AddProcess(100, "C:\\a.exe").affinity = 0x5;
    UniqueHandle queried = OpenForQuery(fake, 100);
    EXPECT_EQ(ReadAffinityMask(fake, queried.get()), 5);
    fake.Find(100)->getAffinityFails = true;
    EXPECT_EQ(ReadAffinityMask(fake, queried.get()), 0);
    EXPECT_EQ(ReadAffinityMask(fake, 0), 0);  // a failed open
    EXPECT_EQ(fake.CallsNamed("OpenProcess"), 1u);
}

TEST_F(Affinity, SetsTheMaskThenSleeps) {
    fake.AddProcess(100, "C:\\a.exe").affinity = 0x1;
    UniqueHandle setter(fake, fake.OpenProcess(kProcessSetInformation, 0, 100));
    fake.ClearRecord();
    ApplyAffinity(fake, cpu, setter.get(), L"31", errors);
    EXPECT_EQ(fake.Find(100)->affinity, 0xAu);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"SetProcessAffinityMask(0xA)", "Sleep(0)"}));
    EXPECT_EQ(errors.Value(), 0);
}

TEST_F(Affinity, EachFailureCountsOnceWithoutSleeping) {
    fake.numberOfProcessors = 2;
    auto& p = fake.AddProcess(100, "C:\\a.exe");
    ApplyAffinity(fake, cpu, 0, L"0", errors);  // the open for setting failed
    EXPECT_EQ(errors.Value(), 1);
    EXPECT_EQ(fake.CallsNamed("SetProcessAffinityMask"), 0u);

    UniqueHandle setter(fake, fake.OpenProcess(kProcessSetInformation, 0, 100));
    ApplyAffinity(fake, cpu, setter.get(), L"3", errors);  // a processor this machine lacks
    EXPECT_EQ(errors.Value(), 2);

    p.setAffinityFails = true;
    ApplyAffinity(fake, cpu, setter.get(), L"1", errors);
    EXPECT_EQ(errors.Value(), 3);

    p.setAffinityFails = false;
    p.setAffinityResult = 2;  // only exactly 1 counts as success
    ApplyAffinity(fake, cpu, setter.get(), L"1", errors);
    EXPECT_EQ(errors.Value(), 4);
    EXPECT_EQ(fake.sleeps, 0u);
}

}  // namespace
}  // namespace mjr

namespace mjr {
namespace {

using testing::FakePlatform;
using Machine = FakePlatform::Machine;

TEST(CpuList, WhichTextsAreListsAndHowTheyRead) {
    struct { const wchar_t* text; bool list; CpuListError error; const wchar_t* bad; } cases[] = {
        {L"01", false, {}, L""}, {L" 0 1", false, {}, L""}, {L"", false, {}, L""}, {L"Px", false, {}, L""},
        {L"8-15", true, CpuListError::None, L""}, {L"0;2;4-6", true, CpuListError::None, L""},
        {L"5-5", true, CpuListError::None, L""}, {L"0-0", true, CpuListError::None, L""},
        {L"12;", true, CpuListError::None, L""}, {L" p ", true, CpuListError::None, L""},
        {L"C;24 - 31", true, CpuListError::None, L""}, {L"e; 0 ;63", true, CpuListError::None, L""},
        {L"15-8", true, CpuListError::Backwards, L"15-8"}, {L"0-64", true, CpuListError::BeyondLimit, L"0-64"},
        {L"1;x", true, CpuListError::UnknownName, L"x"}, {L"1;;2", true, CpuListError::NotAnItem, L""},
        {L";", true, CpuListError::NotAnItem, L""}, {L"-", true, CpuListError::NotAnItem, L"-"},
        {L"8--9", true, CpuListError::NotAnItem, L"8--9"}, {L"P-E", true, CpuListError::NotAnItem, L"P-E"},
        {L"99999999999;", true, CpuListError::BeyondLimit, L"99999999999"}, {L"1.5;", true, CpuListError::NotAnItem, L"1.5"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsCpuList(c.text), c.list) << c.text;
        if (!c.list) continue;
        const CpuList list = ParseCpuList(c.text);
        EXPECT_EQ(list.error, c.error) << c.text;
        EXPECT_EQ(list.badItem, c.bad) << c.text;
    }
}

TEST(CpuList, MasksOnTheMachinesUsersHave) {
    constexpr std::uint64_t kAll = ~std::uint64_t{0};
    struct {
        Machine machine; bool cpuSetsMissing; const wchar_t* text; std::uint64_t mask; CpuMaskProblem problem;
        std::uint64_t leftOut = 0;  // processors another PC has
    } cases[] = {
        {Machine::OneKind16, false, L"8-15", 0xFF00, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"0;2;4-6", 0x75, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"5-5", 0x20, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"P", 0xFFFF, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"C", 0xFFFF, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"E", 0, CpuMaskProblem::Empty},
        {Machine::OneKind16, false, L"E;3", 0x8, CpuMaskProblem::None},
        {Machine::OneKind16, false, L"16-31", 0, CpuMaskProblem::Empty, 0xFFFF0000},
        {Machine::OneKind16, false, L"8-23", 0xFF00, CpuMaskProblem::None, 0xFF0000},
        {Machine::OneKind16, false, L"E;40", 0, CpuMaskProblem::Empty, 1ull << 40},
        {Machine::OneKind2, false, L"0-7", 0x3, CpuMaskProblem::None, 0xFC},
        {Machine::OneKind2, true, L"0-7", 0x3, CpuMaskProblem::None, 0xFC},
        {Machine::OneKind2, false, L"E", 0, CpuMaskProblem::Empty},
        {Machine::OneKind64, true, L"40;", 1ull << 40, CpuMaskProblem::None},  // Windows 7/8: a full mask may hide more
        {Machine::Hybrid28, false, L"P", 0xFFFF, CpuMaskProblem::None},
        {Machine::Hybrid28, false, L"e", 0xFFF0000, CpuMaskProblem::None},
        {Machine::Hybrid28, false, L"P;27", 0x800FFFF, CpuMaskProblem::None},
        {Machine::Hybrid28, false, L"C", 0xFFFFFFF, CpuMaskProblem::None},
        {Machine::Hybrid28, true, L"P", 0xFFFFFFF, CpuMaskProblem::None},  // Windows 7/8: one kind
        {Machine::Hybrid28, true, L"E", 0, CpuMaskProblem::Empty},
        {Machine::TwoDie32, false, L"C", 0xFFFF, CpuMaskProblem::None},
        {Machine::TwoDie32, false, L"C;24-31", 0xFF00FFFF, CpuMaskProblem::None},
        {Machine::TwoDie32, false, L"P", 0xFFFFFFFF, CpuMaskProblem::None},
        {Machine::OneKind64, false, L"63;", 1ull << 63, CpuMaskProblem::None},
        {Machine::OneKind64, false, L"C", kAll, CpuMaskProblem::None},  // eight dies, caches alike
        {Machine::TwoGroups128, false, L"C", kAll, CpuMaskProblem::None},  // groups: names fall back
        {Machine::TwoGroups128, false, L"32-63", 0xFFFFFFFF00000000, CpuMaskProblem::None},
        {Machine::HybridTwoGroups56, false, L"P", 0xFFFFFFF, CpuMaskProblem::None},  // groups: names fall back
        {Machine::HybridTwoGroups56, false, L"E", 0, CpuMaskProblem::Empty},
        {Machine::HybridTwoGroups56, false, L"30-40", 0x1FFC0000000, CpuMaskProblem::None},  // group 1's: refused
        {Machine::HybridTwoGroups56, false, L"56-63", 0, CpuMaskProblem::Empty, 0xFF00000000000000},
        {Machine::OneKind2, false, L"0-64", 0, CpuMaskProblem::Refused},
        {Machine::OneKind16, false, L"15-8", 0, CpuMaskProblem::Refused},
    };
    // The 32-bit program clips names to processors 0-31 and cannot set a number above.
    const std::uint64_t expressible = kMaskBits == 64 ? kAll : 0xFFFFFFFFu;
    for (auto c : cases) {
        FakePlatform fake;
        fake.UseMachine(c.machine);
        fake.cpuSetCallMissing = c.cpuSetsMissing;
        if ((c.mask & ~expressible) != 0 && std::wstring_view(c.text).find_first_of(L"0123456789") != std::wstring_view::npos) {
            c.mask = 0;
            c.problem = CpuMaskProblem::Unexpressible;
        }
        const CpuListMask got = CpuListToMask(c.text, ReadCpuTopology(fake));
        EXPECT_EQ(got.mask, c.mask & expressible) << c.text << " machine " << static_cast<int>(c.machine);
        EXPECT_EQ(got.problem, c.problem) << c.text << " machine " << static_cast<int>(c.machine);
        if (got.problem != CpuMaskProblem::Unexpressible) {
            EXPECT_EQ(got.leftOut, c.leftOut) << c.text;
        }
    }
}

TEST(CpuSets, NumbersCountAcrossGroupsAndNamesReachEveryGroup) {
    using P = CpuMaskProblem;
    struct { Machine machine; const wchar_t* text; const wchar_t* numbers; P problem; } cases[] = {
        {Machine::Hybrid28, L"~P", L"0-15", P::None},          {Machine::Hybrid28, L" ~ e ", L"16-27", P::None},
        {Machine::TwoDie32, L"~C", L"0-15", P::None},          {Machine::OneKind16, L"~12", L"12", P::None},
        {Machine::TwoGroups128, L"~C;100", L"0-15;100", P::None}, {Machine::TwoGroups128, L"~P", L"0-127", P::None},
        {Machine::TwoGroups128, L"~E", L"", P::Empty},         {Machine::TwoGroups128, L"~120-130", L"120-127", P::None},
        {Machine::OneKind2, L"~0-7", L"0-1", P::None},          {Machine::OneKind2, L"~E", L"", P::Empty},
        {Machine::Hybrid28, L"~0-7", L"0-7", P::None},          {Machine::OneKind2, L"~8", L"", P::Empty},
        {Machine::OneKind16, L"~2048", L"", P::Refused},       {Machine::OneKind16, L"~1;x", L"", P::Refused},
    };
    for (auto c : cases) {
        FakePlatform fake;
        fake.UseMachine(c.machine);
        const CpuSetSelection got = SelectCpuSets(c.text, ReadCpuTopology(fake));
        EXPECT_EQ(FormatProcessorNumbers(got.numbers), c.numbers) << c.text;
        EXPECT_EQ(got.problem, c.problem) << c.text;
    }
    FakePlatform fake;
    fake.UseMachine(Machine::TwoGroups128);  // the 65th processor is group 1's first
    EXPECT_EQ(SelectCpuSets(L"~63-64", ReadCpuTopology(fake)).ids, (std::vector<Dword>{0x13F, 0x140}));
    EXPECT_EQ(SelectCpuSets(L"~64-65", ReadCpuTopology(fake)).lacking, (std::vector<int>{}));
}

TEST(CpuTopology, ReadsOnceFromBothCallsAndFallsBackWhereTheyFail) {
    FakePlatform fake;
    fake.UseMachine(Machine::TwoDie32);
    fake.oldCacheLayout = true;  // Windows 10: GroupCount 0 means one mask
    CpuTopology t = ReadCpuTopology(fake);
    EXPECT_EQ(t.Processors, 32u);
    EXPECT_EQ(t.BigCacheMask, 0xFFFFu);
    EXPECT_EQ(t.BigCacheBytes, 96u << 20);
    EXPECT_EQ(fake.CallsNamed("GetSystemCpuSetInformation"), 2u);  // the size, then the records
    EXPECT_EQ(fake.CallsNamed("GetLogicalProcessorInformationEx(2,"), 2u);
    fake.processorInfoCallMissing = true;
    t = ReadCpuTopology(fake);
    EXPECT_EQ(t.BigCacheMask, 0u);
    EXPECT_EQ(CpuNameMask(L'C', t), 0xFFFFFFFFu);
    fake.UseMachine(Machine::TwoGroups128);
    t = ReadCpuTopology(fake);
    EXPECT_EQ(t.Groups, 2u);
    EXPECT_EQ(t.AllMask, ~DwordPtr{0});  // 64 processors, or the 32 a 32-bit program sees
    // A broken answer (a record of size 0, or smaller than its header) ends the walk: no kinds, no caches.
    for (Dword size : {0u, 4u}) {
        for (Machine machine : {Machine::Hybrid28, Machine::TwoDie32}) {
            fake.UseMachine(machine);
            fake.firstTopologyRecordSize = size;
            t = ReadCpuTopology(fake);
            EXPECT_FALSE(t.Hybrid()) << size;
            EXPECT_EQ(t.BigCacheMask, 0u) << size;
            EXPECT_EQ(t.Processors, machine == Machine::Hybrid28 ? 28u : 32u);
        }
    }
}

// Before Windows 10 a full mask may stand for more processors: the 32-bit program's mask is full
// at 32 processors, the 64-bit one's at 64; both builds' sums run here.
TEST(CpuTopology, AFullMaskOfEitherBuildMayStandForMore) {
    constexpr std::uint64_t kAll = ~std::uint64_t{0};
    struct { std::uint64_t allMask; int maskBits; std::uint64_t present; } cases[] = {
        {0xFFFFFFFF, 32, kAll}, {0x7FFFFFFF, 32, 0x7FFFFFFF}, {0xFFFF, 32, 0xFFFF},
        {0xFFFFFFFF, 64, 0xFFFFFFFF}, {kAll, 64, kAll}, {0x3, 64, 0x3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessorsAMaskMayStandFor(c.allMask, c.maskBits), c.present) << std::hex << c.allMask << " " << c.maskBits;
}

TEST(FormatCpuList, AscendingRunsOfTwoOrMoreAsRanges) {
    struct { std::uint64_t mask; const wchar_t* text; } cases[] = {
        {0, L""}, {0x1, L"0"}, {0xD0F, L"0-3;8;10-11"}, {0xFF00, L"8-15"}, {0x75, L"0;2;4-6"},
        {1ull << 63, L"63"}, {~std::uint64_t{0}, L"0-63"}, {0x8000000000000001, L"0;63"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatCpuList(c.mask), c.text) << c.mask;
}

}  // namespace
}  // namespace mjr
