#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "common/run_settings.h"
#include "common/counter.h"
#include "engine/affinity.h"
#include "engine/descendants.h"
#include "platform/platform.h"
#include "profile/favorites.h"

namespace mjr {

// Change detection and scan budget of the enforcement pass; all zero at start.
struct EnforcementState {
    std::vector<Dword> Pids;  // entry k holds the k-th listed identifier; entry 0 stays 0
    std::int32_t PidCount = 0;
    std::int32_t PidSum = 0;
    std::int32_t LastProcessCount = 0;  // 0 makes the next pass see a change
    std::int32_t TickCount = 0;
    std::int32_t LastPidSum = 0;
    std::int16_t PassesLeft = 0;
    std::wstring FoldedPath;  // the scanned process's path in folded case; its storage is reused
};

// Everything the start-up, the profile and the engine share: one per program run.
struct Module1 {
    explicit Module1(Platform& p) : platform(p) {}

    Platform& platform;
    RunSettings Settings;
    FavoritesTable Favorites;
    CpuTable Cpu;
    std::wstring WindowsDirPrefix;
    Counter FavoritesHit;
    Counter AffinityErrors;
    Counter PriorityErrors;
    EnforcementState Enforcement;
    Descendants Families;  // what the scans learned of `children` favourites' trees
};

// The first entry of Pids a scan looks at: the first two listed (on Windows the idle and
// the system process) are never opened, summed or matched.
inline constexpr std::int32_t kFirstScannedEntry = 3;

// Lists the running processes into Pids with a doubling buffer until the list fits; the
// byte count the listing reported. False when the listing fails.
bool TakeSnapshot(Platform& platform, EnforcementState& state, std::int32_t& byteCount);

// One enforcement pass: snapshot, change detection, scan when the budget allows,
// then the enforce period.
void EnforcePass(Module1& module);

}  // namespace mjr
