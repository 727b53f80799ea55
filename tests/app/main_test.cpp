#include "app/main.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

struct Host : AppHost {
    FakePlatform& fake;
    std::vector<std::string> events;
    explicit Host(FakePlatform& f) : fake(f) {}
    // Logged among the platform calls too, so its place between them shows.
    void YieldToPendingEvents() override {
        events.push_back("yield");
        fake.calls.push_back("Yield");
    }
    void LoadForm1(Module1&) override { events.push_back("LoadForm1"); }
};

struct Startup : ::testing::Test {
    FakePlatform fake;
    Module1 m{fake};
    Host host{fake};
    Startup() {
        fake.AddProcess(0, "");
        fake.AddProcess(4, "");
        fake.AddProcess(4000, "C:\\Apps\\Marrowbine\\MarrowbineJr.exe");
        fake.AddProcess(500, "C:\\Apps\\t.exe");
        fake.files[L"C:\\Apps\\Marrowbine\\My Favs 2"] = "h\r\nx\t1\tHigh\tC:\\Apps\\t.exe\r\n";
    }
};

TEST_F(Startup, ASecondInstanceEndsAtOnceTouchingNothing) {
    fake.previousInstance = true;
    fake.commandLine = L"/My Favs 2 /exit";
    Main(m, host);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"PreviousInstanceRunning"}));
    EXPECT_TRUE(host.events.empty());
}

TEST_F(Startup, PreparesTheProcessInOrderThenMakesOnePass) {
    fake.commandLine = L"/My Favs 2 /exit";
    fake.numberOfProcessors = 12;
    fake.Find(4000)->priority = 0x20;
    Main(m, host);
    std::vector<std::string> firsts;
    for (const std::string& c : fake.calls) {
        for (const char* marker : {"AdjustTokenPrivileges", "SetPriorityClass(0x8000)", "GetWindowsDirectoryW",
                                   "GetSystemInfo", "CommandLineArgs", "ReadWholeFile", "Yield", "EnumProcesses"})
            if (c.rfind(marker, 0) == 0 && (firsts.empty() || firsts.back() != marker)) firsts.push_back(marker);
    }
    EXPECT_EQ(firsts, (std::vector<std::string>{"AdjustTokenPrivileges", "SetPriorityClass(0x8000)",
                                                "GetWindowsDirectoryW", "GetSystemInfo", "CommandLineArgs",
                                                "ReadWholeFile", "Yield", "EnumProcesses", "Yield"}));
    EXPECT_EQ(fake.calls.back(), "Yield");  // after the pass's last call
    EXPECT_EQ(fake.CallsNamed("CommandLineArgs"), 2u);
    EXPECT_EQ(fake.Find(4000)->priority, 0x8000u);
    EXPECT_EQ(fake.Find(500)->priority, 0x80u);
    EXPECT_EQ(fake.Find(500)->affinity, 0x2u);
    EXPECT_EQ(m.Cpu.MaxCpuIndex, 7);
    EXPECT_EQ(m.Cpu.CpuBits, (std::vector<std::int32_t>{1, 2, 4, 8}));
    EXPECT_EQ(m.WindowsDirPrefix, L"C:\\WINDOWS\\");
    EXPECT_EQ(host.events, (std::vector<std::string>{"yield", "yield"}));
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST_F(Startup, ResidentModeLoadsTheWindowAndNotTheProfile) {
    for (const wchar_t* args : {L"", L"   ", L"/My Favs 2 /enforce:30"}) {
        FakePlatform f;
        f.commandLine = args;
        Module1 mod{f};
        Host h{f};
        Main(mod, h);
        EXPECT_EQ(h.events, (std::vector<std::string>{"LoadForm1"}));
        EXPECT_EQ(f.CallsNamed("ReadWholeFile"), 0u);
        EXPECT_EQ(f.CallsNamed("EnumProcesses"), 0u);
    }
}

TEST_F(Startup, OneShotWithAFailedLoadStillMakesItsPassAndChangesNothing) {
    fake.commandLine = L"/My Favs 9/exit";
    Main(m, host);
    EXPECT_EQ(fake.CallsNamed("EnumProcesses(16)"), 1u);
    EXPECT_EQ(fake.Find(500)->priority, 0x20u);
    EXPECT_EQ(m.Favorites.Count(), 0);
    EXPECT_EQ(host.events.size(), 2u);
}

TEST_F(Startup, AFailedOwnPriorityIsCounted) {
    fake.commandLine = L"exit";
    fake.Find(4000)->setPriorityFails = true;
    Main(m, host);
    EXPECT_EQ(m.PriorityErrors.Value(), 1);
}

}  // namespace
}  // namespace mjr
