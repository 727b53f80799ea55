#include "engine/engine.h"

#include <limits>

#include "engine/affinity.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "engine/process_handles.h"
#include "platform/fold_case.h"

namespace mjr {
namespace {

constexpr std::int32_t kFirstBufferBytes = 8;       // doubled before the first call: 16 bytes
constexpr std::int32_t kEnteringByteCount = 96;     // only serves to enter the loop
constexpr std::int32_t kMaxBufferBytes = 1 << 26;   // 16M identifiers: far beyond any real list
constexpr std::int16_t kScansPerChange = 4;

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

// Reads, compares and sets one process: one open for querying, and only when a set is due a
// second, for setting, proven to hold the same process.
void ScanProcess(Module1& m, Dword pid) {
    UniqueHandle queried = OpenForQuery(m.platform, pid);
    const std::optional<std::wstring> path = GetProcessImagePath(m.platform, queried.get(), m.WindowsDirPrefix);
    // An unreadable path is empty and matches nothing.
    if (!path || path->empty()) return;
    const FavoriteRecord* favorite = m.Favorites.FindFirst(FoldPathCase(m.platform, *path));
    if (!favorite) return;
    const AffinityDecision affinity = DecideAffinity(m.Cpu, favorite->Affinity, ReadAffinityMask(m.platform, queried.get()));
    const bool affinityDue = affinity.action == AffinityDecision::Action::Set;
    const bool priorityApplies = favorite->Priority != kLeavePriorityWord;
    const Dword wantedClass = priorityApplies ? PriorityNameToClass(favorite->Priority) : 0;
    const bool priorityDue = priorityApplies && ReadPriorityClass(m.platform, queried.get()) != wantedClass;
    if (affinity.action != AffinityDecision::Action::Keep) m.FavoritesHit.Increment();
    // A list that cannot be set fails as a refused set does, with no open for it.
    if (affinity.action == AffinityDecision::Action::Fail) m.AffinityErrors.Increment();
    if (!affinityDue && !priorityDue) return;
    // A failed open, or another process under the same identifier, counts in each due set.
    UniqueHandle setter = OpenSameProcessForSetting(m.platform, queried.get(), pid);
    if (affinityDue) ApplyAffinityMask(m.platform, setter.get(), affinity.mask, m.AffinityErrors);
    if (priorityDue) SetPriority(m.platform, setter.get(), wantedClass, m.PriorityErrors);
}

void ScanProcesses(Module1& m) {
    EnforcementState& s = m.Enforcement;
    const std::int32_t last = s.PidCount;
    for (std::int32_t i = kFirstScannedEntry; i <= last; ++i) ScanProcess(m, s.Pids[static_cast<std::size_t>(i)]);
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
