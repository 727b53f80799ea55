#pragma once
// Reading and setting the priority class of another process, for the words the profile gives.
#include <string_view>

#include "common/counter.h"
#include "platform/platform.h"
#include "profile/priority_words.h"

namespace mjr {

// The priority class of the process a handle open for querying holds; 0 when it cannot be read.
Dword ReadPriorityClass(Platform& platform, Handle process);
// Sets the class on a handle open for setting, then sleeps 0 ms; a handle of 0 (a failed open)
// counts one in priorityErrors without a sleep, a failed set counts one after it.
void SetPriority(Platform& platform, Handle process, Dword priorityClass, Counter& priorityErrors);
// Reads a process's class and sets it when it differs (start-up's own raise).
void ApplyPriority(Platform& platform, Dword processId, Dword priorityClass, Counter& priorityErrors);

}  // namespace mjr
