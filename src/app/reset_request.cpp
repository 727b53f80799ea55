// "/reset": reading the request number, and increasing it for the copies that watch it.
#include "app/reset_request.h"

namespace mjr {

ResetNumber ReadResetNumber(Platform& platform, Handle key) {
    ResetNumber read;
    Dword type = 0;
    std::uint64_t value = 0;  // little-endian, as a REG_DWORD's four bytes are too
    Dword size = sizeof value;
    read.status = platform.RegQueryValueExW(key, kResetRequestValue, &type, &value, &size);
    if (read.status == 0 && ((type == kRegQword && size == 8) || (type == kRegDword && size == 4))) read.number = value;
    return read;
}

int SendResetRequest(Platform& platform) {
    Handle opened = 0;
    Lstatus status = platform.RegCreateKeyExW(kHkeyLocalMachine, kResetRequestKey,
                                              kKeyQueryValue | kKeySetValue | kKeyWow64_64Key, &opened);
    if (status == 0) {
        const UniqueRegKey key(platform, opened);
        // From 1 where there is no number yet; past the largest it wraps, which still differs.
        const std::uint64_t next = ReadResetNumber(platform, key.get()).number.value_or(0) + 1;
        status = platform.RegSetValueExW(key.get(), kResetRequestValue, kRegQword, &next, sizeof next);
    }
    if (status == 0) return kExitResetRequested;
    return status == static_cast<Lstatus>(kErrorAccessDenied) ? kExitResetDenied : kExitResetFailed;
}

}  // namespace mjr
