#include "engine/priority.h"

#include "engine/process_handles.h"

namespace mjr {

Dword ReadPriorityClass(Platform& platform, Handle process) {
    return process == 0 ? 0 : platform.GetPriorityClass(process);
}

void SetPriority(Platform& platform, Handle process, Dword priorityClass, Counter& priorityErrors) {
    if (process == 0) {
        priorityErrors.Increment();
        return;
    }
    if (platform.SetPriorityClass(process, priorityClass) == 0) priorityErrors.Increment();
    platform.Sleep(0);
}

void ApplyPriority(Platform& platform, Dword processId, Dword priorityClass, Counter& priorityErrors) {
    UniqueHandle queried = OpenForQuery(platform, processId);
    if (ReadPriorityClass(platform, queried.get()) == priorityClass) return;
    UniqueHandle setter = OpenSameProcessForSetting(platform, queried.get(), processId);
    SetPriority(platform, setter.get(), priorityClass, priorityErrors);
}

}  // namespace mjr
