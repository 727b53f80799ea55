// Reading the Windows directory through the platform.
#include "platform/windows_directory.h"

namespace mjr {

std::wstring ReadWindowsDirectory(Platform& platform) {
    constexpr Dword kWindowsDirChars = 255;
    std::wstring buffer(kWindowsDirChars, L'\0');
    const Dword length = platform.GetWindowsDirectoryW(buffer.data(), kWindowsDirChars);
    // A directory that does not fit is reported as the size it needs; treat it as unknown.
    if (length == 0 || length >= kWindowsDirChars) return std::wstring();
    buffer.resize(length);
    return buffer;
}

}  // namespace mjr
