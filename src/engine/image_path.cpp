// Reading the kernel's path of a process's executable, and its long form.
#include "engine/image_path.h"

#include "common/text.h"
#include "platform/windows_directory.h"

namespace mjr {
namespace {

constexpr Dword kImagePathChars = 1024;
constexpr Dword kLongPathChars = 1024;
// The long-path lookup's own prefix: the path goes to the file system as it stands.
constexpr std::wstring_view kLiteralPrefix = L"\\\\?\\";

// Only local drives are asked for a long form: on a network drive the lookup would reach
// for a server with this (possibly elevated) program's credentials, and could stall the pass.
bool OnLocalDrive(Platform& platform, std::wstring_view path) {
    if (path.size() < 3 || !IsAsciiLetter(path[0]) || path[1] != L':' || path[2] != L'\\') return false;
    const std::wstring root(path.substr(0, 3));
    switch (platform.GetDriveTypeW(root.c_str())) {
        case kDriveRemovable: case kDriveFixed: case kDriveCdrom: case kDriveRamdisk: return true;
        default: return false;
    }
}

std::size_t Separators(std::wstring_view path) {
    std::size_t count = 0;
    for (wchar_t c : path) count += c == L'\\';
    return count;
}

}  // namespace

bool IsPathAsWritten(std::wstring_view path) noexcept {
    for (std::size_t i = 0; i < path.size(); ++i) {
        const bool nameEnds = i + 1 == path.size() || path[i + 1] == L'\\';
        if (nameEnds && (path[i] == L'.' || path[i] == L' ')) return false;
        if (path[i] == L':' && !(i == 1 && IsAsciiLetter(path[0]) && path.size() > 2 && path[2] == L'\\')) return false;
    }
    return true;
}

std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept {
    try {
        if (!OnLocalDrive(platform, path)) {
            if (path.size() >= kLongPathChars) return std::nullopt;
            return std::wstring(path);
        }
        const Dword size = kLongPathChars + static_cast<Dword>(kLiteralPrefix.size());
        std::wstring buffer(size, L'\0');
        std::wstring literal;
        literal.reserve(kLiteralPrefix.size() + path.size());
        literal.append(kLiteralPrefix).append(path);
        const Dword length = platform.GetLongPathNameW(literal.c_str(), buffer.data(), size);
        if (length == 0) return std::wstring();
        // A long form that does not fit is reported as the size it needs.
        if (length >= size) return std::nullopt;
        buffer.resize(length);
        // Without its prefix, or of other names than the path's, it is another file's name.
        if (buffer.compare(0, kLiteralPrefix.size(), kLiteralPrefix) != 0 || Separators(buffer) != Separators(literal))
            return std::wstring();
        buffer.erase(0, kLiteralPrefix.size());
        return buffer;
    } catch (...) {
        return std::wstring();
    }
}

std::optional<std::wstring> KernelImagePath(Platform& platform, Handle process, std::wstring_view windowsDirPrefix) {
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
    return ReplaceAll(path, L"\\SystemRoot\\", windowsDirPrefix);
}

std::optional<std::wstring> GetProcessImagePath(Platform& platform, Handle process,
                                                std::wstring_view windowsDirPrefix) {
    const std::optional<std::wstring> path = KernelImagePath(platform, process, windowsDirPrefix);
    if (!path) return path;
    // Win32 would tidy it into another file's name: this process is no favourite's.
    if (!IsPathAsWritten(*path)) return std::wstring();
    std::optional<std::wstring> longForm = ToLongPath(platform, *path);
    if (longForm && !IsPathAsWritten(*longForm)) longForm->clear();
    return longForm;
}

std::wstring GetWindowsDirPrefix(Platform& platform) {
    const std::wstring directory = ReadWindowsDirectory(platform);
    return directory.empty() ? directory : directory + L"\\";
}

}  // namespace mjr
