#pragma once
// The doctor's one rule for file-system calls on a path a profile names: only a path on a
// local drive is looked at. A share would be reached with the identity of whoever runs the
// doctor (often an administrator), and a pipe's server could act as that identity.
#include <string>
#include <string_view>

#include "common/device_name.h"
#include "platform/platform.h"

namespace mjr::doctor {

enum class Reach {
    LocalDrive,    // fixed, removable, CD or RAM disk as GetDriveTypeW says: may be looked at
    Network,       // a share, a network drive, or a drive Windows reports as no local kind
    DeviceOrPipe,  // "\\.\", "\\?\" that is no drive path ("\\?\pipe\", "\\?\GLOBALROOT"), "\??\"
    ReservedName,  // a file name Windows takes for a device: CON, NUL, AUX, PRN, COM1-9, LPT1-9
    NotFull,       // no drive letter or share at its start
};

struct PathReach {
    Reach reach = Reach::NotFull;
    // What the report says instead of looking; empty for a local drive.
    std::wstring warning;
    bool MayTouch() const noexcept { return reach == Reach::LocalDrive; }
};

// Ask before any file-system call on `path`. Its only own call is GetDriveTypeW on a
// drive letter's root, made only for a path that is neither a device, a pipe nor a reserved
// name.
PathReach ReachOf(Platform& platform, std::wstring_view path);

}  // namespace mjr::doctor
