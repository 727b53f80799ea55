#include "engine/engine.h"

#include <limits>

#include "engine/affinity.h"
#include "engine/cpu_sets.h"
#include "engine/image_path.h"
#include "engine/power.h"
#include "engine/priority.h"
#include "engine/process_handles.h"
#include "platform/fold_case.h"

namespace mjr {
namespace {

constexpr std::int32_t kFirstBufferBytes = 8;       // doubled before the first call: 16 bytes
constexpr std::int32_t kEnteringByteCount = 96;     // only serves to enter the loop
constexpr std::int32_t kMaxBufferBytes = 1 << 26;   // 16M identifiers: far beyond any real list
constexpr std::int16_t kScansPerChange = 4;
// CPU sets need the limited right to set, which some anti-cheat drivers allow where they
// refuse the full one; both read the creation time that proves the process.
constexpr Dword kCpuSetAccess = kProcessSetLimitedInformation | kProcessQueryLimitedInformation;
constexpr Dword kCpuSetAndClassAccess = kCpuSetAccess | kProcessSetInformation;

}  // namespace

bool TakeSnapshot(Platform& platform, EnforcementState& s, std::int32_t& byteCount) {
    std::int32_t bufferBytes = kFirstBufferBytes;
    byteCount = kEnteringByteCount;
    while (bufferBytes <= byteCount && bufferBytes < kMaxBufferBytes) {
        bufferBytes *= 2;
        s.Pids.assign(static_cast<std::size_t>(bufferBytes / 4) + 1, 0);
        Dword returned = static_cast<Dword>(byteCount);
        if (!platform.EnumProcesses(&s.Pids[1], static_cast<Dword>(bufferBytes), &returned)) return false;
        // A byte count past the buffer would read past it; it cannot be more than was offered.
        byteCount = returned > static_cast<Dword>(bufferBytes) ? bufferBytes : static_cast<std::int32_t>(returned);
    }
    return true;
}

namespace {

// Reads, compares and sets one process on the handle open for querying: a second open, for
// setting, proven to hold the same process, only when a set is due; CPU sets ask the limited
// right, and where the open with both rights is refused, a third open serves the CPU sets alone.
// A process placed through an ancestor never gets Realtime: any program of the launcher's user
// can name the launcher as its parent, and so gets only what that user could give it anyway.
void Correct(Module1& m, Dword pid, Handle q, const FavoriteRecord& favorite, bool throughAncestor) {
    const bool cpuSetsAsked = IsCpuSetText(favorite.Affinity);
    // "Default" processors are not even read; CPU sets leave the hard affinity alone.
    const AffinityDecision affinity = LeavesProcessors(favorite.Affinity) || cpuSetsAsked
        ? AffinityDecision{}
        : DecideAffinity(m.Cpu, favorite.Affinity, ReadAffinityMask(m.platform, q));
    const CpuSetDecision cpuSets = cpuSetsAsked ? DecideCpuSets(m.platform, m.Cpu.Topology, favorite.Affinity, q)
                                                : CpuSetDecision{};
    const bool affinityDue = affinity.action == AffinityDecision::Action::Set;
    const bool cpuSetsDue = cpuSets.action == CpuSetDecision::Action::Set;
    PriorityRequest priority = ReadPriorityText(favorite.Priority);
    if (throughAncestor && priority.priorityClass == kRealtimePriorityClass) priority.priorityClass = kHighPriorityClass;
    const bool priorityDue = !priority.leavesClass && ReadPriorityClass(m.platform, q) != priority.priorityClass;
    const bool powerDue = !PowerSettled(priority.power, priority.power == PowerWord::None
                                                            ? std::nullopt : ReadPowerThrottling(m.platform, q));
    if (affinity.action != AffinityDecision::Action::Keep) m.FavoritesHit.Increment();
    if (cpuSets.action == CpuSetDecision::Action::Set || cpuSets.action == CpuSetDecision::Action::Fail)
        m.FavoritesHit.Increment();
    // A list that cannot be set fails as a refused set does, with no open for it; so do CPU
    // sets where Windows has no call to set them.
    if (affinity.action == AffinityDecision::Action::Fail || cpuSets.action == CpuSetDecision::Action::Fail ||
        cpuSets.action == CpuSetDecision::Action::Unsupported)
        m.AffinityErrors.Increment();
    const bool setDue = affinityDue || priorityDue || powerDue;
    if (!setDue && !cpuSetsDue) return;
    // A failed open, or another process under the same identifier, counts in each due set.
    UniqueHandle setter(m.platform, 0);
    UniqueHandle cpuSetter(m.platform, 0);
    if (!cpuSetsDue) {
        setter = OpenSameProcessForSetting(m.platform, q, pid);
    } else {
        if (setDue) setter = OpenSameProcess(m.platform, q, pid, kCpuSetAndClassAccess);
        if (!setter) cpuSetter = OpenSameProcess(m.platform, q, pid, kCpuSetAccess);
    }
    // Except for a process placed through its ancestor: a game protected against being opened
    // would otherwise count a failure on every scan for good.
    if (cpuSetsDue && (setter || cpuSetter || !throughAncestor))
        ApplyCpuSets(m.platform, setter ? setter.get() : cpuSetter.get(), cpuSets.ids, m.AffinityErrors);
    if (!setter && throughAncestor) return;
    if (affinityDue) ApplyAffinityMask(m.platform, setter.get(), affinity.mask, m.AffinityErrors);
    // The class first: Efficiency mode is the lowest class with EcoQoS on.
    if (priorityDue) SetPriority(m.platform, setter.get(), priority.priorityClass, m.PriorityErrors);
    if (powerDue) SetPowerThrottling(m.platform, setter.get(), priority.power, m.PriorityErrors);
}

// The favourite whose path (exact or pattern) matches the process the handle holds, or null.
const FavoriteRecord* OwnFavorite(Module1& m, Handle queried) {
    const std::optional<std::wstring> path = GetProcessImagePath(m.platform, queried, m.WindowsDirPrefix);
    // An unreadable path is empty and matches nothing.
    if (!path || path->empty()) return nullptr;
    FoldPathCase(m.platform, *path, m.Enforcement.FoldedPath);
    return m.Favorites.FindFirst(m.Enforcement.FoldedPath);
}

// With a `children` favourite: every opened process collected first (its parent may be listed
// after it), then each placed; every handle stays open until then, so no process is opened twice.
void ScanFamilies(Module1& m) {
    EnforcementState& s = m.Enforcement;
    std::vector<ScannedProcess>& scan = m.Families.Scan;
    // Closes every handle of the scan on the way out, whichever way that is.
    struct CloseAll {
        std::vector<ScannedProcess>& scan;
        ~CloseAll() { scan.clear(); }
    } closeAll{scan};
    for (std::int32_t i = kFirstScannedEntry; i <= s.PidCount; ++i) {
        const Dword pid = s.Pids[static_cast<std::size_t>(i)];
        UniqueHandle queried = OpenForQuery(m.platform, pid);
        if (!queried) continue;
        const FavoriteRecord* own = OwnFavorite(m, queried.get());
        ReadFamily(m.platform, scan.emplace_back(pid, std::move(queried), own));
    }
    m.Families.Place(m.Favorites);
    for (const ScannedProcess& p : scan)
        if (p.Placement) Correct(m, p.Pid, p.Queried.get(), *p.Placement, p.ThroughAncestor());
}

void ScanProcesses(Module1& m) {
    if (m.Favorites.AsksForChildren()) {
        ScanFamilies(m);
        return;
    }
    EnforcementState& s = m.Enforcement;
    const std::int32_t last = s.PidCount;
    for (std::int32_t i = kFirstScannedEntry; i <= last; ++i) {
        const Dword pid = s.Pids[static_cast<std::size_t>(i)];
        const UniqueHandle queried = OpenForQuery(m.platform, pid);
        if (const FavoriteRecord* favorite = OwnFavorite(m, queried.get()))
            Correct(m, pid, queried.get(), *favorite, false);
    }
}

}  // namespace

void EnforcePass(Module1& m) {
    EnforcementState& s = m.Enforcement;
    std::int32_t byteCount = 0;
    if (TakeSnapshot(m.platform, s, byteCount)) {
        s.PidCount = byteCount / 4;
        std::uint32_t sum = 0;  // wraps like the 32-bit two's-complement sum it stands for
        for (std::int32_t i = kFirstScannedEntry; i <= s.PidCount; ++i) sum += s.Pids[static_cast<std::size_t>(i)];
        s.PidSum = static_cast<std::int32_t>(sum);

        if (s.PidCount != s.LastProcessCount || s.PidSum != s.LastPidSum) {
            s.LastProcessCount = s.PidCount;
            s.LastPidSum = s.PidSum;
            s.TickCount = 0;
            s.PassesLeft = kScansPerChange;
        }
        if (s.PassesLeft > 0) {
            --s.PassesLeft;
            ScanProcesses(m);
        }
    } else {
        // A failed listing saw no processes: nothing to scan, and the last change stands.
        s.Pids.assign(s.Pids.size(), 0);
        s.PidCount = 0;
        s.PidSum = 0;
    }

    if (m.Settings.EnforceOn) {
        if (s.TickCount < std::numeric_limits<std::int32_t>::max()) ++s.TickCount;
        if (static_cast<double>(m.Settings.EnforceSeconds) <= s.TickCount / 2.0) s.LastProcessCount = 0;
    }
}

}  // namespace mjr
