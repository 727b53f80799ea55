#include "doctor/dry_run.h"

#include "doctor/cpu_list_findings.h"
#include "doctor/report_text.h"
#include "engine/cpu_sets.h"
#include "engine/descendants.h"
#include "engine/engine.h"
#include "engine/power.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "engine/process_handles.h"
#include "platform/fold_case.h"
#include "profile/path_pattern.h"

namespace mjr::doctor {
namespace {

std::wstring PriorityShown(Dword priorityClass) {
    if (priorityClass == 0) return L"unreadable";
    const std::wstring_view word = PriorityClassToName(priorityClass);
    return word.empty() ? L"class " + std::to_wstring(priorityClass) : std::wstring(word);
}

std::wstring PowerShown(const std::optional<ProcessPowerThrottlingState>& state) {
    if (!state) return L"EcoQoS unreadable";
    if (!(state->ControlMask & kPowerThrottlingExecutionSpeed)) return L"EcoQoS as Windows decides";
    return (state->StateMask & kPowerThrottlingExecutionSpeed) ? L"EcoQoS on" : L"EcoQoS off";
}

// What a scan does about CPU sets, with how they are now in `current`; empty when nothing.
std::wstring CpuSetAction(Platform& platform, const FavoriteRecord& favorite, Handle queried, DwordPtr hardMask,
                          const Machine& machine, std::wstring& current, bool& due, std::wstring& note) {
    const std::optional<std::vector<Dword>> now = ReadDefaultCpuSets(platform, queried);
    current += !now ? L", CPU sets unreadable" : now->empty() ? L", no CPU sets"
                                                             : L", CPU sets on " + NumbersShown(CpuSetNumbers(*now, machine));
    const CpuSetDecision decision = DecideCpuSets(platform, machine.Cpu.Topology, favorite.Affinity, queried);
    due = decision.action == CpuSetDecision::Action::Set;
    switch (decision.action) {
        case CpuSetDecision::Action::Keep: break;
        case CpuSetDecision::Action::Unsupported:
            return L"set no CPU sets, since this Windows lacks them (a failure counted)";
        case CpuSetDecision::Action::Fail:
            return L"set no CPU sets, since the list " + Quoted(favorite.Affinity) + L" does not read (a failure counted)";
        case CpuSetDecision::Action::Set: break;
    }
    std::wstring action;
    const CpuSetSelection selection = SelectCpuSets(favorite.Affinity, machine.Cpu.Topology);
    if (due)
        action = L"set the CPU sets to " + NumbersShown(selection.numbers) + L" (" + Quoted(favorite.Affinity) + L")" +
                 (now ? L"" : L", and again on every scan of a series, since Windows cannot read them back here") +
                 L", " + Counted(decision.ids.size(), L"CPU-set identifier", L"CPU-set identifiers");
    // In one group a hard mask names the same processors as the numbers; Windows keeps the mask.
    if (machine.Cpu.Topology.Groups == 1 && hardMask != 0) {
        std::vector<int> shut;
        for (int n : selection.numbers)
            if (n >= kMaskBits || !(hardMask >> n & 1)) shut.push_back(n);
        if (!shut.empty())
            note = L"; its hard affinity shuts out " + NumbersShown(shut) +
                   L" of the CPU sets, and Windows keeps the hard affinity";
    }
    return action;
}

bool NamesMissingProcessor(const Machine& machine, DwordPtr mask) {
    return (mask & ~machine.Cpu.Topology.AllMask) != 0;
}

// What a scan does to one matching process, told instead of done; `current` says how it is now.
// Read on the scan's own handle; when a set is due, whether it could be made is learnt by
// opening for setting and closing at once, as an open changes nothing. A process placed through
// the program that started it gets High for Real, and a refused open counts nothing.
std::wstring ScanOutcome(Platform& platform, const FavoriteRecord& favorite, Handle queried, Dword pid,
                         const Machine& machine, bool throughAncestor, std::wstring& current) {
    const DwordPtr mask = ReadAffinityMask(platform, queried);
    const Dword priorityClass = ReadPriorityClass(platform, queried);
    current = CurrentCpusShown(favorite.Affinity, mask, machine) + L", priority " + PriorityShown(priorityClass);

    std::vector<std::wstring> actions;
    const AffinityDecision affinity = DecideAffinity(machine.Cpu, favorite.Affinity, mask);
    if (affinity.action == AffinityDecision::Action::Fail) {
        actions.push_back(L"set no affinity, since the list " + Quoted(favorite.Affinity) +
                          L" names no processor it can set (a failure counted)");
    } else if (affinity.action == AffinityDecision::Action::Set) {
        std::wstring action = L"set the affinity to " + ProcessorsShown(affinity.mask) + L" (" + Quoted(favorite.Affinity) + L")";
        if (NamesMissingProcessor(machine, affinity.mask)) action += L", which Windows refuses (a failure counted)";
        actions.push_back(action);
    }
    bool cpuSetsDue = false;
    std::wstring note;
    if (IsCpuSetText(favorite.Affinity)) {
        const std::wstring action = CpuSetAction(platform, favorite, queried, mask, machine, current, cpuSetsDue, note);
        if (!action.empty()) actions.push_back(action);
    }
    const std::size_t affinityActions = actions.size();
    PriorityRequest request = ReadPriorityText(favorite.Priority);
    if (throughAncestor && request.priorityClass == kRealtimePriorityClass) request.priorityClass = kHighPriorityClass;
    if (!request.leavesClass) {
        const Dword wanted = request.priorityClass;
        const std::wstring_view word = PriorityClassToName(wanted);
        if (wanted == 0 && priorityClass != 0)
            actions.push_back(L"ask for the priority " + Quoted(favorite.Priority) + L", which names no class, so "
                              L"Windows refuses it (a failure counted)");
        else if (wanted != priorityClass)
            actions.push_back(L"set the priority to " + std::wstring(word) +
                              (request.power != PowerWord::None || SameWord(favorite.Priority, word)
                                   ? L""
                                   : L" (" + Quoted(favorite.Priority) + L")"));
    }
    if (request.power != PowerWord::None) {
        const std::optional<ProcessPowerThrottlingState> power = ReadPowerThrottling(platform, queried);
        current += L", " + PowerShown(power);
        if (!PowerSettled(request.power, power))
            actions.push_back((request.power == PowerWord::Eco ? L"switch EcoQoS on" : L"switch EcoQoS off for good") +
                              (L" (" + Quoted(favorite.Priority) + L")") +
                              std::wstring(power ? L"" : L", and again on every scan of a series, since Windows cannot "
                                                         L"read it back here"));
    }
    if (actions.empty()) return L"a scan changes nothing" + note;
    std::wstring outcome = L"a scan would " + actions[0];
    for (std::size_t k = 1; k < actions.size(); ++k)
        outcome += (actions[k - 1].ends_with(L"counted)") ? L", and " : L" and ") + actions[k];
    const std::wstring uncounted = L" (as a game's anti-cheat protection does): no failure counted, since it is placed "
                                   L"through the program that started it";
    if (cpuSetsDue && !OpenSameProcess(platform, queried, pid, kProcessSetLimitedInformation | kProcessQueryLimitedInformation))
        outcome += L"; it cannot be opened to set CPU sets" + (throughAncestor ? uncounted : L": a failure counted");
    // A list that sets nothing needs no open for setting.
    const bool setDue = affinity.action == AffinityDecision::Action::Set || actions.size() > affinityActions;
    if (setDue && !OpenSameProcessForSetting(platform, queried, pid)) {
        outcome += throughAncestor ? L"; it cannot be opened to change it" + uncounted
                   : queried == 0  ? L"; the process cannot be opened: each counted as a failure"
                                   : L"; its path is readable, it cannot be changed (run elevated): each counted as a failure";
    }
    return outcome + note;
}

// "pid 812 game.exe, started by pid 640 launcher.exe": up to the program whose favourite asks.
std::wstring Chain(const Descendants& families, const std::vector<std::wstring>& names, std::size_t k) {
    std::wstring chain;
    for (std::int32_t at = static_cast<std::int32_t>(k); at >= 0; at = families.Scan[static_cast<std::size_t>(at)].StartedBy) {
        const auto i = static_cast<std::size_t>(at);
        chain += (chain.empty() ? L"pid " : L", started by pid ") + std::to_wstring(families.Scan[i].Pid) + L" " + names[i];
    }
    return chain;
}

}  // namespace

std::vector<std::wstring> DryRun(Platform& platform, const FavoritesTable& favorites,
                                 const std::vector<std::size_t>& favoriteLines, const Machine& machine) {
    std::vector<std::wstring> report;
    EnforcementState snapshot;
    std::int32_t byteCount = 0;
    if (!TakeSnapshot(platform, snapshot, byteCount)) {
        report.push_back(L"The running processes could not be listed.");
        return report;
    }
    const std::int32_t listed = byteCount / 4;
    const auto lineOf = [&](const FavoriteRecord* favorite) {
        const auto index = static_cast<std::size_t>(favorite - favorites.Records().data());
        return index < favoriteLines.size() ? favoriteLines[index] : 0;
    };
    const std::vector<FavoriteRecord>& records = favorites.Records();
    std::vector<char> patternMatched(records.size(), 0);
    std::vector<std::size_t> patterns;  // the usable ones
    for (std::size_t k = 0; k < records.size(); ++k)
        if (IsPathPattern(records[k].Path) && favorites.RefusalAt(k) == PatternRefusal::None) patterns.push_back(k);
    std::size_t matching = 0;
    std::size_t unreadable = 0;
    std::wstring unreadableNamed;
    // With a `children` favourite, every scanned process is kept, as the pass keeps it, to be placed at the end.
    Descendants families;
    std::vector<std::wstring> names;  // of each kept process, as its chain shows it
    for (std::int32_t i = 1; i <= listed; ++i) {
        const Dword pid = snapshot.Pids[static_cast<std::size_t>(i)];
        UniqueHandle queried = OpenForQuery(platform, pid);
        const std::optional<std::wstring> path = GetProcessImagePath(platform, queried.get(), machine.WindowsDirPrefix);
        const bool scanned = i >= kFirstScannedEntry;
        if (scanned && (!path || path->empty())) {
            // The kernel's own record names the process whose full path the program cannot use.
            const std::optional<std::wstring> kernel = KernelImagePath(platform, queried.get(), machine.WindowsDirPrefix);
            if (kernel && !IsPathAsWritten(*kernel)) {
                report.push_back(L"pid " + std::to_wstring(pid) + L": " + Shown(*kernel) + L": a name of its path ends "
                                 L"in a dot or a blank, or holds a \":\" that is no drive's, which Win32 would read as "
                                 L"another file's name: it matches no favourite");
            } else {
                ++unreadable;
                const std::wstring image = kernel ? kernel->substr(kernel->find_last_of(L'\\') + 1) : std::wstring();
                unreadableNamed += (unreadableNamed.empty() ? L"pid " : L", pid ") + std::to_wstring(pid) +
                                   (image.empty() ? L"" : L" (" + Shown(image) + L")");
            }
        }
        // A path too long to hold, or unreadable, matches nothing.
        const std::wstring folded = path ? FoldPathCase(platform, *path) : std::wstring();
        for (std::size_t k : patterns)
            if (scanned && !patternMatched[k] && favorites.PatternMatches(k, folded)) patternMatched[k] = 1;
        const FavoriteRecord* favorite = favorites.FindFirst(folded);
        if (favorite) {
            const std::wstring head = L"pid " + std::to_wstring(pid) + L": " +
                                      (path->empty() ? std::wstring(L"(path unreadable)") : Shown(*path)) +
                                      L" (line " + std::to_wstring(lineOf(favorite)) + L"): ";
            if (!scanned) {
                report.push_back(head + L"listed among the first two processes, which a scan never looks at: left alone");
            } else {
                ++matching;
                std::wstring current;
                const std::wstring outcome = ScanOutcome(platform, *favorite, queried.get(), pid, machine, false, current);
                report.push_back(head + current + L": " + outcome);
            }
        }
        // One that cannot be opened reads no creation time and so links to nothing.
        if (!favorites.AsksForChildren() || !scanned) continue;
        const std::wstring image =
            path && !path->empty() ? *path : KernelImagePath(platform, queried.get(), machine.WindowsDirPrefix).value_or(L"");
        names.push_back(Shown(image.substr(image.find_last_of(L'\\') + 1)));
        ReadFamily(platform, families.Scan.emplace_back(pid, std::move(queried), favorite));
    }
    families.Place(favorites);
    std::size_t placedThrough = 0;
    for (std::size_t k = 0; k < families.Scan.size(); ++k) {
        const ScannedProcess& p = families.Scan[k];
        if (!p.ThroughAncestor()) continue;
        ++placedThrough;
        std::wstring current;
        const std::wstring outcome = ScanOutcome(platform, *p.Placement, p.Queried.get(), p.Pid, machine, true, current);
        report.push_back(Chain(families, names, k) + L" (line " + std::to_wstring(lineOf(p.Placement)) + L"): " + current +
                         L": " + outcome);
    }
    for (std::size_t k : patterns)
        if (!patternMatched[k])
            report.push_back(L"Pattern " + Quoted(records[k].Path) + L" (line " + std::to_wstring(lineOf(&records[k])) +
                             L") matches no running program now.");
    report.push_back(L"Processes: " + std::to_wstring(listed) + L" listed, " + std::to_wstring(matching) +
                     L" matching a favourite, " +
                     (favorites.AsksForChildren() ? std::to_wstring(placedThrough) + L" placed through the program that "
                                                    L"started them, " : L"") +
                     std::to_wstring(unreadable) + L" whose path could not be read.");
    if (unreadable > 0) {
        report.push_back(L"Paths not read: " + unreadableNamed + L".");
        std::wstring hint = L"Hint: the program cannot match a process whose path it cannot read";
        if (!machine.CheckerElevated)
            hint += L"; run it (and this check) as administrator to reach other users' and services' processes";
        report.push_back(hint + L"; the 32-bit and the 64-bit program read the same paths.");
    }
    return report;
}

}  // namespace mjr::doctor
