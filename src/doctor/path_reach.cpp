#include "doctor/path_reach.h"
#include "common/text.h"

#include "doctor/report_text.h"

namespace mjr::doctor {
namespace {

bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDrivePath(std::wstring_view path) { return path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && IsSlash(path[2]); }

PathReach Refused(Reach reach, std::wstring text) { return PathReach{reach, std::move(text)}; }

PathReach OnNetwork(std::wstring_view path) {
    return Refused(Reach::Network,
                   L"Path " + Quoted(path) + L" is on a share or a network drive: the doctor does not look there (it "
                   L"would reach that server with your identity); whoever can write that share decides what runs with "
                   L"this favourite's priority");
}

}  // namespace

PathReach ReachOf(Platform& platform, const std::wstring_view shown) {
    std::wstring_view path = shown;
    // Only "\\?\" with backslashes skips Windows' own rewriting; "//?/" and "\\.\" are the device space.
    if (path.size() >= 4 && IsSlash(path[0]) && IsSlash(path[1]) && (path[2] == L'.' || path[2] == L'?') &&
        IsSlash(path[3])) {
        const bool literal = path.substr(0, 4) == L"\\\\?\\";
        if (literal && StartsWithIgnoringAsciiCase(path.substr(4), L"UNC\\")) return OnNetwork(shown);
        if (!literal || !IsDrivePath(path.substr(4)) || path[6] != L'\\')
            return Refused(Reach::DeviceOrPipe,
                           L"Path " + Quoted(shown) + L" names a device or a pipe, not a file on a drive: refused; the "
                           L"doctor opens nothing there (a pipe's server could act with your identity), and no running "
                           L"program is known by such a path");
        path.remove_prefix(4);
    } else if (path.size() >= 4 && path.substr(0, 4) == L"\\??\\") {
        return Refused(Reach::DeviceOrPipe, L"Path " + Quoted(shown) + L" is a path of the kernel's object space: "
                                            L"refused; the doctor opens nothing there");
    } else if (path.size() >= 2 && IsSlash(path[0]) && IsSlash(path[1])) {
        return OnNetwork(shown);
    }
    if (!IsDrivePath(path))
        return Refused(Reach::NotFull, L"Path " + Quoted(shown) + L" starts with no drive letter or share: the doctor "
                                       L"does not look for it");
    if (HasReservedDeviceName(path))
        return Refused(Reach::ReservedName,
                       L"Path " + Quoted(shown) + L" ends in a reserved device name (CON, NUL, AUX, PRN, COM1-9, LPT1-9, "
                       L"with or without an extension): Windows may open the device instead of a file, so the doctor "
                       L"never opens it, and no program runs from such a name");
    const std::wstring root{path[0], L':', L'\\'};
    switch (platform.GetDriveTypeW(root.c_str())) {
        case kDriveRemovable: case kDriveFixed: case kDriveCdrom: case kDriveRamdisk: return PathReach{Reach::LocalDrive, {}};
        case kDriveRemote: return OnNetwork(shown);
        default:
            return Refused(Reach::Network,
                           L"Path " + Quoted(shown) + L" is on drive " + root.substr(0, 2) + L", which Windows reports "
                           L"as no local drive (not there, or of unknown kind): the doctor does not look there; if it "
                           L"leads to a share, whoever can write that share decides what runs with this favourite's "
                           L"priority");
    }
}

}  // namespace mjr::doctor
