#pragma once
// Whether the folder the package installed into is still the administrators' alone, which the
// helper asks before it registers the logon task: that task starts the program elevated at
// every logon, so whoever can change the folder, a folder above it or a file the program reads
// or starts there would get an administrator's rights. "Inside Program Files" is not enough: a
// vendor's folder there may grant users Modify.
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace mjr::installer {

struct FolderVerdict {
    // 0 when only administrators can change any of them; otherwise kExitFolderOpenToUsers,
    // kExitLinkOnTheWay, kExitBadInstallDir, or the error of the call that could not read one.
    int exitCode = 0;
    std::wstring path;  // the first that failed
};

// The drive's root and each folder down to installDir (a full "X:\..." path), then the programs
// and the profile in it where they exist (a missing one is as safe as the folder it would be
// made in). A junction or link on the way fails too: it may lead anywhere. helperAccount: the
// SID the helper runs as when its token is elevated (SYSTEM under Windows Installer), which
// counts as an administrator; empty otherwise.
FolderVerdict CheckInstallFolder(Platform& platform, std::wstring_view installDir, std::string_view helperAccount);

}  // namespace mjr::installer
