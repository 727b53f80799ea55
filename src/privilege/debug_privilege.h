#pragma once
#include "platform/platform.h"

namespace mjr {

// Switches SeDebugPrivilege on or off in the own process's token. True when the
// adjustment call returned exactly 1.
bool SetDebugPrivilege(Platform& platform, bool enable);

}  // namespace mjr
