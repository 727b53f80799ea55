#include "doctor/user_access.h"

#include <string>

#include "doctor/report_text.h"

namespace mjr::doctor {
namespace {

// Where the drive's root ends: "C:\" or "\\?\C:\".
std::size_t RootLength(const std::wstring& path) { return path.rfind(L"\\\\?\\", 0) == 0 ? 7 : 3; }

}  // namespace

UserAccessCheck::Finding UserAccessCheck::Read(const std::wstring& path) {
    Finding finding;
    finding.path = path;
    const std::wstring root = path.substr(0, RootLength(path));
    auto drive = drives_.find(root);
    if (drive == drives_.end()) {
        Finding::What verdict = Finding::Closed;
        Dword flags = 0;
        // A stick or a card can be swapped for one prepared elsewhere, whatever its permissions say.
        if (platform_.GetDriveTypeW(root.c_str()) == kDriveRemovable) verdict = Finding::RemovableDrive;
        // When the drive cannot say, its descriptors still can.
        else if (platform_.GetVolumeInformationW(root.c_str(), &flags) && !(flags & kFilePersistentAcls))
            verdict = Finding::NoPermissionsOnDrive;
        drive = drives_.emplace(root, verdict).first;
    }
    if (drive->second != Finding::Closed) {
        finding.what = drive->second;
        finding.path = root;
        return finding;
    }
    std::vector<std::uint8_t> descriptor;
    const Dword error =
        platform_.GetNamedSecurityInfoW(path, kOwnerSecurityInformation | kDaclSecurityInformation, &descriptor);
    // Every right either kind of object can lose, sorted out by kind when asked.
    const std::optional<Dword> rights = error ? std::nullopt : RightsOrdinaryUsersHold(descriptor, ObjectKind::ReachedFolder);
    if (!rights) {
        finding.what = Finding::Unreadable;
        finding.error = error;
    } else {
        finding.what = Finding::Changeable;
        finding.rights = *rights;
    }
    return finding;
}

UserAccessCheck::Finding UserAccessCheck::Check(const std::wstring& path, ObjectKind kind) {
    auto it = checked_.find(path);
    if (it == checked_.end()) it = checked_.emplace(path, Read(path)).first;
    Finding finding = it->second;
    finding.kind = kind;
    finding.rights &= RightsThatReplace(kind);
    if (finding.what == Finding::Changeable && finding.rights == 0) finding.what = Finding::Closed;
    return finding;
}

UserAccessCheck::Finding UserAccessCheck::FirstOpen(const std::wstring& path, ObjectKind kind) {
    const std::size_t rootLength = RootLength(path);
    std::wstring at = path.substr(0, rootLength);
    Finding finding = Check(at, ObjectKind::Folder);
    for (std::size_t next = rootLength; finding.what == Finding::Closed && next < path.size();) {
        std::size_t end = path.find(L'\\', next);
        const bool last = end == std::wstring::npos;
        if (last) end = path.size();
        const std::wstring parent = at;
        at = path.substr(0, end);
        next = end + 1;
        const Dword attributes = platform_.GetFileAttributesW(at);
        if (attributes == kInvalidFileAttributes) {
            const Dword error = platform_.GetLastError();
            if (error != kErrorFileNotFound && error != kErrorPathNotFound)
                return Finding{Finding::Unreadable, at, ObjectKind::Folder, 0, error, {}};
            // Whoever may make a missing folder in the deepest one that exists decides what it will
            // hold; adding a missing program was looked at with its folder.
            finding = Check(parent, ObjectKind::ReachedFolder);
            finding.rights &= last && kind == ObjectKind::File ? 0 : kFileAppendData;
            finding.what = finding.rights ? Finding::Changeable : Finding::Closed;
            finding.missing = at;
            return finding;
        }
        if (attributes & kFileAttributeReparsePoint) return Finding{Finding::ReparsePoint, at, ObjectKind::Folder, 0, 0, {}};
        finding = Check(at, last ? kind : ObjectKind::Folder);
    }
    return finding;
}

std::wstring UserAccessCheck::Describe(const Finding& finding) {
    if (finding.what == Finding::NoPermissionsOnDrive || finding.what == Finding::RemovableDrive) {
        const std::wstring drive = finding.path.substr(finding.path.size() - 3, 2);
        if (finding.what == Finding::NoPermissionsOnDrive)
            return L"the drive " + drive + L", which keeps no permissions (FAT or exFAT), so ordinary users can change "
                   L"everything on it";
        return L"the drive " + drive + L", which is removable: whoever swaps its stick or card for one made elsewhere "
               L"decides what is on it";
    }
    if (finding.what == Finding::ReparsePoint)
        return Quoted(finding.path) + L" is a junction or a link, which can lead anywhere, a share included: the doctor "
               L"does not look past it";
    const bool file = finding.kind == ObjectKind::File;
    std::wstring text = (file ? L"the file " : L"the folder ") + Quoted(finding.path);
    if (finding.what == Finding::Unreadable)
        return text + L", whose permissions could not be read (" +
               (finding.error ? L"Windows error " + std::to_wstring(finding.error) : std::wstring(L"not understood")) + L")";
    if (!finding.missing.empty()) text = Quoted(finding.missing) + L" does not exist, and " + text;
    std::wstring can;
    const auto add = [&](Dword right, const wchar_t* words) {
        if (finding.rights & right) can += (can.empty() ? L"" : L", ") + std::wstring(words);
    };
    add(kFileWriteData, file ? L"write it" : L"add files");
    add(kFileAppendData, file ? L"append to it" : L"add folders");
    add(kFileDeleteChild, L"delete what it holds");
    add(kDelete, L"delete it");
    add(kWriteDac, L"change its permissions");
    add(kWriteOwner, L"take ownership");
    return text + L" lets ordinary users " + can;
}

}  // namespace mjr::doctor
