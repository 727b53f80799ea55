#include "privilege/debug_privilege.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

TEST(DebugPrivilege, EnablesInTheOwnTokenAndClosesTokenBeforeProcess) {
    FakePlatform fake;
    EXPECT_TRUE(SetDebugPrivilege(fake, true));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{
                              "GetCurrentProcessId", "OpenProcess(0x1F0FFF,0,4000)", "OpenProcessToken(0x28)",
                              "LookupPrivilegeValueA(null,SeDebugPrivilege)", "AdjustTokenPrivileges(0,16)",
                              "CloseHandle", "CloseHandle"}));
    ASSERT_TRUE(fake.lastAdjustment.has_value());
    EXPECT_EQ(fake.lastAdjustment->PrivilegeCount, 1u);
    EXPECT_EQ(fake.lastAdjustment->Privileges[0].Luid.LowPart, 20u);
    EXPECT_EQ(fake.lastAdjustment->Privileges[0].Attributes, 2u);
    ASSERT_EQ(fake.closeOrder.size(), 2u);
    EXPECT_GT(fake.closeOrder[0], fake.closeOrder[1]);  // the token was opened second, closed first
    EXPECT_EQ(fake.OpenHandleCount(), 0u);

    EXPECT_TRUE(SetDebugPrivilege(fake, false));
    EXPECT_EQ(fake.lastAdjustment->Privileges[0].Attributes, 0u);
}

TEST(DebugPrivilege, EachFailingStepClosesWhatWasOpened) {
    struct Case {
        const char* name;
        void (*arrange)(FakePlatform&);
        std::size_t handles;
        bool adjusted;
    } cases[] = {
        {"process", [](FakePlatform& f) { f.ownProcessOpenFails = true; }, 0, false},
        {"token", [](FakePlatform& f) { f.openTokenFails = true; }, 1, false},
        {"lookup", [](FakePlatform& f) { f.lookupPrivilegeFails = true; }, 2, false},
        {"adjust", [](FakePlatform& f) { f.adjustTokenResult = 0; }, 2, true},
        {"adjust_not_one", [](FakePlatform& f) { f.adjustTokenResult = 2; }, 2, true},
    };
    for (const Case& c : cases) {
        FakePlatform fake;
        c.arrange(fake);
        bool ok = SetDebugPrivilege(fake, true);
        EXPECT_FALSE(ok) << c.name;
        EXPECT_EQ(fake.OpenHandleCount(), 0u) << c.name;
        EXPECT_EQ(fake.badCloses, 0u) << c.name;
        EXPECT_EQ(fake.CallsNamed("AdjustTokenPrivileges") > 0, c.adjusted) << c.name;
        EXPECT_EQ(fake.handlesClosed, c.handles) << c.name;
        // Handles are numbered as opened: the token, opened last, is closed first.
        EXPECT_TRUE(std::is_sorted(fake.closeOrder.rbegin(), fake.closeOrder.rend())) << c.name;
    }
}

}  // namespace
}  // namespace mjr
