#include "app/main.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "app/reset_request.h"
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

constexpr wchar_t kLocalObject[] = L"Local\\MarrowbineJr.SingleInstance";

struct Startup : ::testing::Test {
    FakePlatform fake;
    Module1 m{fake};
    Host host{fake};
    SingleInstance instance{fake};
    Startup() {
        fake.AddProcess(0, "");
        fake.AddProcess(4, "");
        fake.AddProcess(4000, "C:\\Apps\\Marrowbine\\MarrowbineJr.exe");
        fake.AddProcess(500, "C:\\Apps\\t.exe");
        fake.files[L"C:\\Apps\\Marrowbine\\My Favs 2"] = "h\r\nx\t1\tHigh\tC:\\Apps\\t.exe\r\n";
    }
};

TEST_F(Startup, ASecondInstanceEndsAtOnceTouchingNothing) {
    fake.namedObjects[kLocalObject] = 1;
    fake.commandLine = L"/My Favs 2 /exit";
    EXPECT_EQ(Main(m, host, instance), kExitGaveWay);
    for (const char* untouched : {"AdjustTokenPrivileges", "SetPriorityClass", "CreateFileW",
                                  "EnumProcesses", "GetSystemInfo"})
        EXPECT_EQ(fake.CallsNamed(untouched), 0u) << untouched;
    EXPECT_TRUE(host.events.empty());
    fake.commandLine = L"/My Favs 2";  // a resident start that gives way ends as ever
    EXPECT_EQ(Main(m, host, instance), kExitApplied);
}

// Who may stop a start: what the earlier copies and other processes hold, whether this
// start is elevated, and whether Windows offers private namespaces.
struct InstanceCase {
    const char* name;
    bool elevated;
    bool localHeld;         // an earlier unelevated copy, or a squatter
    bool localDenied;       // held by a process this one may not open (an elevated copy, a DACL)
    Dword earlierElevated;  // session of an earlier elevated copy, 0 for none
    bool namespacesMissing;
    const char* failingCall;
    bool ends;
    bool heldPrivately;
    bool privateDenied = false;  // the private mutex answers access denied
};

class InstanceTest : public ::testing::TestWithParam<InstanceCase> {};

