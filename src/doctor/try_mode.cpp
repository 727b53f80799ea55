#include "doctor/try_mode.h"

#include <algorithm>
#include <cwchar>
#include <map>
#include <optional>
#include <vector>

#include "app/single_instance.h"
#include "doctor/cpu_list_findings.h"
#include "doctor/report_text.h"
#include "doctor/try_result.h"
#include "engine/affinity.h"
#include "engine/cpu_sets.h"
#include "engine/power.h"
#include "engine/priority.h"
#include "engine/process_handles.h"
#include "installer/logon_task.h"
#include "privilege/debug_privilege.h"
#include "privilege/token_rights.h"

namespace mjr::doctor {
namespace {

constexpr Dword kCpuSetAccess = kProcessSetLimitedInformation | kProcessQueryLimitedInformation;
// The program the settings are tried on: Windows' own, from the system folder only
// administrators can change, never found through the search path. Started suspended, none
// of its code ever runs.
constexpr wchar_t kTrialProgram[] = L"whoami.exe";
constexpr Dword kSystemFolderChars = 261;  // MAX_PATH and the NUL
constexpr std::int32_t kTaskMissing = static_cast<std::int32_t>(0x80070002);
constexpr std::int32_t kTaskRunning = 0x41301;
constexpr std::int32_t kTaskHasNotRun = 0x41303;

enum class Verdict { Works, Unreadable, Refused, NotHere, Differs };

struct Outcome {
    Verdict verdict = Verdict::Works;
    Dword error = 0;
    std::wstring detail;   // Unreadable, NotHere: why; Differs: what reads back
    bool counted = true;   // Differs that this run's rights explain are not
};

std::wstring Hex(std::uint32_t value) {
    wchar_t text[11];
    std::swprintf(text, 11, L"0x%X", static_cast<unsigned>(value));
    return text;
}

std::wstring CallName(const char* call) { return std::wstring(call, call + std::char_traits<char>::length(call)); }

std::wstring ShownOrNone(const std::wstring& list) { return list.empty() ? L"none" : list; }

class Trial {
public:
    Trial(Platform& platform, TryPlatform& trial, ReportWriter& out)
        : platform_(platform), trial_(trial), out_(out), elevated_(ProcessIsElevated(platform)) {}

    Platform& platform() { return platform_; }
    bool elevated() const { return elevated_; }

    std::wstring Words(Dword error) {
        if (error == 0) return L"it fails without a reason, as a stub does";
        const std::wstring message = trial_.SystemMessage(error);
        return L"error " + std::to_wstring(error) + (message.empty() ? L"" : L": " + message);
    }

    // Right after a failed call: why, in words, or that Windows lacks the call.
    std::wstring WhyFailed(const char* call) {
        const Dword error = platform_.GetLastError();
        return CallName(call) + (platform_.Kernel32Exports(call) ? L": " + Words(error) : std::wstring(L" is missing"));
    }

    // A refused set, right after it: missing calls and information classes this Windows
    // predates are no refusal.
    Outcome Refusal(const char* call, bool informationClass) {
        Outcome outcome;
        outcome.error = platform_.GetLastError();
        const bool predates = informationClass && (outcome.error == kErrorInvalidParameter ||
                                                   outcome.error == kErrorNotSupported ||
                                                   outcome.error == kErrorCallNotImplemented);
        if (!platform_.Kernel32Exports(call) || outcome.error == kErrorProcNotFound || predates) {
            outcome.verdict = Verdict::NotHere;
            outcome.detail = CallName(call) + (predates ? L" does not know this information class: " + Words(outcome.error)
                                                        : std::wstring(L" is missing"));
        } else {
            outcome.verdict = Verdict::Refused;
        }
        return outcome;
    }

