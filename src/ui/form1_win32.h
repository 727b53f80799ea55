#pragma once
#include "engine/engine.h"

namespace mjr {

// "/reset" reached this copy: sent by the message loop, it runs what a click on Image1 runs
// (WM_APP + 1). Through the window, so that the window outlives a close handled meanwhile.
inline constexpr unsigned kResetRequestedMessage = 0x8001;

// Creates the status window and runs its load behaviour. The window's handle when it exists
// afterwards, so the caller runs the message loop until it is unloaded; 0 when there is none.
Handle LoadForm1Win32(Module1& module);

}  // namespace mjr
