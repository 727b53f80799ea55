#include "doctor/try_mode.h"

#include <functional>

#include <gtest/gtest.h>

#include "engine/cpu_list.h"
#include "platform/fake_platform.h"

namespace mjr::doctor {
namespace {

using testing::FakePlatform;

struct Lines : ReportWriter {
    std::wstring all;
    void Line(std::wstring_view text) override { all += std::wstring(text) + L"\n"; }
    void ErrorLine(std::wstring_view text) override { Line(text); }
};

// The waiting copy the fake starts first.
constexpr Dword kCopy = 5000;

struct TryRow {
    const char* name;
    std::function<void(FakePlatform&)> world;
    std::vector<std::wstring> says;
    int status;
};

// Each row a PC: one line a verdict, and the exit status it leads to.
TEST(Try, GivesEachPlacementOneVerdict) {
    const auto copyFlags = [](void (*set)(testing::FakeProcess&)) {
        return [set](FakePlatform& f) {
            f.onCall = [&f, set](const std::string& call) {
                if (call == "ResumeThread") set(*f.Find(kCopy));
            };
        };
    };
    const TryRow rows[] = {
        {"everything works", [](FakePlatform&) {},
         {L"This run: elevated; debug privilege held and enabled", L"Hard affinity, processor 3 alone and back: works.",
          L"Priority Low: works.", L"Priority Real: works; without the right to raise scheduling priority "
          L"(SeIncreaseBasePriorityPrivilege) Windows makes Real High, and this run holds it.",
          L"Default CPU set, processor 3 (group 0) alone and back: works.", L"Power Eco (EcoQoS on): works.",
          L"Power NoEco (EcoQoS off, timer resolution kept): works.", L"(the retry for Windows 10): works.",
          L"Private namespace (where the elevated program keeps its single-instance object): made, with an object in it, "
          L"and closed at once.", L"Logon task \"Marrowbine Jr\": not registered", L"Result: every set this Windows has works."},
         0},
        {"Wine 8", [](FakePlatform& f) { f.getCpuSetsCallMissing = f.getProcessInformationMissing = true; f.powerSetError = 1; },
         {L"processor 3 (group 0) alone and back: set accepted, but cannot be read back here (GetProcessDefaultCpuSets is missing).",
          L"Power Eco (EcoQoS on): refused (error 1: Incorrect function).", L"Result: 3 sets this Windows has did not work."},
         1},
        {"before Windows 10", [](FakePlatform& f) { f.setCpuSetsCallMissing = f.privateNamespaceCallsMissing = true; f.powerSetError = 87; },
         {L"CPU sets: not on this Windows (SetProcessDefaultCpuSets is missing).", L"Power Eco (EcoQoS on): not on this "
          L"Windows (SetProcessInformation does not know this information class: error 87: The parameter is incorrect).",
          L"object): no boundary descriptor (error 127); the elevated program falls back to its session's object."},
         0},
        {"a refused set", copyFlags([](testing::FakeProcess& p) { p.setAffinityFails = true; }),
         {L"processor 3 alone and back: refused (error 5: Access is denied).", L"Result: 1 set this"}, 1},
        {"refused for want of rights", [&](FakePlatform& f) { f.elevated = false; f.powerSetError = 1; copyFlags([](testing::FakeProcess& p) { p.setPriorityFails = true; })(f); },
         {L"This run: not elevated", L"Priority High: refused (error 5: Access is denied); this follows from this run's rights",
          L"made (CreatePrivateNamespaceW: error 5: Access is denied); only an elevated run can make one",
          L"Result: 3 sets this Windows has did not work; 6 more follow from this run's rights and are not counted."},
         1},
        // A set Windows guards by a privilege: this run's want when not elevated, a refusal when elevated.
        {"a privilege not held, not elevated", [&](FakePlatform& f) { f.elevated = false; copyFlags([](testing::FakeProcess& p) { p.setsNeedPrivilege = 14; })(f); },
         {L"Priority Low: refused (error 1314: A required privilege is not held by the client); this follows from this run's rights",
          L"Result: every set this Windows has works; 11 more follow"}, 0},
        {"a privilege not held, elevated", copyFlags([](testing::FakeProcess& p) { p.setsNeedPrivilege = 14; }),
         {L"Priority Low: refused (error 1314: A required privilege is not held by the client).", L"Result: 11 sets"}, 1},
        {"the logon task shut out", [](FakePlatform& f) { f.scheduledTaskReadError = 5; },
         {L"Logon task \"Marrowbine Jr\": cannot be read through the Task Scheduler: 0x80070005 (error 5: Access is denied)."}, 0},
        {"privileges unreadable", [](FakePlatform& f) { f.failingCalls = {"GetTokenInformation(3)"}; },
         {L"debug privilege cannot be read;", L"this run cannot tell whether it holds it"}, 0},
        {"Real without the right", [](FakePlatform& f) { f.tokenPrivileges.erase(14); },
         {L"Priority Real: set accepted, but Windows made it High; without the right to raise scheduling priority "
          L"(SeIncreaseBasePriorityPrivilege) Windows makes Real High, and this run lacks it",
          L"Result: every set this Windows has works; 1 more follow"}, 0},
        {"no debug privilege", [](FakePlatform& f) { f.adjustTokenResult = 0; }, {L"debug privilege held, not enabled;"}, 0},
        {"a read that fails", copyFlags([](testing::FakeProcess& p) { p.getPriorityFails = true; }),
         {L"Priority Above: set accepted, but cannot be read back here (GetPriorityClass: error "}, 0},
        {"Windows 10 with a power read", [](FakePlatform& f) { f.timerResolutionRefused = true; },
         {L"(EcoQoS off, timer resolution kept): set accepted, but reads back a state that is not never-throttled.",
          L"(the retry for Windows 10): works."}, 1},
        {"no job for the copy", [](FakePlatform& f) { f.failingCalls = {"AssignProcessToJobObject"}; },
         {L"Try: no waiting copy of the doctor to try on: it cannot be put in a job object (error 5: Access is denied), "
          L"so it was ended untried; nothing was tried."}, 1},
        {"two groups", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::TwoGroups128); },
         {L"Machine: 2 processor groups; group 0: 64 processors (0-63); group 1: 64 processors (64-127).",
          // The 32-bit program names 32 processors of its group; a cache beyond them it cannot name.
          L"Hard affinity, processor " + std::to_wstring(kMaskBits - 1) + L" alone and back: works.",
          kMaskBits == 64 ? L"32 MB for group 0's processors 32-63;" : L"32 MB for group 0's processors beyond this program's 32;",
          L"processor 63 (group 0) alone and back: works.", L"processor 127 (group 1) alone and back: works."}, 0},
        // Error 87 is a refusal for a call that takes no information class, and 50 a class this build predates.
        {"a refused CPU set", [](FakePlatform& f) { f.failingCalls = {"SetProcessDefaultCpuSets"}; },
         {L"processor 3 (group 0) alone and back: refused (error 87"}, 1},
        {"a power class this build predates", [](FakePlatform& f) { f.powerSetError = 50; },
         {L"Power Eco (EcoQoS on): not on this Windows (SetProcessInformation does not know this information class: error 50"}, 0},
        {"hybrid", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::Hybrid28); },
         {L"Efficiency classes (higher is faster): 1 on 0-15; 0 on 16-27.\n", L"P 0-15, E 16-27, C 0-27; after \"~\": P 0-15, E 16-27, C 0-27."}, 0},
        {"two dies", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::TwoDie32); },
         {L"Level-3 caches: 96 MB for group 0's processors 0-15; 32 MB for group 0's processors 16-31.\n",
          L"C 0-15; after \"~\": P 0-31, E none, C 0-15."}, 0},
        {"the logon task", [](FakePlatform& f) {
             f.scheduledTask = ScheduledTaskRecord{L"", L"S-1-5-32-545", 1, 4, L"\"C:\\Jr\\MarrowbineJr64.exe\"", L"/enforce:30",
                                                   2, L"O:BAD:(A;;FA;;;BA)", 0x41303, true}; },
         {L"Logon task \"Marrowbine Jr\": runs for the group \"S-1-5-32-545\", with the highest rights each has (elevated "
          L"for administrators); starts \"C:\\Jr\\MarrowbineJr64.exe\" with \"/enforce:30\" and 1 more.\nLogon task descriptor: "
          L"O:BAD:(A;;FA;;;BA); last result 0x41303 (it has not run yet)."}, 0},
        {"a disabled task of one user and one program", [](FakePlatform& f) {
             f.scheduledTask = ScheduledTaskRecord{L"PC\\me", L"", 0, 3, L"C:\\x.exe", L"", 1, L"", 0, false}; },
         {L"runs for the user \"PC\\me\", with least rights (never elevated); starts C:\\x.exe; it is disabled.\n"
          L"Logon task descriptor: cannot be read; last result 0 (it ran and ended without an error)."}, 0},
    };
    for (const TryRow& row : rows) {
        FakePlatform fake;
        fake.elevated = true;
        row.world(fake);
        Lines out;
        EXPECT_EQ(RunDoctor(fake, &fake, {L"--try"}, CheckerBuild{}, out), row.status) << row.name;
        for (const std::wstring& part : row.says)
            EXPECT_NE(out.all.find(part), std::wstring::npos)
                << row.name << ": " << std::string(part.begin(), part.end()) << "\n" << std::string(out.all.begin(), out.all.end());
        // Whatever happened, the copy has ended and nothing stays open.
        ASSERT_NE(fake.Find(kCopy), nullptr) << row.name;
        EXPECT_TRUE(fake.Find(kCopy)->exited) << row.name;
        EXPECT_EQ(fake.OpenHandleCount(), 0u) << row.name;
    }
}

TEST(Try, TheCopyOnlyWaitsForTheDoctor) {
    FakePlatform fake;
    Lines out;
    EXPECT_EQ(RunDoctor(fake, &fake, {kWaitingOption, L"4000"}, CheckerBuild{}, out), 0);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"OpenProcess(0x100000,0,4000)", "WaitForSingleObject(0xFFFFFFFF)", "CloseHandle"}));
    for (const wchar_t* pid : {L"", L"40x0", L"99999999999"}) EXPECT_EQ(RunWaitingCopy(fake, fake, pid), kExitUsage);
    EXPECT_EQ(RunWaitingCopy(fake, fake, L"2147483639"), 0);  // every digit, to the largest identifier
    EXPECT_EQ(RunDoctor(fake, &fake, {L"--try", L"My Favs 2"}, CheckerBuild{}, out), kExitUsage);
    // The doctor starts it suspended, without a window, naming itself.
    RunDoctor(fake, &fake, {L"--try"}, CheckerBuild{}, out);
    EXPECT_EQ(fake.CallsNamed("CreateProcessW(\"C:\\Apps\\Marrowbine\\MarrowbineJrCheck64.exe\" --try-waiting 4000,0x8000004)"), 1u);
}

}  // namespace
}  // namespace mjr::doctor
