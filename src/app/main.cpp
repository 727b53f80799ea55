#include "app/main.h"

#include "app/command_line.h"
#include "common/text.h"
#include "engine/affinity.h"
#include "engine/image_path.h"
#include "engine/priority.h"
#include "privilege/debug_privilege.h"
#include "profile/load_favorites.h"

namespace mjr {

void Main(Module1& m, AppHost& host, SingleInstance& instance) {
    Platform& platform = m.platform;
    if (instance.AnotherInstanceRuns()) return;

    SetDebugPrivilege(platform, true);
    m.Cpu.CpuBits = BuildCpuBits();
    ApplyPriority(platform, platform.GetCurrentProcessId(), kAboveNormalPriorityClass, m.PriorityErrors);
    m.WindowsDirPrefix = GetWindowsDirPrefix(platform);
    m.Cpu.Topology = ReadCpuTopology(platform);
    m.Cpu.MaxCpuIndex = MaxCpuIndexFor(m.Cpu.Topology.Processors);

    bool oneShot = false;
    if (!TrimSpaces(platform.CommandLineArgs()).empty())
        oneShot = ParseCommandLine(platform.CommandLineArgs(), m.Settings);

    if (oneShot) {
        LoadFavorites(platform, m.Settings, m.Favorites, nullptr);
        host.YieldToPendingEvents();
        EnforcePass(m);
        host.YieldToPendingEvents();
        return;
    }
    host.LoadForm1(m);
}

}  // namespace mjr