    // "This PC lets the program <what>: yes / no / not on this Windows", the call after it;
    // `advice` is what to do about a set that does not work here.
    void Report(const std::wstring& what, const char* call, const Outcome& o, const std::wstring& advice,
                const std::wstring& note = {}) {
        std::wstring line = L"This PC lets the program " + what + L": ";
        switch (o.verdict) {
            case Verdict::Works: line += L"yes (" + CallName(call) + L")"; break;
            case Verdict::Unreadable: line += L"yes, but it cannot be read back here (" + o.detail + L")"; break;
            case Verdict::NotHere:
                line += L"not on this Windows (" + o.detail + L")";
                tally_.Lacking(advice);
                break;
            case Verdict::Differs:
                line += L"no: " + o.detail + L" (" + CallName(call) + L")";
                if (o.counted) tally_.Refused(advice);
                else tally_.FollowsRights();
                break;
            case Verdict::Refused:
                line += L"no: Windows refuses it (" + CallName(call) + L": " + Words(o.error) + L")";
                if (!elevated_ && (o.error == kErrorAccessDenied || o.error == kErrorPrivilegeNotHeld)) {
                    line += L"; this follows from this run's rights (not elevated), so it is not counted";
                    tally_.FollowsRights();
                } else {
                    tally_.Refused(advice);
                }
                break;
        }
        out_.Line(line + note + L".");
    }

