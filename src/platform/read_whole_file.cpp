#include "platform/read_whole_file.h"

#include "platform/unique_handle.h"

namespace mjr {
namespace {

// Larger files cannot be a profile; reading them would only exhaust memory.
constexpr std::int64_t kMaxFileBytes = 256ll * 1024 * 1024;
constexpr Dword kChunkBytes = 64 * 1024;

std::optional<std::string> ReadOpenFile(Platform& platform, Handle file, Dword& error) {
    // A pipe's server could feed anything, or wait forever; a device is no profile.
    if (platform.GetFileType(file) != kFileTypeDisk) {
        error = kErrorBadFileType;
        return std::nullopt;
    }
    std::int64_t size = 0;
    if (!platform.GetFileSizeEx(file, &size)) {
        error = platform.GetLastError();
        return std::nullopt;
    }
    if (size < 0 || size > kMaxFileBytes) {
        error = kErrorFileTooLarge;
        return std::nullopt;
    }
    std::string content;
    content.reserve(static_cast<std::size_t>(size));
    std::string chunk(kChunkBytes, '\0');
    for (;;) {
        Dword got = 0;
        if (!platform.ReadFile(file, chunk.data(), kChunkBytes, &got)) {
            error = platform.GetLastError();
            return std::nullopt;
        }
        if (got == 0) break;
        if (content.size() + got > static_cast<std::size_t>(kMaxFileBytes)) {
            error = kErrorFileTooLarge;  // it grew while being read
            return std::nullopt;
        }
        content.append(chunk.data(), got);
    }
    return content;
}

}  // namespace

std::optional<std::string> ReadWholeFile(Platform& platform, const std::wstring& path) {
    // Sharing write keeps a profile an editor holds open readable. Identification only: a
    // pipe server named as the profile learns who connects but cannot act as this program.
    const Handle opened = platform.CreateFileW(path, kGenericRead, kFileShareRead | kFileShareWrite, kOpenExisting,
                                               kFileFlagSequentialScan | kSecuritySqosPresent | kSecurityIdentification);
    if (opened == kInvalidHandleValue || opened == 0) return std::nullopt;  // CreateFileW's own last error stands
    Dword error = 0;
    std::optional<std::string> content;
    {
        UniqueHandle file(platform, opened);
        content = ReadOpenFile(platform, file.get(), error);
    }
    // Closing the file must not hide why the read failed.
    if (!content) platform.SetLastError(error);
    return content;
}

}  // namespace mjr
