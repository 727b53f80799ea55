#include "installer/package_profile.h"

#include "common/device_name.h"
#include "common/text.h"
#include "platform/read_whole_file.h"
#include "profile/load_favorites.h"

namespace mjr::installer {
namespace {

constexpr std::size_t kMostPathChars = 32767;  // what Windows' wide file calls take

// A NetBIOS or DNS name, or an IPv4 address: letters, digits, "-", "_" and ".", not dots alone.
bool IsServerName(std::wstring_view server) {
    if (server.empty() || server.size() > 255 || server.find_first_not_of(L'.') == std::wstring_view::npos) return false;
    for (const wchar_t c : server)
        if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != L'-' && c != L'_' && c != L'.') return false;
    return true;
}

// A name Windows opens as it is written: no tidying of a final dot or blank, no wildcard,
// stream or control character.
bool IsKeptName(std::wstring_view name) {
    // "." and ".." end in a dot too.
    if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
    for (const wchar_t c : name)
        if (c < 0x20 || std::wstring_view(L"<>:\"|?*").find(c) != std::wstring_view::npos) return false;
    return true;
}

std::wstring WhyUnread(Dword error) {
    switch (error) {
        case kErrorFileNotFound:
        case kErrorPathNotFound:
            return L"there is no such file";
        case kErrorAccessDenied:
            return L"access is denied: the account that installs must be able to read it (a deployment tool installs "
                   L"as SYSTEM, which reads a share as this computer's account: let Domain Computers read it)";
        case kErrorBadNetPath:
        case kErrorBadNetName:
            return L"the server or the share cannot be reached";
        case kErrorBadFileType:
            return L"it is no file on a disk (a pipe, a console or a device)";
        case kErrorFileTooLarge:
            return L"it holds more than 1 MiB, far more than any profile";
        default:
            return L"Windows error " + std::to_wstring(error);
    }
}

std::wstring WhyNothingLoads(LoadFailure failure) {
    switch (failure) {
        case LoadFailure::EmptyFile: return L"the file is empty";
        case LoadFailure::HeaderOnly: return L"it holds a header line and no favourite";
        case LoadFailure::TooFewFields:
            return L"a line has too few fields (CPU digits, priority and path, each after a tab); the profile doctor "
                   L"names it";
        case LoadFailure::TooManyFavorites: return L"it holds more than 32,767 favourites";
        default: return L"there was not enough memory to read it";
    }
}

constexpr wchar_t kHexDigits[] = L"0123456789abcdef";

int HexValue(wchar_t c) {
    if (IsAsciiDigit(c)) return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    return -1;
}

}  // namespace

std::wstring RefusedProfilePath(std::wstring_view given) {
    std::wstring path(given);
    for (wchar_t& c : path)
        if (c == L'/') c = L'\\';
    const std::wstring quoted = L"PROFILE \"" + std::wstring(given) + L"\"";
    const std::wstring notFull = quoted + L" is no full path of a file on a drive (C:\\...) or a share (\\\\server\\share\\...)";
    if (path.size() > kMostPathChars) return L"PROFILE is longer than any path Windows opens";
    std::size_t namesFrom = 0;
    if (path.size() >= 3 && IsAsciiLetter(path[0]) && path[1] == L':' && path[2] == L'\\') {
        namesFrom = 3;
    } else if (path.rfind(L"\\\\", 0) == 0) {
        if (path.size() >= 4 && (path[2] == L'?' || path[2] == L'.') && path[3] == L'\\')
            return quoted + L" names a device or a path of the kernel's object space, not a file";
        const std::size_t serverEnd = path.find(L'\\', 2);
        const std::wstring_view server = std::wstring_view(path).substr(2, serverEnd - 2);
        const std::size_t shareEnd = serverEnd == std::wstring::npos ? serverEnd : path.find(L'\\', serverEnd + 1);
        const std::wstring_view share =
            serverEnd == std::wstring::npos ? std::wstring_view() : std::wstring_view(path).substr(serverEnd + 1, shareEnd - serverEnd - 1);
        if (server.find(L'@') != std::wstring_view::npos || EqualsIgnoringAsciiCase(share, L"DavWWWRoot"))
            return quoted + L" is a WebDAV or port form of a share (\\\\host@SSL\\..., \\\\host@8080\\..., DavWWWRoot): "
                            L"give the path of a Windows (SMB) share";
        if (!IsServerName(server) || share.empty() || shareEnd == std::wstring::npos) return notFull;
        if (EqualsIgnoringAsciiCase(share, L"pipe") || EqualsIgnoringAsciiCase(share, L"mailslot"))
            return quoted + L" names a pipe or a mailslot, not a file";
        namesFrom = shareEnd + 1;
    } else {
        return notFull;
    }
    if (namesFrom >= path.size() || path.back() == L'\\') return quoted + L" names a folder: name the profile file in it";
    for (std::size_t at = namesFrom; at <= path.size();) {
        std::size_t end = path.find(L'\\', at);
        if (end == std::wstring::npos) end = path.size();
        if (!IsKeptName(std::wstring_view(path).substr(at, end - at)))
            return quoted + L" holds a name Windows would not open as written: empty, \".\" or \"..\", ending in a dot "
                            L"or a blank, or holding < > : \" | ? * or a control character";
        at = end + 1;
    }
    if (HasReservedDeviceName(path)) return quoted + L" ends in a name Windows keeps for a device (CON, NUL, COM1...)";
    return {};
}

