// Reading the values of the names a Path may begin with, and expanding them.
#include "profile/path_names.h"

#include <cstring>
#include <vector>

#include "platform/unique_handle.h"
#include "platform/windows_directory.h"

namespace mjr {
namespace {

constexpr std::size_t npos = std::wstring_view::npos;

wchar_t Upper(wchar_t c) noexcept { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - 32) : c; }

bool SameLetters(std::wstring_view a, std::wstring_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Upper(a[i]) != Upper(b[i])) return false;
    return true;
}

std::wstring KnownFolder(Platform& platform, const Guid& id) {
    std::wstring path;
    return platform.SHGetKnownFolderPath(id, kKfFlagDontVerify, 0, &path) == 0 ? path : std::wstring();
}

// The native Program Files, as Windows records it: a 32-bit process would otherwise be shown
// Program Files (x86).
std::wstring ProgramFilesDir(Platform& platform) {
    Handle key = 0;
    if (platform.RegOpenKeyExW(kHkeyLocalMachine, L"Software\\Microsoft\\Windows\\CurrentVersion",
                               kKeyQueryValue | kKeyWow64_64Key, &key) != 0)
        return {};
    std::uint16_t value[260] = {};  // UTF-16 units, as the registry holds text
    Dword type = 0, bytes = sizeof value;
    const Lstatus status = platform.RegQueryValueExW(key, L"ProgramFilesDir", &type, value, &bytes);
    platform.RegCloseKey(key);
    if (status != 0 || type != kRegSz) return {};
    std::wstring read;
    // A value need not end in a NUL; one that does ends there.
    for (std::size_t i = 0; i < bytes / 2 && value[i] != 0; ++i) read += static_cast<wchar_t>(value[i]);
    return read;
}

// Whether the process runs as NT AUTHORITY\SYSTEM, LOCAL SERVICE or NETWORK SERVICE
// (S-1-5-18, -19, -20); empty when its token cannot be read.
std::optional<bool> RunsAsServiceAccount(Platform& platform) {
    UniqueHandle process(platform, platform.OpenProcess(kProcessQueryLimitedInformation, 0, platform.GetCurrentProcessId()));
    Handle rawToken = 0;
    if (!process || !platform.OpenProcessToken(process.get(), kTokenQuery, &rawToken)) return std::nullopt;
    UniqueHandle token(platform, rawToken);
    alignas(void*) std::uint8_t buffer[128] = {};  // TOKEN_USER and a SID of at most 68 bytes
    Dword length = 0;
    if (!platform.GetTokenInformation(token.get(), kTokenUserClass, buffer, sizeof buffer, &length)) return std::nullopt;
    const std::uint8_t* sid = nullptr;
    std::memcpy(&sid, buffer, sizeof sid);
    constexpr std::uint8_t ntAuthority[6] = {0, 0, 0, 0, 0, 5};
    if (!sid || sid[1] != 1 || std::memcmp(sid + 2, ntAuthority, sizeof ntAuthority) != 0) return false;
    Dword rid = 0;
    std::memcpy(&rid, sid + 8, sizeof rid);
    return rid >= 18 && rid <= 20;
}

bool IsDriveName(std::wstring_view name) noexcept {
    return name.size() == 2 && name[1] == L':' && Upper(name[0]) >= L'A' && Upper(name[0]) <= L'Z';
}

// A full drive or share path, its final "\" already cut.
bool IsFullPathValue(std::wstring_view value) {
    if (value.find_first_of(L"*?\"/") != npos) return false;
    std::vector<std::wstring_view> names;
    for (std::size_t start = 0;;) {
        const std::size_t end = value.find(L'\\', start);
        names.push_back(value.substr(start, end == npos ? npos : end - start));
        if (end == npos) break;
        start = end + 1;
    }
    std::size_t first = 1;  // the first name that is a folder's
    if (names.size() >= 4 && names[0].empty() && names[1].empty()) first = 2;  // \\server\share
    else if (!IsDriveName(names[0])) return false;
    for (std::size_t i = first; i < names.size(); ++i)
        if (names[i].empty() || names[i] == L"." || names[i] == L"..") return false;
    return true;
}

}  // namespace

PathNames ReadPathNames(Platform& platform) noexcept {
    PathNames names;
    try {
        const std::wstring windows = ReadWindowsDirectory(platform);
        names.values[kSystemRoot] = names.values[kWindir] = windows;
        if (windows.size() >= 2 && windows[1] == L':') names.values[kSystemDrive] = windows.substr(0, 2);
        names.values[kProgramFiles] = names.values[kProgramW6432] = ProgramFilesDir(platform);
        names.values[kProgramFilesX86] = KnownFolder(platform, kFolderIdProgramFilesX86);
        names.values[kProgramData] = KnownFolder(platform, kFolderIdProgramData);
        names.values[kPublic] = KnownFolder(platform, kFolderIdPublic);
        const std::optional<bool> service = RunsAsServiceAccount(platform);
        names.serviceAccount = service.value_or(false);
        if (!service || *service) return names;
        names.values[kLocalAppData] = KnownFolder(platform, kFolderIdLocalAppData);
        names.values[kAppData] = KnownFolder(platform, kFolderIdRoamingAppData);
        names.values[kUserProfile] = KnownFolder(platform, kFolderIdProfile);
    } catch (...) {
        // Out of memory: what was read stays, the rest matches nothing.
    }
    return names;
}

std::optional<std::size_t> PathNameAtStart(std::wstring_view path) noexcept {
    if (path.empty() || path[0] != L'%') return std::nullopt;
    const std::size_t close = path.find(L'%', 1);
    if (close == npos || close + 1 >= path.size() || path[close + 1] != L'\\') return std::nullopt;
    for (std::size_t i = 0; i < kPathNameCount; ++i)
        if (SameLetters(path.substr(1, close - 1), kPathNames[i])) return i;
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

}  // namespace mjr
