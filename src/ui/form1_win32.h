#pragma once
#include "engine/engine.h"

namespace mjr {

// Creates the status window and runs its load behaviour. True when the window exists
// afterwards, so the caller runs the message loop until it is unloaded.
bool LoadForm1Win32(Module1& module);

}  // namespace mjr
