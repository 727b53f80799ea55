#include "app/main.h"

#include "app/command_line.h"
#include "app/reset_request.h"
#include "common/text.h"
#include "engine/affinity.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "privilege/debug_privilege.h"
#include "profile/load_favorites.h"

namespace mjr {

namespace {

bool AsksOnePass(const std::wstring& arguments, RunSettings& settings) {
    return !TrimSpaces(arguments).empty() && ParseCommandLine(arguments, settings);
}

std::int64_t FailedSets(const Module1& m) { return m.AffinityErrors.Value() + m.PriorityErrors.Value(); }

}  // namespace

int Main(Module1& m, AppHost& host, SingleInstance& instance) {
    Platform& platform = m.platform;
    const std::wstring arguments = platform.CommandLineArgs();
    // A request to the running copies, not a copy: no instance object, privilege or priority.
    if (AsksForReset(arguments)) return SendResetRequest(platform);
    if (instance.AnotherInstanceRuns()) {
        // Only read, so a script learns that its pass was not made.
        RunSettings unused;
        return AsksOnePass(arguments, unused) ? kExitGaveWay : kExitApplied;
    }

    SetDebugPrivilege(platform, true);
    m.Cpu.CpuBits = BuildCpuBits();
    ApplyPriority(platform, platform.GetCurrentProcessId(), kAboveNormalPriorityClass, m.PriorityErrors);
    m.WindowsDirPrefix = GetWindowsDirPrefix(platform);
    m.Cpu.Topology = ReadCpuTopology(platform);
    m.Cpu.MaxCpuIndex = MaxCpuIndexFor(m.Cpu.Topology.Processors);

    if (AsksOnePass(arguments, m.Settings)) {
        LoadFavorites(platform, m.Settings, m.Favorites, nullptr);
        host.YieldToPendingEvents();
        // The start-up's own priority raise is not the pass's.
        const std::int64_t failedBefore = FailedSets(m);
        EnforcePass(m);
        host.YieldToPendingEvents();
        if (m.Favorites.Count() == 0) return kExitProfileNotLoaded;
        return FailedSets(m) > failedBefore ? kExitSetFailed : kExitApplied;
    }
    host.LoadForm1(m);
    return kExitApplied;
}

}  // namespace mjr
