#pragma once
// What this process's own token says: elevated or not, and which privileges it holds.
#include "platform/platform.h"

namespace mjr {

bool ProcessIsElevated(Platform& platform);

enum class PrivilegeState { NotHeld, Disabled, Enabled, Unreadable };
// The named privilege ("SeDebugPrivilege") as this process's token holds it now.
PrivilegeState OwnPrivilege(Platform& platform, const char* name);

}  // namespace mjr
