#pragma once
// EcoQoS, the power throttling Windows 11 applies to programs it thinks in the background:
// "Eco" asks for it, "NoEco" keeps it off.
#include <optional>

#include "common/counter.h"
#include "engine/priority.h"
#include "platform/platform.h"

namespace mjr {

// The process's power-throttling state, read on a handle open for querying; nothing where
// Windows cannot say (the call is missing before Windows 8 and refuses this class before
// Windows 11 22H2).
std::optional<ProcessPowerThrottlingState> ReadPowerThrottling(Platform& platform, Handle process);
// Whether a state read back already is what the word asks; an unread state never is.
bool PowerSettled(PowerWord power, const std::optional<ProcessPowerThrottlingState>& current) noexcept;
// Sets the state on a handle open for setting. "NoEco" also asks Windows to ignore timer
// resolution requests; where Windows refuses that bit (ERROR_INVALID_PARAMETER, before
// Windows 11) it tries again without it, and only that try counts. A handle of 0 (a failed
// open) and a failed set each count one in priorityErrors.
void SetPowerThrottling(Platform& platform, Handle process, PowerWord power, Counter& priorityErrors);

}  // namespace mjr