    const TryTally& tally() const { return tally_; }

private:
    Platform& platform_;
    TryPlatform& trial_;
    ReportWriter& out_;
    bool elevated_;
    TryTally tally_;
};

// Of a set and its set-back, the one that failed first, else the first that cannot be read
// back, else "works": a refused set-back is no "yes" for a set that could not be read.
Outcome Worse(Outcome first, Outcome second) {
    const auto failed = [](const Outcome& o) { return o.verdict != Verdict::Works && o.verdict != Verdict::Unreadable; };
    if (failed(first) || (!failed(second) && first.verdict != Verdict::Works)) return first;
    return second;
}

// After a set that Windows accepted: what reading it back says.
Outcome ReadBack(bool readable, bool matches, std::wstring why, std::wstring reads) {
    Outcome outcome;
    if (!readable) {
        outcome.verdict = Verdict::Unreadable;
        outcome.detail = std::move(why);
    } else if (!matches) {
        outcome.verdict = Verdict::Differs;
        outcome.detail = L"it reads back " + reads;
    }
    return outcome;
}

// The trial program's handles, as the program opens a process it corrects.
struct Opened {
    UniqueHandle queried;
    UniqueHandle setter;
    UniqueHandle cpuSetter;
};

Outcome SetAffinity(Trial& t, const Opened& h, DwordPtr mask) {
    Platform& p = t.platform();
    Counter errors;
    ApplyAffinityMask(p, h.setter.get(), mask, errors);
    if (errors.AboveZero()) return t.Refusal("SetProcessAffinityMask", false);
    const DwordPtr read = ReadAffinityMask(p, h.queried.get());
    return ReadBack(read != 0, read == mask, read ? std::wstring() : t.WhyFailed("GetProcessAffinityMask"),
                    L"processors " + FormatCpuList(read));
}

void TryAffinity(Trial& t, const Opened& h, const CpuTopology& topology) {
    Platform& p = t.platform();
    int highest = kMaskBits - 1;
    while (highest > 0 && !(topology.AllMask >> highest & 1)) --highest;
    const DwordPtr original = ReadAffinityMask(p, h.queried.get());
    Outcome outcome = SetAffinity(t, h, DwordPtr{1} << highest);
    if (original != 0) outcome = Worse(outcome, SetAffinity(t, h, original));
    t.Report(L"set a hard affinity, processor " + std::to_wstring(highest) + L" alone and back", "SetProcessAffinityMask",
             outcome, L"write Default for the CPUs of this PC's favourites");
}

void TryPriorities(Trial& t, const Opened& h) {
    Platform& p = t.platform();
    const Dword original = ReadPriorityClass(p, h.queried.get());
    const PrivilegeState raise = OwnPrivilege(p, "SeIncreaseBasePriorityPrivilege");
    const bool mayRaise = raise == PrivilegeState::Enabled || raise == PrivilegeState::Disabled;
    // Low first, Real last, as the classes rise.
    for (auto word = std::rbegin(kPriorityWords); word != std::rend(kPriorityWords); ++word) {
        Counter errors;
        SetPriority(p, h.setter.get(), word->priorityClass, errors);
        Outcome outcome;
        if (errors.AboveZero()) {
            outcome = t.Refusal("SetPriorityClass", false);
        } else {
            const Dword read = ReadPriorityClass(p, h.queried.get());
            outcome = ReadBack(read != 0, read == word->priorityClass, read ? std::wstring() : t.WhyFailed("GetPriorityClass"),
                               read ? std::wstring(PriorityClassToName(read)) : std::wstring());
        }
        std::wstring note;
        std::wstring advice = L"give this PC's favourites another priority than " + std::wstring(word->word);
        if (word->priorityClass == 0x100) {
            advice = L"write High instead of Real on this PC";
            if (outcome.verdict == Verdict::Differs) {
                outcome.detail = L"Windows made it " + outcome.detail.substr(std::wstring(L"it reads back ").size());
                outcome.counted = mayRaise;
            }
            note = std::wstring(L"; without the right to raise scheduling priority (SeIncreaseBasePriorityPrivilege) "
                                L"Windows makes Real High, and this run ") +
                   (raise == PrivilegeState::Unreadable ? L"cannot tell whether it holds it"
                    : mayRaise                          ? L"holds it"
                                                        : L"lacks it (run as administrator, as the program runs)");
        }
        t.Report(L"set the priority " + std::wstring(word->word), "SetPriorityClass", outcome, advice, note);
    }
    Counter ignored;
    if (original != 0) SetPriority(p, h.setter.get(), original, ignored);
}

constexpr wchar_t kWithoutCpuSets[] = L"write lists without \"~\" (a hard affinity) on this PC";

Outcome SetCpuSets(Trial& t, const Opened& h, const std::vector<Dword>& ids, const Machine& machine) {
    Platform& p = t.platform();
    Counter errors;
    ApplyCpuSets(p, h.cpuSetter.get(), ids, errors);
    if (errors.AboveZero()) return t.Refusal("SetProcessDefaultCpuSets", false);
    const std::optional<std::vector<Dword>> read = ReadDefaultCpuSets(p, h.queried.get());
    return ReadBack(read.has_value(), read == ids, read ? std::wstring() : t.WhyFailed("GetProcessDefaultCpuSets"),
                    !read || read->empty() ? L"no CPU sets" : L"CPU sets on " + NumbersShown(CpuSetNumbers(*read, machine)));
}

void TryCpuSets(Trial& t, const Opened& h, const Machine& machine) {
    const CpuTopology& topology = machine.Cpu.Topology;
    if (!topology.CpuSetsSettable || topology.CpuSets.empty()) {
        Outcome missing;
        missing.verdict = Verdict::NotHere;
        missing.detail = topology.CpuSetsSettable ? L"GetSystemCpuSetInformation lists none"
                                                  : L"SetProcessDefaultCpuSets is missing";
        t.Report(L"set CPU sets (\"~\")", "SetProcessDefaultCpuSets", missing, kWithoutCpuSets);
        return;
    }
    const std::vector<Dword> original =
        ReadDefaultCpuSets(t.platform(), h.queried.get()).value_or(std::vector<Dword>{});
    // The last processor of each group, as "~" numbers it.
    std::map<std::uint16_t, std::size_t> lastOfGroup;
    for (std::size_t n = 0; n < topology.CpuSets.size(); ++n) lastOfGroup[topology.CpuSets[n].Group] = n;
    for (const auto& [group, number] : lastOfGroup) {
        const CpuSetSelection one = SelectCpuSets(L"~" + std::to_wstring(number), topology);
        const Outcome set = SetCpuSets(t, h, one.ids, machine);  // the set first, then the set-back
        const Outcome outcome = Worse(set, SetCpuSets(t, h, original, machine));
        t.Report(L"set CPU sets (\"~\"), processor " + std::to_wstring(number) + L" of group " + std::to_wstring(group) +
                     L" alone and back",
                 "SetProcessDefaultCpuSets", outcome, kWithoutCpuSets);
    }
}

Outcome PowerReadBack(Trial& t, const Opened& h, bool wanted(const ProcessPowerThrottlingState&), std::wstring reads) {
    const std::optional<ProcessPowerThrottlingState> read = ReadPowerThrottling(t.platform(), h.queried.get());
    return ReadBack(read.has_value(), read && wanted(*read), read ? std::wstring() : t.WhyFailed("GetProcessInformation"),
                    std::move(reads));
}

bool EcoOn(const ProcessPowerThrottlingState& s) { return PowerSettled(PowerWord::Eco, s); }
bool NeverThrottled(const ProcessPowerThrottlingState& s) { return PowerSettled(PowerWord::NoEco, s); }
// What the retry for Windows 10 asks: EcoQoS off, the timer resolution left to Windows.
bool SpeedKept(const ProcessPowerThrottlingState& s) {
    return (s.ControlMask & kPowerThrottlingExecutionSpeed) && !(s.StateMask & kPowerThrottlingExecutionSpeed);
}

constexpr wchar_t kLeavePowerOut[] = L"leave +Eco and +NoEco out of this PC's profile";

void TryPower(Trial& t, const Opened& h) {
    Platform& p = t.platform();
    for (const PowerWord word : {PowerWord::Eco, PowerWord::NoEco}) {
        Counter errors;
        SetPowerThrottling(p, h.setter.get(), word, errors);
        const bool eco = word == PowerWord::Eco;
        const Outcome outcome = errors.AboveZero()
                                    ? t.Refusal("SetProcessInformation", true)
                                    : PowerReadBack(t, h, eco ? EcoOn : NeverThrottled,
                                                    eco ? L"EcoQoS not on" : L"a state that is not never-throttled");
        t.Report(eco ? L"set efficiency mode (+Eco, EcoQoS on)" : L"keep a program from being throttled (+NoEco, EcoQoS off, "
                                                                   L"timer resolution kept)",
                 "SetProcessInformation", outcome, kLeavePowerOut);
    }
    ProcessPowerThrottlingState retry;
    retry.ControlMask = kPowerThrottlingExecutionSpeed;
    const Outcome outcome =
        p.SetProcessInformation(h.setter.get(), kProcessPowerThrottling, &retry, sizeof retry)
            ? PowerReadBack(t, h, SpeedKept, L"EcoQoS not off")
            : t.Refusal("SetProcessInformation", true);
    t.Report(L"keep a program from being throttled as Windows 10 takes it (+NoEco without the timer-resolution flag)",
             "SetProcessInformation", outcome, kLeavePowerOut);
}

std::wstring PrivilegeShown(PrivilegeState state) {
    switch (state) {
        case PrivilegeState::Enabled: return L"held and enabled";
        case PrivilegeState::Disabled: return L"held, not enabled";
        case PrivilegeState::NotHeld: return L"not held";
        case PrivilegeState::Unreadable: break;
    }
    return L"cannot be read";
}

void MachineLines(const CpuTopology& t, ReportWriter& out) {
    std::map<std::uint16_t, std::vector<int>> groups;
    std::map<int, std::vector<int>, std::greater<int>> classes;
    for (std::size_t n = 0; n < t.CpuSets.size(); ++n) {
        groups[t.CpuSets[n].Group].push_back(static_cast<int>(n));
        classes[t.CpuSets[n].EfficiencyClass].push_back(static_cast<int>(n));
    }
    std::wstring line = L"Machine: " + std::to_wstring(t.Groups) + (t.Groups == 1 ? L" processor group" : L" processor groups");
    if (groups.empty()) {
        line += L"; this Windows lists no CPU sets, so only this program's group is known: " +
                Counted(t.Processors, L"processor", L"processors");
    }
    for (const auto& [group, numbers] : groups)
        line += L"; group " + std::to_wstring(group) + L": " + Counted(numbers.size(), L"processor", L"processors") + L" (" +
                FormatProcessorNumbers(numbers) + L")";
    out.Line(line + L".");
    if (!classes.empty()) {
        line = L"Efficiency classes (higher is faster):";
        for (const auto& [efficiencyClass, numbers] : classes)
            line += L" " + std::to_wstring(efficiencyClass) + L" on " + FormatProcessorNumbers(numbers) + L";";
        line.back() = L'.';
        out.Line(line + (classes.size() == 1 ? L" One kind of processor: no hybrid topology." : L""));
    }
    line = L"Level-3 caches:";
    for (const Level3Cache& cache : t.Level3Caches)
        line += L" " + std::to_wstring(cache.Bytes >> 20) + L" MB for group " + std::to_wstring(cache.Group) +
                L"'s processors " + (cache.Mask ? FormatCpuList(cache.Mask) : L"beyond this program's " + std::to_wstring(kMaskBits)) + L";";
    if (t.Level3Caches.empty()) line += L" none reported;";
    line.back() = L'.';
    out.Line(line);
    line = L"Names in a list (this program's group): P " + ShownOrNone(FormatCpuList(CpuNameMask(L'P', t))) + L", E " +
           ShownOrNone(FormatCpuList(CpuNameMask(L'E', t))) + L", C " + ShownOrNone(FormatCpuList(CpuNameMask(L'C', t)));
    if (!t.CpuSets.empty())
        line += L"; after \"~\": P " + ShownOrNone(FormatProcessorNumbers(SelectCpuSets(L"~P", t).numbers)) + L", E " +
                ShownOrNone(FormatProcessorNumbers(SelectCpuSets(L"~E", t).numbers)) + L", C " +
                ShownOrNone(FormatProcessorNumbers(SelectCpuSets(L"~C", t).numbers));
    out.Line(line + L".");
}

// A namespace and an object in it, under names of this run's own, closed at once: whether the
// elevated program's single-instance object can live in one here.
void TryPrivateNamespace(Trial& t, ReportWriter& out) {
    Platform& p = t.platform();
    const std::wstring suffix = std::to_wstring(p.GetCurrentProcessId());
    const std::wstring boundaryName = L"MarrowbineJrCheck.Try." + suffix;
    const std::wstring alias = L"MarrowbineJrCheckTry" + suffix;
    const std::wstring objectName = alias + L"\\Try";
    const std::wstring what = L"Private namespace (where the elevated program keeps its single-instance object): ";
    const std::wstring elevatedOnly = t.elevated() ? L"" : L"; only an elevated run can make one: run as administrator";
    BoundaryDescriptor boundary(p, 0);
    if (!MakeElevatedBoundary(p, boundaryName, boundary)) {
        out.Line(what + L"no boundary descriptor (" + t.Words(p.GetLastError()) +
                 L"); the elevated program falls back to its session's object.");
        return;
    }
    UniquePrivateNamespace made(p, p.CreatePrivateNamespaceW(boundary.get(), alias));
    if (!made) {
        out.Line(what + L"cannot be made (" + t.WhyFailed("CreatePrivateNamespaceW") + L")" + elevatedOnly + L".");
        return;
    }
    UniqueHandle object(p, p.CreateMutexW(objectName));
    out.Line(what + (object ? L"made, with an object in it, and closed at once."
                            : L"made, but no object in it (" + t.WhyFailed("CreateMutexW") + L")."));
}

std::wstring TaskResultShown(Trial& t, std::int32_t result) {
    const auto value = static_cast<std::uint32_t>(result);
    switch (result) {
        case 0: return L"0 (it ran and ended without an error)";
        case kTaskRunning: return Hex(value) + L" (running now)";
        case kTaskHasNotRun: return Hex(value) + L" (it has not run yet)";
        default: break;
    }
    // HRESULT_FROM_WIN32: a Windows error underneath.
    if ((value & 0xFFFF0000u) == 0x80070000u) return Hex(value) + L" (" + t.Words(value & 0xFFFF) + L")";
    return Hex(value);
}

void ReadLogonTask(Trial& t, TryPlatform& trial, ReportWriter& out) {
    const std::wstring name = installer::kTaskName;
    const std::wstring what = L"Logon task " + Quoted(name) + L": ";
    ScheduledTaskRecord task;
    const std::int32_t result = trial.ReadScheduledTask(name, &task);
    if (result == kTaskMissing) {
        out.Line(what + L"not registered (the package registers it; with the zip, see \"Start at logon\" in the README).");
        return;
    }
    if (result != 0) {
        out.Line(what + L"cannot be read through the Task Scheduler: " + TaskResultShown(t, result) + L".");
        return;
    }
    const std::wstring whom = task.groupId.empty() ? L"the user " + Quoted(task.userId) : L"the group " + Quoted(task.groupId);
    out.Line(what + L"runs for " + whom + L", " +
             (task.runLevel == 1 ? L"with the highest rights each has (elevated for administrators)"
                                 : L"with least rights (never elevated)") +
             L"; starts " + (task.execActions == 0 ? L"no program" : Shown(task.path)) +
             (task.arguments.empty() ? L"" : L" with " + Quoted(task.arguments)) +
             (task.execActions > 1 ? L" and " + std::to_wstring(task.execActions - 1) + L" more" : L"") +
             (task.enabled ? L"" : L"; it is disabled") + L".");
    out.Line(L"Logon task descriptor: " + (task.descriptor.empty() ? std::wstring(L"cannot be read") : Shown(task.descriptor)) +
             L"; last result " + TaskResultShown(t, task.lastResult) + L".");
}

// The trial program's full path in the system folder; empty when Windows does not say.
std::wstring TrialProgramPath(TryPlatform& trial) {
    std::wstring folder(kSystemFolderChars, L'\0');
    const Dword length = trial.GetSystemDirectoryW(folder.data(), kSystemFolderChars);
    if (length == 0 || length >= kSystemFolderChars) return std::wstring();
    folder.resize(length);
    return folder + L"\\" + kTrialProgram;
}

// Starts the trial program suspended and puts it in a job that ends it with this process; it
// is never let run. Nothing when any step fails (the program ended); `why` says which.
std::optional<Dword> StartTrialProgram(Platform& p, TryPlatform& trial, Trial& t, const std::wstring& program,
                                       UniqueHandle& job, std::wstring& why) {
    if (program.empty()) {
        why = L"Windows does not say where its system folder is (" + t.Words(p.GetLastError()) + L")";
        return std::nullopt;
    }
    job = UniqueHandle(p, trial.CreateJobObjectW());
    if (!job || !trial.SetJobKillOnClose(job.get())) {
        why = L"no job object to hold " + Quoted(program) + L" (" + t.Words(p.GetLastError()) + L")";
        return std::nullopt;
    }
    ProcessInformation started;
    if (!trial.CreateProcessW(program, L"\"" + program + L"\"", kCreateSuspended | kCreateNoWindow, &started)) {
        why = Quoted(program) + L" cannot be started (" + t.Words(p.GetLastError()) + L")";
        return std::nullopt;
    }
    UniqueHandle process(p, started.hProcess);
    UniqueHandle thread(p, started.hThread);
    if (!trial.AssignProcessToJobObject(job.get(), process.get())) {
        why = Quoted(program) + L" cannot be put in a job object (" + t.Words(p.GetLastError()) + L"), so it was ended untried";
        trial.TerminateProcess(process.get(), 1);
        return std::nullopt;
    }
    return started.dwProcessId;
}

}  // namespace

int RunTry(Platform& platform, TryPlatform& trial, const CheckerBuild& build, ReportWriter& out) {
    // As the program does: with the debug privilege it reaches what the elevated program reaches.
    SetDebugPrivilege(platform, true);
    Trial t(platform, trial, out);
    out.Line(L"This run: " + std::wstring(t.elevated() ? L"elevated" : L"not elevated") + L"; debug privilege " +
             PrivilegeShown(OwnPrivilege(platform, "SeDebugPrivilege")) + L"; " +
             (build.Is32Bit ? L"the 32-bit doctor, for MarrowbineJr.exe." : L"the 64-bit doctor, for MarrowbineJr64.exe."));
    Machine machine;
    machine.Cpu.Topology = ReadCpuTopology(platform);
    machine.Processors = machine.Cpu.Topology.Processors;
    MachineLines(machine.Cpu.Topology, out);

    UniqueHandle job(platform, 0);  // closed last: that ends the trial program
    std::wstring why;
    const std::wstring program = TrialProgramPath(trial);
    const std::optional<Dword> pid = StartTrialProgram(platform, trial, t, program, job, why);
    int status = kExitTryWorks;
    if (!pid) {
        out.Line(L"Try: no program to try on: " + why + L"; nothing was tried.");
        status = kExitTryRefused;
    } else {
        out.Line(L"Try: each kind of placement, on " + Shown(program) + L" (pid " + std::to_wstring(*pid) +
                 L"), started suspended so that it never runs, and ended with the doctor; no other process is changed:");
        Opened h{OpenForQuery(platform, *pid), UniqueHandle(platform, 0), UniqueHandle(platform, 0)};
        h.setter = OpenSameProcessForSetting(platform, h.queried.get(), *pid);
        h.cpuSetter = OpenSameProcess(platform, h.queried.get(), *pid, kCpuSetAccess);
        TryAffinity(t, h, machine.Cpu.Topology);
        TryPriorities(t, h);
        TryCpuSets(t, h, machine);
        TryPower(t, h);
    }
    TryPrivateNamespace(t, out);
    ReadLogonTask(t, trial, out);
    if (t.tally().refused() > 0) status = kExitTryRefused;
    out.Line(t.tally().ResultLine());
    return status;
}

}  // namespace mjr::doctor
