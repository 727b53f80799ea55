#include "doctor/dry_run.h"

#include "doctor/report_text.h"
#include "engine/engine.h"
#include "engine/image_path.h"
#include "engine/priority.h"

namespace mjr::doctor {
namespace {

std::wstring PriorityShown(Dword priorityClass) {
    if (priorityClass == 0) return L"unreadable";
    const std::wstring_view word = PriorityClassToName(priorityClass);
    return word.empty() ? L"class " + std::to_wstring(priorityClass) : std::wstring(word);
}

bool NamesMissingProcessor(const Machine& machine, std::int32_t mask) {
    if (machine.Processors >= 32) return false;
    const std::uint32_t present = (std::uint32_t{1} << machine.Processors) - 1;
    return (static_cast<std::uint32_t>(mask) & ~present) != 0;
}

// What a scan does to one matching process, told instead of done; `current` says how it is now.
std::wstring ScanOutcome(Platform& platform, const FavoriteRecord& favorite, Dword pid, const Machine& machine,
                         std::wstring& current) {
    const std::int32_t mask = GetAffinityMask(platform, pid);
    const std::wstring digits = AffinityMaskToDigits(mask, machine.Cpu.MaxCpuIndex);
    const Dword priorityClass = GetPriority(platform, pid);
    current = L"CPUs " + (mask == 0 ? std::wstring(L"unreadable") : Quoted(digits)) + L", priority " +
              PriorityShown(priorityClass);

    std::vector<std::wstring> actions;
    if (favorite.Affinity != digits) {
        std::wstring action = L"set the affinity to " + Quoted(favorite.Affinity);
        if (NamesMissingProcessor(machine, DigitsToMask(machine.Cpu, favorite.Affinity)))
            action += L", which Windows refuses (a failure counted)";
        actions.push_back(action);
    }
    if (favorite.Priority != kLeavePriorityWord) {
        const Dword wanted = PriorityNameToClass(favorite.Priority);
        if (wanted == 0 && priorityClass != 0)
            actions.push_back(L"ask for priority class 0 (" + Quoted(favorite.Priority) +
                              L"), which Windows refuses (a failure counted)");
        else if (wanted != priorityClass)
            actions.push_back(L"set the priority to " + std::wstring(PriorityClassToName(wanted)));
    }
    if (actions.empty()) return L"a scan changes nothing";
    std::wstring outcome = L"a scan would " + actions[0];
    if (actions.size() > 1) outcome += (actions[0].back() == L')' ? L", and " : L" and ") + actions[1];
    return outcome;
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
    std::size_t matching = 0;
    std::size_t unreadable = 0;
    std::wstring unreadableNamed;
    for (std::int32_t i = 1; i <= listed; ++i) {
        const Dword pid = snapshot.Pids[static_cast<std::size_t>(i)];
        const std::optional<std::wstring> path = GetProcessImagePath(platform, pid, machine.WindowsDirPrefix);
        const bool scanned = i >= kFirstScannedEntry;
        if (scanned && (!path || path->empty())) {
            ++unreadable;
            unreadableNamed += (unreadableNamed.empty() ? L"pid " : L", pid ") + std::to_wstring(pid);
        }
        // A path too long to hold matches nothing, not even an empty Path.
        const FavoriteRecord* favorite = path ? favorites.FindFirst(*path) : nullptr;
        if (!favorite) continue;
        const std::wstring head = L"pid " + std::to_wstring(pid) + L": " +
                                  (path->empty() ? std::wstring(L"(path unreadable)") : Shown(*path)) +
                                  L" (line " + std::to_wstring(lineOf(favorite)) + L"): ";
        if (!scanned) {
            report.push_back(head + L"listed among the first two processes, which a scan never looks at: left alone");
            continue;
        }
        ++matching;
        std::wstring current;
        const std::wstring outcome = ScanOutcome(platform, *favorite, pid, machine, current);
        report.push_back(head + current + L": " + outcome);
    }
    report.push_back(L"Processes: " + std::to_wstring(listed) + L" listed, " + std::to_wstring(matching) +
                     L" matching a favourite, " + std::to_wstring(unreadable) + L" whose path could not be read.");
    if (unreadable > 0) {
        report.push_back(L"Paths not read: " + unreadableNamed + L".");
        std::wstring hint = L"Hint: the program cannot match a process whose path it cannot read";
        if (!machine.CheckerElevated)
            hint += L"; run it (and this check) as administrator to reach other users' and services' processes";
        if (machine.Checker32Bit) hint += L"; a 32-bit program cannot read a 64-bit process's path at all";
        report.push_back(hint + L".");
    }
    return report;
}

}  // namespace mjr::doctor
