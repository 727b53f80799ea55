#pragma once
#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace mjr {

// Opens a process for reading its path, affinity and priority class: the least access that
// answers all three, which Windows grants even for protected and elevated processes.
UniqueHandle OpenForQuery(Platform& platform, Dword processId);

// Opens the process held by `queried` again with `access`, proven the same process as below.
UniqueHandle OpenSameProcess(Platform& platform, Handle queried, Dword processId, Dword access);

// Opens the process held by `queried` again, for setting. While `queried` stays open its
// identifier cannot pass to another process; equal creation times prove both handles hold
// the same one. Empty when `queried` is 0, the open fails, or the times differ or cannot be read.
UniqueHandle OpenSameProcessForSetting(Platform& platform, Handle queried, Dword processId);

}  // namespace mjr
