#pragma once

namespace mjr {

// Lets every waiting window message run, then returns. A quit request found on the way
// is posted again, so the message loop that runs afterwards still ends.
void PumpPendingMessages();

}  // namespace mjr
