#include "privilege/token_rights.h"

#include <cstring>
#include <vector>

#include "platform/own_token.h"
#include "platform/unique_handle.h"

namespace mjr {
namespace {

// TOKEN_PRIVILEGES: a count, then LUID_AND_ATTRIBUTES of 12 bytes each.
constexpr std::size_t kEntryBytes = 12;
constexpr Dword kMostTokenBytes = 1u << 16;

}  // namespace

bool ProcessIsElevated(Platform& platform) {
    UniqueHandle token = OpenOwnTokenToRead(platform);
    Dword elevated = 0;  // TOKEN_ELEVATION holds one DWORD
    Dword length = 0;
    return token && platform.GetTokenInformation(token.get(), kTokenElevationClass, &elevated, sizeof elevated, &length) &&
           elevated != 0;
}

PrivilegeState OwnPrivilege(Platform& platform, const char* name) {
    Luid wanted;
    UniqueHandle token = OpenOwnTokenToRead(platform);
    if (!token || !platform.LookupPrivilegeValueA(nullptr, name, &wanted)) return PrivilegeState::Unreadable;
    Dword needed = 0;
    platform.GetTokenInformation(token.get(), kTokenPrivilegesClass, nullptr, 0, &needed);
    if (needed < sizeof(Dword) || needed > kMostTokenBytes) return PrivilegeState::Unreadable;
    std::vector<unsigned char> bytes(needed);
    Dword length = 0;
    if (!platform.GetTokenInformation(token.get(), kTokenPrivilegesClass, bytes.data(), needed, &length))
        return PrivilegeState::Unreadable;
    Dword count = 0;
    std::memcpy(&count, bytes.data(), sizeof count);
    for (std::size_t k = 0; k < count && sizeof(Dword) + (k + 1) * kEntryBytes <= bytes.size(); ++k) {
        LuidAndAttributes entry;
        std::memcpy(&entry, bytes.data() + sizeof(Dword) + k * kEntryBytes, kEntryBytes);
        if (entry.Luid.LowPart == wanted.LowPart && entry.Luid.HighPart == wanted.HighPart)
            return (entry.Attributes & kSePrivilegeEnabled) ? PrivilegeState::Enabled : PrivilegeState::Disabled;
    }
    return PrivilegeState::NotHeld;
}

}  // namespace mjr
