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

// The program the fake starts first: the one tried on.
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
                if (call == "AssignProcessToJobObject") set(*f.Find(kCopy));
            };
        };
    };
    // Only the nth call (from 0) whose record begins with `call` fails: a set, or a set-back.
    const auto nthFails = [](std::string call, int nth) {
        return [call, nth](FakePlatform& f) {
            f.onCall = [&f, call, nth, seen = 0](const std::string& made) mutable {
                if (made.rfind(call, 0) != 0) return;
                const bool fail = seen++ == nth;
                if (testing::FakeProcess* p = f.Find(kCopy)) p->setAffinityFails = fail;
                if (fail) f.failingCalls.insert(call);
                else f.failingCalls.erase(call);
            };
        };
    };
    const TryRow rows[] = {
        {"everything works", [](FakePlatform&) {},
         {L"This run: elevated; debug privilege held and enabled", L"Try: each kind of placement, on "
          L"C:\\WINDOWS\\system32\\whoami.exe (pid 5000), started suspended so that it never runs, and ended with the "
          L"doctor",
          L"This PC lets the program set a hard affinity, processor 3 alone and back: yes (SetProcessAffinityMask).",
          L"set the priority Low: yes (SetPriorityClass).", L"set the priority Real: yes (SetPriorityClass); without the "
          L"right to raise scheduling priority (SeIncreaseBasePriorityPrivilege) Windows makes Real High, and this run holds it.",
          L"set CPU sets (\"~\"), processor 3 of group 0 alone and back: yes (SetProcessDefaultCpuSets).",
          L"set efficiency mode (+Eco, EcoQoS on): yes", L"(+NoEco, EcoQoS off, timer resolution kept): yes",
          L"as Windows 10 takes it (+NoEco without the timer-resolution flag): yes (SetProcessInformation).",
          L"Private namespace (where the elevated program keeps its single-instance object): made, with an object in it, "
          L"and closed at once.", L"Logon task \"Marrowbine Jr\": not registered", L"Result: every set this Windows has works."},
         0},
        {"Wine 8", [](FakePlatform& f) { f.getCpuSetsCallMissing = f.getProcessInformationMissing = true; f.powerSetError = 1; },
         {L"processor 3 of group 0 alone and back: yes, but it cannot be read back here (GetProcessDefaultCpuSets is missing).",
          L"set efficiency mode (+Eco, EcoQoS on): no: Windows refuses it (SetProcessInformation: error 1: Incorrect function).",
          L"Result: 3 sets this Windows has did not work: leave +Eco and +NoEco out of this PC's profile.\n"},
         1},
        {"before Windows 10", [](FakePlatform& f) { f.setCpuSetsCallMissing = f.privateNamespaceCallsMissing = true; f.powerSetError = 87; },
         {L"set CPU sets (\"~\"): not on this Windows (SetProcessDefaultCpuSets is missing).", L"set efficiency mode (+Eco, "
          L"EcoQoS on): not on this Windows (SetProcessInformation does not know this information class: error 87: The "
          L"parameter is incorrect).", L"Result: every set this Windows has works; for what this Windows lacks, write lists "
          L"without \"~\" (a hard affinity) on this PC; leave +Eco and +NoEco out of this PC's profile.\n",
          L"object): no boundary descriptor (error 127); the elevated program falls back to its session's object."},
         0},
        {"a refused set", copyFlags([](testing::FakeProcess& p) { p.setAffinityFails = true; }),
         {L"processor 3 alone and back: no: Windows refuses it (SetProcessAffinityMask: error 5: Access is denied).",
          L"Result: 1 set this Windows has did not work: write Default for the CPUs of this PC's favourites.\n"}, 1},
        // A set and its set-back count as one: refused when either is.
        {"a refused set, a working set-back", nthFails("SetProcessAffinityMask", 0),
         {L"processor 3 alone and back: no: Windows refuses it (SetProcessAffinityMask: error 5: Access is denied).",
          L"Result: 1 set this Windows has did not work"}, 1},
        {"a working set, a refused set-back", nthFails("SetProcessAffinityMask", 1),
         {L"processor 3 alone and back: no: Windows refuses it (SetProcessAffinityMask: error 5"}, 1},
        {"CPU sets that cannot be read back, a refused set-back", [&](FakePlatform& f) {
             f.getCpuSetsCallMissing = true;
             nthFails("SetProcessDefaultCpuSets", 1)(f); },
         {L"processor 3 of group 0 alone and back: no: Windows refuses it (SetProcessDefaultCpuSets: error 87"}, 1},
        {"no CPU sets listed", [](FakePlatform& f) { f.cpuSetCallMissing = true; },
         {L"Machine: 1 processor group; this Windows lists no CPU sets, so only this program's group is known: 4 "
          L"processors.\n"}, 0},
        {"refused priorities", copyFlags([](testing::FakeProcess& p) { p.setPriorityFails = true; }),
         {L"Result: 6 sets this Windows has did not work: give this PC's favourites another priority than Low; ",
          L"than High; write High instead of Real on this PC.\n"}, 1},
        {"refused for want of rights", [&](FakePlatform& f) { f.elevated = false; f.powerSetError = 1; copyFlags([](testing::FakeProcess& p) { p.setPriorityFails = true; })(f); },
         {L"This run: not elevated", L"set the priority High: no: Windows refuses it (SetPriorityClass: error 5: Access is "
          L"denied); this follows from this run's rights", L"made (CreatePrivateNamespaceW: error 5: Access is denied); only "
          L"an elevated run can make one", L"did not work: leave +Eco and +NoEco out of this PC's profile; 6 more follow "
          L"from this run's rights and are not counted: run the doctor as administrator, as the program runs.\n"},
         1},
        // A set Windows guards by a privilege: this run's want when not elevated, a refusal when elevated.
        {"a privilege not held, not elevated", [&](FakePlatform& f) { f.elevated = false; copyFlags([](testing::FakeProcess& p) { p.setsNeedPrivilege = 14; })(f); },
         {L"set the priority Low: no: Windows refuses it (SetPriorityClass: error 1314: A required privilege is not held by "
          L"the client); this follows from this run's rights (not elevated), so it is not counted.",
          L"Result: every set this Windows has works; 11 more follow"}, 0},
        {"a privilege not held, elevated", copyFlags([](testing::FakeProcess& p) { p.setsNeedPrivilege = 14; }),
         {L"set the priority Low: no: Windows refuses it (SetPriorityClass: error 1314: A required privilege is not held by "
          L"the client).\n", L"Result: 11 sets"}, 1},
        {"the logon task shut out", [](FakePlatform& f) { f.scheduledTaskReadError = 5; },
         {L"Logon task \"Marrowbine Jr\": cannot be read through the Task Scheduler: 0x80070005 (error 5: Access is denied)."}, 0},
        {"privileges unreadable", [](FakePlatform& f) { f.failingCalls = {"GetTokenInformation(3)"}; },
         {L"debug privilege cannot be read;", L"this run cannot tell whether it holds it"}, 0},
        {"Real without the right", [](FakePlatform& f) { f.tokenPrivileges.erase(14); },
         {L"set the priority Real: no: Windows made it High (SetPriorityClass); without the right to raise scheduling "
          L"priority (SeIncreaseBasePriorityPrivilege) Windows makes Real High, and this run lacks it",
          L"Result: every set this Windows has works; 1 more follows from this run's rights and is not counted: run"}, 0},
        {"no debug privilege", [](FakePlatform& f) { f.adjustTokenResult = 0; }, {L"debug privilege held, not enabled;"}, 0},
        {"a read that fails", copyFlags([](testing::FakeProcess& p) { p.getPriorityFails = true; }),
         {L"set the priority Above: yes, but it cannot be read back here (GetPriorityClass: error "}, 0},
        {"Windows 10 with a power read", [](FakePlatform& f) { f.timerResolutionRefused = true; },
         {L"(+NoEco, EcoQoS off, timer resolution kept): no: it reads back a state that is not never-throttled "
          L"(SetProcessInformation).", L"(+NoEco without the timer-resolution flag): yes"}, 1},
        {"no job for the program", [](FakePlatform& f) { f.failingCalls = {"AssignProcessToJobObject"}; },
         {L"Try: no program to try on: \"C:\\WINDOWS\\system32\\whoami.exe\" cannot be put in a job object (error 5: "
          L"Access is denied), so it was ended untried; nothing was tried."}, 1},
        {"no job at all", [](FakePlatform& f) { f.failingCalls = {"SetJobKillOnClose"}; },
         {L"Try: no program to try on: no job object to hold \"C:\\WINDOWS\\system32\\whoami.exe\" (error 5"}, 1},
        {"not started", [](FakePlatform& f) { f.failingCalls = {"CreateProcessW"}; },
         {L"Try: no program to try on: \"C:\\WINDOWS\\system32\\whoami.exe\" cannot be started (error 5"}, 1},
        {"no system folder", [](FakePlatform& f) { f.failingCalls = {"GetSystemDirectoryW"}; },
         {L"Try: no program to try on: Windows does not say where its system folder is (error 5: Access is denied); "
          L"nothing was tried."}, 1},
        {"a system folder past MAX_PATH", [](FakePlatform& f) { f.systemDirectory = L"C:\\" + std::wstring(258, L'w'); },
         {L"Try: no program to try on: Windows does not say"}, 1},
        {"two groups", [](FakePlatform& f) { f.UseMachine(FakePlatform::Machine::TwoGroups128); },
         {L"Machine: 2 processor groups; group 0: 64 processors (0-63); group 1: 64 processors (64-127).",
          // The 32-bit program names 32 processors of its group; a cache beyond them it cannot name.
          L"set a hard affinity, processor " + std::to_wstring(kMaskBits - 1) + L" alone and back: yes",
          kMaskBits == 64 ? L"32 MB for group 0's processors 32-63;" : L"32 MB for group 0's processors beyond this program's 32;",
          L"processor 63 of group 0 alone and back: yes", L"processor 127 of group 1 alone and back: yes"}, 0},
        // Error 87 is a refusal for a call that takes no information class, and 50 a class this build predates.
        {"a refused CPU set", [](FakePlatform& f) { f.failingCalls = {"SetProcessDefaultCpuSets"}; },
         {L"processor 3 of group 0 alone and back: no: Windows refuses it (SetProcessDefaultCpuSets: error 87"}, 1},
        {"a power class this build predates", [](FakePlatform& f) { f.powerSetError = 50; },
         {L"set efficiency mode (+Eco, EcoQoS on): not on this Windows (SetProcessInformation does not know this "
          L"information class: error 50"}, 0},
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
        // Whatever happened, what was started has ended and nothing stays open.
        if (const testing::FakeProcess* started = fake.Find(kCopy)) {
            EXPECT_TRUE(started->exited) << row.name;
            // Each set is set back after it: only a refusal leaves the program placed.
            if (!started->defaultCpuSets.empty()) {
                EXPECT_NE(out.all.find(L"(SetProcessDefaultCpuSets: error"), std::wstring::npos) << row.name;
            }
        }
        EXPECT_EQ(fake.OpenHandleCount(), 0u) << row.name;
    }
}

TEST(Try, StartsOnlyWindowsOwnProgramSuspended) {
    FakePlatform fake;
    Lines out;
    EXPECT_EQ(RunDoctor(fake, &fake, {L"--try", L"My Favs 2"}, CheckerBuild{}, out), kExitUsage);
    // By its full path, never searched for; suspended, without a window, and nothing lets it run.
    RunDoctor(fake, &fake, {L"--try"}, CheckerBuild{}, out);
    EXPECT_EQ(fake.CallsNamed("CreateProcessW(C:\\WINDOWS\\system32\\whoami.exe|\"C:\\WINDOWS\\system32\\whoami.exe\",0x8000004)"), 1u);
}

}  // namespace
}  // namespace mjr::doctor
