#include "engine/priority.h"

#include "platform/unique_handle.h"

namespace mjr {

Dword PriorityNameToClass(std::wstring_view word) noexcept {
    for (const PriorityWord& entry : kPriorityWords)
        if (entry.word == word) return entry.priorityClass;
    return 0;
}

std::wstring_view PriorityClassToName(Dword priorityClass) noexcept {
    for (const PriorityWord& entry : kPriorityWords)
        if (entry.priorityClass == priorityClass) return entry.word;
    return {};
}

Dword GetPriority(Platform& platform, Dword processId) {
    UniqueHandle process(platform, platform.OpenProcess(kProcessQueryInformation, 0, processId));
    if (!process) return 0;
    return platform.GetPriorityClass(process.get());
}

void ApplyPriority(Platform& platform, Dword processId, Dword priorityClass, Counter& priorityErrors) {
    if (GetPriority(platform, processId) == priorityClass) return;
    UniqueHandle process(platform, platform.OpenProcess(kProcessSetInformation, 0, processId));
    if (!process) {
        priorityErrors.Increment();
        return;
    }
    if (platform.SetPriorityClass(process.get(), priorityClass) == 0) priorityErrors.Increment();
    process.reset();
    platform.Sleep(0);
}

}  // namespace mjr
