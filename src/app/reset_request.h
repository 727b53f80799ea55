#pragma once
// "/reset": a number in the registry that an administrator increases, and every running copy
// watches so that it reads its profile again. The program's one use of the registry.
#include <cstdint>
#include <optional>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace mjr {

// Under HKEY_LOCAL_MACHINE, always in the 64-bit view: the 32-bit program and the package's
// helper meet the 64-bit program at the same number. Only administrators and SYSTEM may add a
// key under HKLM\Software or write this one; any user may read and watch it.
inline constexpr wchar_t kResetRequestKey[] = L"Software\\Marrowbine Jr";
inline constexpr wchar_t kResetRequestValue[] = L"ResetRequest";

struct RegCloseKeyRelease {
    void operator()(Platform& platform, Handle key) const noexcept { platform.RegCloseKey(key); }
};
using UniqueRegKey = UniquePlatformObject<RegCloseKeyRelease>;

// What the key holds now.
struct ResetNumber {
    Lstatus status = 0;                   // of the read: ERROR_KEY_DELETED once the key is gone
    std::optional<std::uint64_t> number;  // none while the value is absent or no number
};

// A REG_QWORD, or a REG_DWORD an administrator wrote by hand, is a number; anything else is not.
ResetNumber ReadResetNumber(Platform& platform, Handle key);

// How "/reset" ends.
inline constexpr int kExitResetRequested = 0;
inline constexpr int kExitResetDenied = 4;  // an ordinary user, or an administrator not elevated
inline constexpr int kExitResetFailed = 5;

// Increases the number, creating the key when absent (it then inherits HKLM\Software's
// rights: administrators and SYSTEM write, users read). Returns the exit status.
int SendResetRequest(Platform& platform);

}  // namespace mjr
