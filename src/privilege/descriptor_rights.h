#pragma once
// Who besides the administrators can change a file or a folder: a security descriptor's DACL
// evaluated as an access check does, for "ordinary users", meaning any account but SYSTEM,
// Administrators and TrustedInstaller. Portable: it walks the descriptor's bytes. The doctor
// warns by it; the package's helper refuses to register the logon task by it.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/platform.h"

namespace mjr {

// A folder a path pattern reaches: what it can match may also be made there, in a new subfolder.
enum class ObjectKind { File, Folder, ReachedFolder };

// Rights that let their holder replace a program: on a file, write or append to it, delete it,
// change its permissions or owner; on a folder, add files, delete what it holds, delete it,
// change its permissions or owner (adding a subfolder replaces nothing, but in a folder a
// pattern reaches it adds what the pattern matches).
inline constexpr Dword kFileWriteData = 0x2;      // FILE_ADD_FILE on a folder
inline constexpr Dword kFileAppendData = 0x4;     // FILE_ADD_SUBDIRECTORY on a folder
inline constexpr Dword kFileDeleteChild = 0x40;
inline constexpr Dword kDelete = 0x10000;
inline constexpr Dword kWriteDac = 0x40000;
inline constexpr Dword kWriteOwner = 0x80000;
Dword RightsThatReplace(ObjectKind kind) noexcept;

// Of RightsThatReplace(kind), those some ordinary user holds under a self-relative security
// descriptor holding the owner and the DACL. A NULL DACL gives them all. Nothing when the
// bytes are no well-formed descriptor. alsoAdministration: one more SID ("S-1-5-21-...")
// that counts as an administrator's, for a checker running elevated as that account.
std::optional<Dword> RightsOrdinaryUsersHold(std::span<const std::uint8_t> descriptor, ObjectKind kind,
                                             std::string_view alsoAdministration = {}) noexcept;

}  // namespace mjr
