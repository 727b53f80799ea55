// Reading the values of the names a Path may begin with, and expanding them.
#include "profile/path_names.h"
#include "common/text.h"

#include <algorithm>
#include <cstring>

#include "platform/own_token.h"
#include "platform/windows_directory.h"

namespace mjr {
namespace {

constexpr std::size_t npos = std::wstring_view::npos;

// The native Program Files, as Windows records it: a 32-bit process would otherwise be shown
// Program Files (x86).
std::wstring ProgramFilesDir(Platform& platform) {
    Handle key = 0;
    if (platform.RegOpenKeyExW(kHkeyLocalMachine, L"Software\\Microsoft\\Windows\\CurrentVersion",
                               kKeyQueryValue | kKeyWow64_64Key, &key) != 0)
        return {};
    // UTF-16 units, as the registry holds text; the last stays 0, as a value need not end in one.
    std::uint16_t value[261] = {};
    Dword type = 0, bytes = sizeof value - sizeof value[0];
    const Lstatus status = platform.RegQueryValueExW(key, L"ProgramFilesDir", &type, value, &bytes);
    platform.RegCloseKey(key);
    if (status != 0 || type != kRegSz) return {};
    std::wstring read;
    for (const std::uint16_t* unit = value; *unit != 0; ++unit) read += static_cast<wchar_t>(*unit);
    return read;
}

// Whether the process runs as NT AUTHORITY\SYSTEM, LOCAL SERVICE or NETWORK SERVICE
// (S-1-5-18, -19, -20): 1 when it does, 0 when not, -1 when its token cannot be read.
int RunsAsServiceAccount(Platform& platform) {
    const UniqueHandle token = OpenOwnTokenToRead(platform);
    if (!token) return -1;
    alignas(void*) std::uint8_t buffer[128] = {};  // TOKEN_USER and a SID of at most 68 bytes
    Dword length = 0;
    if (!platform.GetTokenInformation(token.get(), kTokenUserClass, buffer, sizeof buffer, &length)) return -1;
    const std::uint8_t* sid = nullptr;
    std::memcpy(&sid, buffer, sizeof sid);
    constexpr std::uint8_t ntAuthority[6] = {0, 0, 0, 0, 0, 5};
    if (!sid || sid[1] != 1 || std::memcmp(sid + 2, ntAuthority, sizeof ntAuthority) != 0) return 0;
    Dword rid = 0;
    std::memcpy(&rid, sid + 8, sizeof rid);
    return rid >= 18 && rid <= 20;
}

// A full drive or share path, its final "\" already cut: "C:", "C:\" or "\\server\share" and
// then names none of which is empty, "." or "..".
bool IsFullPathValue(std::wstring_view value) noexcept {
    if (value.find_first_of(L"*?\"/") != npos) return false;
    std::size_t at = 3, least = 1;
    if (value.starts_with(L"\\\\")) {
        at = least = 2;  // the server's name and the share's at least
    } else if (value.size() < 2 || value[1] != L':' || AsciiUpper(value[0]) < L'A' || AsciiUpper(value[0]) > L'Z') {
        return false;
    } else if (value.size() == 2) {
        return true;
    } else if (value[2] != L'\\') {
        return false;
    }
    for (std::size_t names = 1;; ++names) {
        const std::size_t end = std::min(value.find(L'\\', at), value.size());
        const std::wstring_view name = value.substr(at, end - at);
        if (name.empty() || name == L"." || name == L"..") return false;
        if (end == value.size()) return names >= least;
        at = end + 1;
    }
}

}  // namespace

PathNames ReadPathNames(Platform& platform) noexcept {
    // The known folders, the user's own (the first three) last.
    static constexpr struct {
        std::size_t name;
        const Guid* id;
    } kFolders[] = {{kProgramFilesX86, &kFolderIdProgramFilesX86}, {kProgramData, &kFolderIdProgramData},
                    {kPublic, &kFolderIdPublic},                   {kLocalAppData, &kFolderIdLocalAppData},
                    {kAppData, &kFolderIdRoamingAppData},          {kUserProfile, &kFolderIdProfile}};
    PathNames names;
    try {
        const std::wstring windows = ReadWindowsDirectory(platform);
        names.values[kSystemRoot] = names.values[kWindir] = windows;
        if (windows.find(L':') == 1) names.values[kSystemDrive] = windows.substr(0, 2);
        names.values[kProgramFiles] = names.values[kProgramW6432] = ProgramFilesDir(platform);
        const int service = RunsAsServiceAccount(platform);
        names.serviceAccount = service == 1;
        for (const auto& folder : kFolders)
            if (folder.name >= kPerUserPathNames || service == 0)
                platform.SHGetKnownFolderPath(*folder.id, kKfFlagDontVerify, 0, &names.values[folder.name]);
    } catch (...) {
        // Out of memory: what was read stays, the rest matches nothing.
    }
    return names;
}

std::optional<std::size_t> PathNameAtStart(std::wstring_view path) noexcept {
    if (path.empty() || path[0] != L'%') return std::nullopt;
    const std::size_t close = path.find(L'%', 1);
    if (close == npos || !path.substr(close + 1).starts_with(L'\\')) return std::nullopt;
    for (std::size_t i = 0; i < kPathNameCount; ++i)
        if (EqualsIgnoringAsciiCase(path.substr(1, close - 1), kPathNames[i])) return i;
    return std::nullopt;
}

ExpandedPath ExpandPathName(std::wstring_view path, const PathNames& names) {
    ExpandedPath expanded;
    const std::optional<std::size_t> name = PathNameAtStart(path);
    if (!name) return expanded;
    expanded.name = *name;
    std::wstring_view value = names.values[*name];
    if (!value.empty() && value.back() == L'\\') value.remove_suffix(1);
    if (value.empty()) {
        expanded.use = *name < kPerUserPathNames && names.serviceAccount ? PathNameUse::NoUserHere : PathNameUse::Unknown;
    } else if (!IsFullPathValue(value)) {
        expanded.use = PathNameUse::NotAFullPath;
    } else {
        expanded.use = PathNameUse::Expanded;
        expanded.path.assign(value).append(path.substr(kPathNames[*name].size() + 2));
    }
    return expanded;
}

void ExpandLeadingName(std::wstring& path, const PathNames& names) {
    ExpandedPath expanded = ExpandPathName(path, names);
    if (expanded.use == PathNameUse::Expanded) path = std::move(expanded.path);
}

}  // namespace mjr