TEST_P(InstanceTest, EndsOnlyForACopyThatCounts) {
    const InstanceCase& c = GetParam();
    FakePlatform fake;
    fake.privateNamespaceCallsMissing = c.namespacesMissing;
    {
        std::optional<SingleInstance> earlier;
        if (c.earlierElevated) {
            fake.elevated = true;
            fake.sessionId = c.earlierElevated;
            earlier.emplace(fake);
            ASSERT_FALSE(earlier->AnotherInstanceRuns());
            fake.sessionId = 1;
        }
        if (c.localHeld) fake.namedObjects[kLocalObject] += 1;
        if (c.localDenied) fake.deniedObjects.insert(kLocalObject);
        if (c.failingCall) fake.failingCalls.insert(c.failingCall);
        if (c.privateDenied) fake.deniedObjects.insert(L"MarrowbineJr\\SingleInstance.Session1");
        fake.elevated = c.elevated;
        SingleInstance instance(fake);
        EXPECT_EQ(instance.AnotherInstanceRuns(), c.ends);
        EXPECT_EQ(instance.AnotherInstanceRuns(), c.ends);  // asked once, answered the same way
        EXPECT_EQ(instance.HeldInPrivateNamespace(), c.heldPrivately);
        fake.failingCalls.clear();
        if (!c.ends) {
            // While it runs, a later unelevated start in its session ends at once; a later
            // elevated one gives way only to a copy holding the elevated object (or where
            // there are no private namespaces at all).
            for (bool laterElevated : {false, true}) {
                fake.elevated = laterElevated;
                EXPECT_EQ(SingleInstance(fake).AnotherInstanceRuns(),
                          !laterElevated || c.heldPrivately || c.namespacesMissing)
                    << "later elevated " << laterElevated;
            }
        }
    }
    // Mutexes, namespaces and boundary descriptors all released, each by its own call.
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
    EXPECT_EQ(fake.badCloses, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, InstanceTest, ::testing::Values(
    InstanceCase{"unelevated_alone", false, false, false, 0, false, nullptr, false, false},
    InstanceCase{"unelevated_beside_a_copy", false, true, false, 0, false, nullptr, true, false},
    InstanceCase{"unelevated_beside_an_elevated_copy", false, false, true, 0, false, nullptr, true, false},
    InstanceCase{"unelevated_after_an_elevated_copy", false, false, false, 1, false, nullptr, true, false},
    InstanceCase{"elevated_alone", true, false, false, 0, false, nullptr, false, true},
    InstanceCase{"elevated_beside_a_squatter", true, true, false, 0, false, nullptr, false, true},
    InstanceCase{"elevated_beside_a_squatter_that_shuts_it_out", true, false, true, 0, false, nullptr, false, true},
    InstanceCase{"elevated_after_an_elevated_copy", true, false, false, 1, false, nullptr, true, true},
    InstanceCase{"elevated_when_the_private_mutex_is_denied", true, false, false, 0, false, nullptr, true, false, true},
    InstanceCase{"elevated_beside_an_elevated_copy_of_another_session", true, false, false, 2, false, nullptr, false, true},
    InstanceCase{"elevated_without_namespaces", true, false, false, 0, true, nullptr, false, false},
    InstanceCase{"elevated_without_namespaces_beside_a_copy", true, true, false, 0, true, nullptr, true, false},
    InstanceCase{"elevated_when_the_namespace_fails", true, false, false, 0, false, "CreatePrivateNamespaceW", false, false},
    InstanceCase{"elevated_when_the_label_fails", true, true, false, 0, false, "AddIntegrityLabelToBoundaryDescriptor", true, false},
    InstanceCase{"elevation_unreadable_counts_as_unelevated", true, true, false, 0, false, "GetTokenInformation", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Startup, PreparesTheProcessInOrderThenMakesOnePass) {
    fake.commandLine = L"/My Favs 2 /exit";
    fake.numberOfProcessors = 12;
    fake.Find(4000)->priority = 0x20;
    Main(m, host, instance);
    std::vector<std::string> firsts;
    for (const std::string& c : fake.calls) {
        for (const char* marker : {"AdjustTokenPrivileges", "SetPriorityClass(0x8000)", "GetWindowsDirectoryW",
                                   "GetSystemInfo", "CommandLineArgs", "CreateFileW", "Yield", "EnumProcesses"})
            if (c.rfind(marker, 0) == 0 && (firsts.empty() || firsts.back() != marker)) firsts.push_back(marker);
    }
    // The command line first: "/reset" is handled before all else.
    EXPECT_EQ(firsts, (std::vector<std::string>{"CommandLineArgs", "AdjustTokenPrivileges", "SetPriorityClass(0x8000)",
                                                "GetWindowsDirectoryW", "GetSystemInfo", "CreateFileW",
                                                "GetWindowsDirectoryW", "Yield", "EnumProcesses", "Yield"}));
    EXPECT_EQ(fake.calls.back(), "Yield");  // after the pass's last call
    EXPECT_EQ(fake.CallsNamed("CommandLineArgs"), 1u);
    EXPECT_EQ(fake.Find(4000)->priority, 0x8000u);
    EXPECT_EQ(fake.Find(500)->priority, 0x80u);
    EXPECT_EQ(fake.Find(500)->affinity, 0x2u);
    EXPECT_EQ(m.Cpu.MaxCpuIndex, 7);
    EXPECT_EQ(m.Cpu.CpuBits, (std::vector<std::int32_t>{1, 2, 4, 8}));
    EXPECT_EQ(m.WindowsDirPrefix, L"C:\\WINDOWS\\");
    EXPECT_EQ(host.events, (std::vector<std::string>{"yield", "yield"}));
    EXPECT_EQ(fake.OpenHandleCount(), 1u);  // the single-instance object, held for the program's life
}

TEST_F(Startup, ResidentModeLoadsTheWindowAndNotTheProfile) {
    for (const wchar_t* args : {L"", L"   ", L"/My Favs 2 /enforce:30"}) {
        FakePlatform f;
        f.commandLine = args;
        Module1 mod{f};
        Host h{f};
        SingleInstance only{f};
        Main(mod, h, only);
        EXPECT_EQ(h.events, (std::vector<std::string>{"LoadForm1"}));
        EXPECT_EQ(f.CallsNamed("CreateFileW"), 0u);
        EXPECT_EQ(f.CallsNamed("EnumProcesses"), 0u);
    }
}

TEST_F(Startup, OneShotWithAFailedLoadStillMakesItsPassAndChangesNothing) {
    fake.commandLine = L"/My Favs 9/exit";
    EXPECT_EQ(Main(m, host, instance), kExitProfileNotLoaded);
    EXPECT_EQ(fake.CallsNamed("EnumProcesses(16)"), 1u);
    EXPECT_EQ(fake.Find(500)->priority, 0x20u);
    EXPECT_EQ(m.Favorites.Count(), 0);
    EXPECT_EQ(host.events.size(), 2u);
}

TEST_F(Startup, AFailedOwnPriorityIsCountedButIsNotThePass) {
    fake.commandLine = L"/My Favs 2 /exit";
    fake.Find(4000)->setPriorityFails = true;
    EXPECT_EQ(Main(m, host, instance), kExitApplied);
    EXPECT_EQ(m.PriorityErrors.Value(), 1);
}

TEST_F(Startup, ARefusedSetOfThePassEndsWithTwo) {
    fake.commandLine = L"/My Favs 2 /exit";
    fake.Find(500)->setPriorityFails = true;
    EXPECT_EQ(Main(m, host, instance), kExitSetFailed);
}

// "/reset" only increases the number the running copies watch, in the 64-bit view from the
// 32-bit program too; it is no copy: no instance object, privilege, priority or window.
TEST(Reset, IncreasesTheNumberAndStartsNothing) {
    struct Case { std::uint8_t before; bool wow64; const char* failing; Lstatus error; int status; std::uint64_t after; };
    for (const Case& c : {Case{0, false, nullptr, 0, 0, 1}, Case{41, false, nullptr, 0, 0, 42}, Case{41, true, nullptr, 0, 0, 42},
                          Case{41, false, "RegCreateKeyExW", 5, 4, 41}, Case{41, false, "RegCreateKeyExW", 1016, 5, 41},
                          Case{41, false, "RegSetValueExW", 5, 4, 41}, Case{41, false, "RegSetValueExW", 1450, 5, 41}}) {
        FakePlatform fake;
        fake.commandLine = L" /Reset ";
        fake.wow64 = c.wow64;
        if (c.failing) fake.registryErrors[c.failing] = c.error;
        if (c.before) fake.ChangeRegistry(L"HKLM\\Software\\Marrowbine Jr", kResetRequestValue, {{kRegQword, {c.before, 0, 0, 0, 0, 0, 0, 0}}});
        Module1 m{fake};
        Host host{fake};
        SingleInstance instance{fake};
        EXPECT_EQ(Main(m, host, instance), c.status) << c.before << c.failing;
        auto& values = fake.registry[L"HKLM\\Software\\Marrowbine Jr"].values;
        std::uint64_t after = 0;
        if (values.count(kResetRequestValue)) std::memcpy(&after, values[kResetRequestValue].second.data(), 8);
        EXPECT_EQ(after, c.after) << c.before << c.failing;
        for (const char* untouched : {"CreateMutexW", "OpenProcessToken", "SetPriorityClass", "GetSystemInfo", "CreateFileW"})
            EXPECT_EQ(fake.CallsNamed(untouched), 0u) << untouched;
        EXPECT_TRUE(host.events.empty());
        EXPECT_EQ(fake.OpenHandleCount(), 0u);
    }
}

}  // namespace
}  // namespace mjr
