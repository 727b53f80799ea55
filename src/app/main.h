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

// The program's own entry: refuses a second instance, prepares the process, reads the
// command line, then makes one pass (one-shot) or loads the window (resident). The caller
// keeps `instance` for the life of the process, so later starts see this one.
void Main(Module1& module, AppHost& host, SingleInstance& instance);

}  // namespace mjr
