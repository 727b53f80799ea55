#include "engine/priority.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

TEST(PriorityNameToClass, WordsInAnyCaseWithWindowsNames) {
    struct { const wchar_t* word; Dword value; bool leaves; } cases[] = {
        {L"Real", 256, false}, {L"High", 128, false}, {L"Above", 32768, false}, {L"Normal", 32, false},
        {L"Below", 16384, false}, {L"Low", 64, false}, {L"Default", 0, true}, {L" dEfAuLt\t", 0, true},
        {L"above", 32768, false}, {L"High ", 128, false}, {L" HIGH", 128, false}, {L"Realtime", 256, false},
        {L"Above normal", 32768, false}, {L"abovenormal", 32768, false}, {L"Below Normal", 16384, false},
        {L"BelowNormal", 16384, false}, {L"idle", 64, false}, {L"Above  normal", 0, false}, {L"Hi gh", 0, false},
        {L"", 0, false}, {L"Defaults", 0, false},
    };
    for (auto c : cases) {
        EXPECT_EQ(PriorityNameToClass(c.word), c.value) << c.word;
        EXPECT_EQ(LeavesPriority(c.word), c.leaves) << c.word;
    }
}

TEST(ReadPriorityText, PowerWordsJoinedWithPlus) {
    constexpr auto N = PowerWord::None;
    constexpr auto E = PowerWord::Eco;
    constexpr auto O = PowerWord::NoEco;
    struct { const wchar_t* text; bool leaves; Dword value; PowerWord power; } cases[] = {
        {L"High+NoEco", false, 0x80, O}, {L"Below+Eco", false, 0x4000, E}, {L"Default+NoEco", true, 0, O},
        {L"Eco", false, 0x40, E},        {L" eco ", false, 0x40, E},        {L" high + noeco ", false, 0x80, O},
        {L"Idle", false, 0x40, N},       {L"High+Turbo", false, 0, N},      {L"Eco+Eco", false, 0, N},
        {L"+Eco", false, 0, N},          {L"High+", false, 0, N},           {L"Default", true, 0, N},
    };
    for (auto c : cases) {
        const PriorityRequest r = ReadPriorityText(c.text);
        EXPECT_EQ(r.leavesClass, c.leaves) << c.text;
        EXPECT_EQ(r.priorityClass, c.value) << c.text;
        EXPECT_EQ(r.power, c.power) << c.text;
    }
    // Raising: more than an ordinary start gives, which a pattern may not hand out under \Windows.
    for (const wchar_t* text : {L"Above normal", L"High+Eco", L"Realtime", L"Default+NoEco", L"Below+NoEco"})
        EXPECT_TRUE(RaisesPriority(text)) << text;
    for (const wchar_t* text : {L"Normal", L"Default", L"Eco", L"Idle+Eco", L"High+Turbo"}) EXPECT_FALSE(RaisesPriority(text)) << text;
}

struct Priority : ::testing::Test {
    FakePlatform fake;
    Counter errors;
    void TearDown() override {
        EXPECT_EQ(fake.OpenHandleCount(), 0u);
        EXPECT_EQ(fake.badCloses, 0u);
    }
};

TEST_F(Priority, AlreadyAtTheClassOpensOnceForQueryingOnly) {
    fake.AddProcess(100, "C:\\a.exe").priority = 0x80;
    ApplyPriority(fake, 100, 0x80, errors);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"OpenProcess(0x1000,0,100)", "GetPriorityClass", "CloseHandle"}));
    EXPECT_EQ(errors.Value(), 0);
    EXPECT_EQ(fake.sleeps, 0u);
}

TEST_F(Priority, SetsOnASecondHandleProvenToHoldTheSameProcess) {
    fake.AddProcess(100, "C:\\a.exe").priority = 0x20;
    ApplyPriority(fake, 100, 0x4000, errors);
    EXPECT_EQ(fake.Find(100)->priority, 0x4000u);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"OpenProcess(0x1000,0,100)", "GetPriorityClass",
                                                    "OpenProcess(0x1200,0,100)", "GetProcessTimes", "GetProcessTimes",
                                                    "SetPriorityClass(0x4000)", "Sleep(0)", "CloseHandle",
                                                    "CloseHandle"}));
    EXPECT_EQ(errors.Value(), 0);
}

TEST_F(Priority, FailuresCountOnce) {
    auto& p = fake.AddProcess(100, "C:\\a.exe");
    p.grantedAccess = kProcessQueryLimitedInformation;  // readable, not settable
    ApplyPriority(fake, 100, 0x80, errors);
    EXPECT_EQ(errors.Value(), 1);
    EXPECT_EQ(fake.sleeps, 0u);  // no handle, no attempt, no sleep

    p.grantedAccess = 0xFFFFFFFF;
    p.setPriorityFails = true;
    ApplyPriority(fake, 100, 0x80, errors);
    EXPECT_EQ(errors.Value(), 2);
    EXPECT_EQ(fake.sleeps, 1u);  // an attempted set still sleeps

    p.grantedAccess = 0;  // not even readable: nothing proves which process a set would reach
    fake.ClearRecord();
    ApplyPriority(fake, 100, 0x80, errors);
    EXPECT_EQ(errors.Value(), 3);
    EXPECT_EQ(fake.CallsNamed("OpenProcess"), 1u);
}

TEST_F(Priority, AnUnknownWordIsRefusedWhenTheClassCanBeRead) {
    fake.AddProcess(100, "C:\\a.exe");
    ApplyPriority(fake, 100, 0, errors);  // the platform refuses class 0
    EXPECT_EQ(errors.Value(), 1);
    fake.Find(100)->getPriorityFails = true;  // unreadable counts as 0: equal, nothing happens
    fake.ClearRecord();
    ApplyPriority(fake, 100, 0, errors);
    EXPECT_EQ(errors.Value(), 1);
    EXPECT_EQ(fake.CallsNamed("SetPriorityClass"), 0u);
}

}  // namespace
}  // namespace mjr
