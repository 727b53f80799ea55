#include "engine/process_handles.h"

namespace mjr {
namespace {

bool CreationTime(Platform& platform, Handle process, FileTime& creation) {
    FileTime exitTime, kernelTime, userTime;
    return platform.GetProcessTimes(process, &creation, &exitTime, &kernelTime, &userTime) != 0;
}

}  // namespace

UniqueHandle OpenForQuery(Platform& platform, Dword processId) {
    return UniqueHandle(platform, platform.OpenProcess(kProcessQueryLimitedInformation, 0, processId));
}

UniqueHandle OpenSameProcessForSetting(Platform& platform, Handle queried, Dword processId) {
    return OpenSameProcess(platform, queried, processId, kProcessSetInformation | kProcessQueryLimitedInformation);
}

UniqueHandle OpenSameProcess(Platform& platform, Handle queried, Dword processId, Dword access) {
    // Without a held process there is nothing to prove the identifier still names it.
    if (queried == 0) return UniqueHandle(platform, 0);
    UniqueHandle setter(platform, platform.OpenProcess(access, 0, processId));
    if (!setter) return setter;
    FileTime queriedCreation, setterCreation;
    if (!CreationTime(platform, queried, queriedCreation) || !CreationTime(platform, setter.get(), setterCreation) ||
        queriedCreation.dwLowDateTime != setterCreation.dwLowDateTime ||
        queriedCreation.dwHighDateTime != setterCreation.dwHighDateTime)
        setter.reset();
    return setter;
}

}  // namespace mjr
