#pragma once
#include "engine/engine.h"

namespace mjr {

class Form1;

// Creates the status window and runs its load behaviour; nothing when no window exists
// afterwards. Otherwise the window's logic, so the caller runs the message loop until the
// window is unloaded. It goes with the window, whose end posts the quit message: a loop that
// reads every waiting message before it calls in, and stops at the quit, never calls a dead one.
Form1* LoadForm1Win32(Module1& module);

}  // namespace mjr
