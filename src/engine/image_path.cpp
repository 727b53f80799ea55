#include "engine/image_path.h"

#include "common/text.h"
#include "platform/windows_directory.h"

namespace mjr {
namespace {

constexpr Dword kImagePathChars = 1024;
constexpr Dword kLongPathChars = 1024;

bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// Only local drives are asked for a long form: on a network drive the lookup would reach
// for a server with this (possibly elevated) program's credentials, and could stall the pass.
bool OnLocalDrive(Platform& platform, std::wstring_view path) {
    if (path.size() < 3 || !IsLetter(path[0]) || path[1] != L':' || path[2] != L'\\') return false;
    const std::wstring root(path.substr(0, 3));
    switch (platform.GetDriveTypeW(root.c_str())) {
        case kDriveRemovable: case kDriveFixed: case kDriveCdrom: case kDriveRamdisk: return true;
        default: return false;
    }
}

}  // namespace

std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept {
    try {
        if (!OnLocalDrive(platform, path)) {
            if (path.size() >= kLongPathChars) return std::nullopt;
            return std::wstring(path);
        }
        std::wstring buffer(kLongPathChars, L'\0');
        const std::wstring shortPath(path);
        const Dword length = platform.GetLongPathNameW(shortPath.c_str(), buffer.data(), kLongPathChars);
        if (length == 0) return std::wstring();
        // A long form that does not fit is reported as the size it needs.
        if (length >= kLongPathChars) return std::nullopt;
        buffer.resize(length);
        return buffer;
    } catch (...) {
        return std::wstring();
    }
}

std::optional<std::wstring> GetProcessImagePath(Platform& platform, Handle process,
                                                std::wstring_view windowsDirPrefix) {
    if (process == 0) return std::wstring();
    std::wstring buffer(kImagePathChars, L'\0');
    Dword length = kImagePathChars;
    if (!platform.QueryFullProcessImageNameW(process, 0, buffer.data(), &length)) {
        if (platform.GetLastError() == kErrorInsufficientBuffer) return std::nullopt;
        return std::wstring();
    }
    if (length == 0) return std::wstring();
    if (length > kImagePathChars) length = kImagePathChars;
    buffer.resize(length);
    std::wstring path = ReplaceAll(buffer, L"\\??\\", L"");
    path = ReplaceAll(path, L"\\SystemRoot\\", windowsDirPrefix);
    return ToLongPath(platform, path);
}

std::wstring GetWindowsDirPrefix(Platform& platform) {
    const std::wstring directory = ReadWindowsDirectory(platform);
    return directory.empty() ? directory : directory + L"\\";
}

}  // namespace mjr
