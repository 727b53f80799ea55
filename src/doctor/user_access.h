#pragma once
// Who besides the administrators can change a file or a folder: a security descriptor's DACL
// evaluated as an access check does, for "ordinary users", meaning any account but SYSTEM,
// Administrators and TrustedInstaller. Portable: it walks the descriptor's bytes.
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>

#include "platform/platform.h"

namespace mjr::doctor {

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
// bytes are no well-formed descriptor.
std::optional<Dword> RightsOrdinaryUsersHold(std::span<const std::uint8_t> descriptor, ObjectKind kind) noexcept;

}  // namespace mjr::doctor

namespace mjr::doctor {

// Asks Windows who can change files and folders, once a path per run. Give it only paths the
// gate (path_reach.h) lets the doctor touch.
class UserAccessCheck {
public:
    struct Finding {
        // ReparsePoint: a junction or link on the way, which may lead anywhere; Unfinished: a
        // pattern's walk stopped at its limits; RemovableDrive: whoever swaps the medium decides
        // what is on it. All count as open.
        enum What { Closed, Changeable, NoPermissionsOnDrive, Unreadable, ReparsePoint, Unfinished, RemovableDrive } what = Closed;
        std::wstring path;
        ObjectKind kind = ObjectKind::File;
        Dword rights = 0;  // Changeable: what ordinary users may do
        Dword error = 0;   // Unreadable: the answer of the call that failed
        std::wstring missing;  // what does not exist on the way; `path` is the folder it would be made in
    };

    explicit UserAccessCheck(Platform& platform) : platform_(platform) {}

    // One file or folder.
    Finding Check(const std::wstring& path, ObjectKind kind);
    // The drive's root, then each folder down to the object at `path`: the first that ordinary
    // users can change, whose permissions cannot be read, or that is a reparse point; nothing
    // past it is touched. Where a folder or the object does not exist, the deepest folder
    // that does is open when ordinary users may make it there. Closed when none.
    Finding FirstOpen(const std::wstring& path, ObjectKind kind);
    // "the folder "C:\Games" lets ordinary users add files, delete it", for a report.
    static std::wstring Describe(const Finding& finding);

private:
    Finding Read(const std::wstring& path);

    Platform& platform_;
    std::map<std::wstring, Finding> checked_;
    std::map<std::wstring, Finding::What> drives_;  // by root: Closed, or why the whole drive is open
};

}  // namespace mjr::doctor
