#include "engine/image_path.h"

#include "common/text.h"
#include "platform/unique_handle.h"

namespace mjr {
namespace {

constexpr Dword kModulePathChars = 512;
constexpr Dword kLongPathChars = 1024;
constexpr Dword kWindowsDirChars = 255;

}  // namespace

std::optional<std::wstring> ToLongPath(Platform& platform, std::wstring_view path) noexcept {
    try {
        std::string buffer(kLongPathChars, '\0');
        const std::string ansiPath = platform.WideToAnsi(path);
        const Dword length = platform.GetLongPathNameA(ansiPath.c_str(), buffer.data(), kLongPathChars);
        if (length == 0) return std::wstring();
        // A long form that does not fit is reported as the size it needs.
        if (length >= kLongPathChars) return std::nullopt;
        return platform.AnsiToWide(std::string_view(buffer.data(), length));
    } catch (...) {
        return std::wstring();
    }
}

std::optional<std::wstring> GetProcessImagePath(Platform& platform, Dword processId,
                                                std::wstring_view windowsDirPrefix) {
    std::string buffer(kModulePathChars, '\0');
    UniqueHandle process(platform, platform.OpenProcess(kProcessQueryInformation | kProcessVmRead, 0, processId));
    if (!process) return std::wstring();
    Handle module = 0;
    Dword needed = 0;
    Dword length = 0;
    if (platform.EnumProcessModules(process.get(), &module, sizeof(Handle), &needed))
        length = platform.GetModuleFileNameExA(process.get(), module, buffer.data(), kModulePathChars);
    if (length == 0) return std::wstring();
    if (length > kModulePathChars) length = kModulePathChars;
    std::wstring path = platform.AnsiToWide(std::string_view(buffer.data(), length));
    path = ReplaceAll(path, L"\\??\\", L"");
    path = ReplaceAll(path, L"\\SystemRoot\\", windowsDirPrefix);
    return ToLongPath(platform, path);
}

std::wstring GetWindowsDirPrefix(Platform& platform) {
    std::string buffer(kWindowsDirChars, '\0');
    const Dword length = platform.GetWindowsDirectoryA(buffer.data(), kWindowsDirChars);
    // A directory that does not fit is reported as the size it needs; treat it as unknown.
    if (length == 0 || length >= kWindowsDirChars) return std::wstring();
    return platform.AnsiToWide(std::string_view(buffer.data(), length)) + L"\\";
}

}  // namespace mjr
