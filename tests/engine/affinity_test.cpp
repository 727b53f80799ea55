#include "engine/affinity.h"

#include <gtest/gtest.h>

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
