#pragma once
#include "app/single_instance.h"
#include "engine/engine.h"

namespace mjr {

// What start-up needs of the windowing runtime.
class AppHost {
public:
    virtual ~AppHost() = default;
    // Let every waiting window message run, then return.
    virtual void YieldToPendingEvents() = 0;
    // Create the status window and run its load behaviour (resident mode).
    virtual void LoadForm1(Module1& module) = 0;
};

// How a one-shot run ends, for a batch file or a scheduled task to test. A resident run,
// and a resident start that gives way, end with 0; "/reset" ends as SendResetRequest says.
inline constexpr int kExitApplied = 0;           // the profile loaded; no set of the pass failed
inline constexpr int kExitProfileNotLoaded = 1;
inline constexpr int kExitSetFailed = 2;         // Windows refused a set of the pass
inline constexpr int kExitGaveWay = 3;           // a copy already runs; nothing was set

// The program's own entry: sends "/reset" to the running copies, or refuses a second
// instance, prepares the process, reads the command line, then makes one pass (one-shot) or
// loads the window (resident). The caller keeps `instance` for the life of the process, so
// later starts see this one. Returns the process's exit status unless the window was loaded.
int Main(Module1& module, AppHost& host, SingleInstance& instance);

}  // namespace mjr