std::wstring RefusedProfileBytes(Platform& platform, std::string_view bytes, std::size_t& favorites) {
    favorites = 0;
    if (bytes.size() > kMostPackageProfileBytes) return WhyUnread(kErrorFileTooLarge);
    FavoritesTable table;
    LoadTrace trace;
    // Whether a favourite loads: a Path's leading %NAME% never decides it, so none is expanded.
    if (!ReadFavoritesTraced(platform, PathNames{}, bytes, table, trace))
        return L"no favourite loads: " + WhyNothingLoads(trace.Failure);
    favorites = table.Records().size();
    return {};
}

PackageProfile ReadPackageProfile(Platform& platform, const std::wstring& path) {
    PackageProfile profile;
    profile.refusal = RefusedProfilePath(path);
    if (!profile.refusal.empty()) return profile;
    std::wstring readable = path;
    for (wchar_t& c : readable)
        if (c == L'/') c = L'\\';
    std::optional<std::string> bytes = ReadWholeFile(platform, readable, kMostPackageProfileBytes);
    const std::wstring quoted = L"PROFILE \"" + path + L"\"";
    if (!bytes) {
        profile.refusal = quoted + L" could not be read: " + WhyUnread(platform.GetLastError());
        return profile;
    }
    const std::wstring refusal = RefusedProfileBytes(platform, *bytes, profile.favorites);
    if (!refusal.empty()) {
        profile.refusal = quoted + L": " + refusal;
        return profile;
    }
    profile.bytes = std::move(bytes);
    return profile;
}

std::wstring CopyProfileData(std::wstring_view installDir, std::string_view bytes) {
    std::wstring data(installDir);
    data.reserve(installDir.size() + 1 + 2 * bytes.size());
    data += L'|';
    for (const char byte : bytes) {
        const auto value = static_cast<unsigned char>(byte);
        data += kHexDigits[value >> 4];
        data += kHexDigits[value & 0xF];
    }
    return data;
}

std::optional<CopyProfileRequest> ReadCopyProfileData(std::wstring_view data) {
    const std::size_t bar = data.find(L'|');
    if (bar == 0 || bar == std::wstring_view::npos || (data.size() - bar - 1) % 2 != 0) return std::nullopt;
    CopyProfileRequest request{std::wstring(data.substr(0, bar)), {}};
    request.bytes.reserve((data.size() - bar - 1) / 2);
    for (std::size_t at = bar + 1; at < data.size(); at += 2) {
        const int high = HexValue(data[at]), low = HexValue(data[at + 1]);
        if (high < 0 || low < 0) return std::nullopt;
        request.bytes += static_cast<char>(high << 4 | low);
    }
    return request;
}

}  // namespace mjr::installer
