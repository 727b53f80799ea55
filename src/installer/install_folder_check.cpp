#include "installer/install_folder_check.h"

#include <array>
#include <optional>
#include <vector>

#include "installer/helper_command_line.h"
#include "installer/logon_task.h"
#include "privilege/descriptor_rights.h"

namespace mjr::installer {
namespace {

// What the elevated program runs or reads from its folder, and the package's other programs
// (the doctor is run as administrator, the helper as SYSTEM).
constexpr std::array<const wchar_t*, 5> kFilesInside = {
    kProgramFile, L"MarrowbineJrCheck64.exe", L"MarrowbineJrTask.exe", L"Marrowbine64.exe", L"My Favs 1"};

class Walk {
public:
    Walk(Platform& platform, std::string_view helperAccount) : platform_(platform), helperAccount_(helperAccount) {}

    // Nothing while the object is the administrators' alone (or, for a file, missing).
    std::optional<FolderVerdict> Refusal(const std::wstring& path, ObjectKind kind) {
        const Dword attributes = platform_.GetFileAttributesW(path);
        if (attributes == kInvalidFileAttributes) {
            const Dword error = platform_.GetLastError();
            if (kind == ObjectKind::File && error == kErrorFileNotFound) return std::nullopt;
            return FolderVerdict{static_cast<int>(error), path};
        }
        if (attributes & kFileAttributeReparsePoint) return FolderVerdict{kExitLinkOnTheWay, path};
        std::vector<std::uint8_t> descriptor;
        const Dword error =
            platform_.GetNamedSecurityInfoW(path, kOwnerSecurityInformation | kDaclSecurityInformation, &descriptor);
        if (error != 0) return FolderVerdict{static_cast<int>(error), path};
        // A descriptor it cannot read counts as open.
        const auto rights = RightsOrdinaryUsersHold(descriptor, kind, helperAccount_);
        if (!rights || *rights != 0) return FolderVerdict{kExitFolderOpenToUsers, path};
        return std::nullopt;
    }

private:
    Platform& platform_;
    std::string_view helperAccount_;
};

bool IsDrivePath(std::wstring_view path) {
    return path.size() >= 3 && ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z')) &&
           path[1] == L':' && path[2] == L'\\';
}

}  // namespace

FolderVerdict CheckInstallFolder(Platform& platform, std::wstring_view installDir, std::string_view helperAccount) {
    if (!IsDrivePath(installDir)) return FolderVerdict{kExitBadInstallDir, std::wstring(installDir)};
    Walk walk(platform, helperAccount);
    std::wstring folder(installDir.substr(0, 3));
    if (auto refused = walk.Refusal(folder, ObjectKind::Folder)) return *refused;
    for (std::size_t next = 3; next < installDir.size();) {
        std::size_t end = installDir.find(L'\\', next);
        if (end == std::wstring_view::npos) end = installDir.size();
        if (end == next) return FolderVerdict{kExitBadInstallDir, std::wstring(installDir)};  // "\\" inside
        folder = std::wstring(installDir.substr(0, end));
        next = end + 1;
        if (auto refused = walk.Refusal(folder, ObjectKind::Folder)) return *refused;
    }
    if (folder.back() != L'\\') folder += L'\\';
    for (const wchar_t* name : kFilesInside)
        if (auto refused = walk.Refusal(folder + name, ObjectKind::File)) return *refused;
    return FolderVerdict{};
}

}  // namespace mjr::installer
