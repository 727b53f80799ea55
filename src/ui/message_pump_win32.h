#pragma once
// The GUI thread's message handling: the yield to pending events, and the loop that runs the
// resident program.
#include <cstddef>
#include <functional>

#include "platform/platform.h"

namespace mjr {

// Lets every waiting window message run, then returns. A quit request found on the way
// is posted again, so the message loop that runs afterwards still ends.
void PumpPendingMessages();

// Runs the thread's messages until the quit message and returns its exit code. While it waits
// it also waits for the events (at most 63), and calls onSignal with the index of one that
// was signalled, but only once every message that waited has run and none was the quit.
int RunMessageLoop(const Handle* events, std::size_t count, const std::function<void(std::size_t)>& onSignal);

}  // namespace mjr
