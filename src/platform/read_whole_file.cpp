#include "platform/read_whole_file.h"

#include "platform/unique_handle.h"

namespace mjr {
namespace {

constexpr Dword kChunkBytes = 64 * 1024;

// Larger files than maxBytes cannot be a profile; reading them would only exhaust memory.
std::optional<std::string> ReadOpenFile(Platform& platform, Handle file, std::int64_t maxBytes, Dword& error) {
    std::int64_t size = 0;
    if (!platform.GetFileSizeEx(file, &size)) {
        error = platform.GetLastError();
        return std::nullopt;
    }
    if (size < 0 || size > maxBytes) {
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
        if (content.size() + got > static_cast<std::size_t>(maxBytes)) {
            error = kErrorFileTooLarge;  // it grew while being read
            return std::nullopt;
        }
        content.append(chunk.data(), got);
    }
    return content;
}

}  // namespace

UniqueHandle OpenDiskFile(Platform& platform, const std::wstring& path, Dword desiredAccess, Dword shareMode,
                          Dword flags) {
    const Handle opened = platform.CreateFileW(path, desiredAccess, shareMode, kOpenExisting,
                                               flags | kSecuritySqosPresent | kSecurityIdentification);
    if (opened == kInvalidHandleValue || opened == 0) return UniqueHandle(platform, 0);  // its own last error stands
    UniqueHandle file(platform, opened);
    // A pipe's server could feed anything, or wait forever; a device is no file.
    if (platform.GetFileType(file.get()) != kFileTypeDisk) {
        file.reset();
        platform.SetLastError(kErrorBadFileType);
    }
    return file;
}

std::optional<std::string> ReadWholeFile(Platform& platform, const std::wstring& path, std::int64_t maxBytes) {
    // Sharing write keeps a profile an editor holds open readable.
    UniqueHandle file = OpenDiskFile(platform, path, kGenericRead, kFileShareRead | kFileShareWrite,
                                     kFileFlagSequentialScan);
    if (!file) return std::nullopt;
    Dword error = 0;
    std::optional<std::string> content = ReadOpenFile(platform, file.get(), maxBytes, error);
    file.reset();
    // Closing the file must not hide why the read failed.
    if (!content) platform.SetLastError(error);
    return content;
}

std::optional<std::wstring> FinalPathName(Platform& platform, const std::wstring& path) {
    // No data access: asking the name needs no right on the content; backup semantics let a
    // folder be opened as well.
    const UniqueHandle file = OpenDiskFile(platform, path, 0, kFileShareRead | kFileShareWrite | kFileShareDelete,
                                           kFileFlagBackupSemantics);
    if (!file) return std::nullopt;
    std::wstring buffer(260, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        const auto size = static_cast<Dword>(buffer.size());
        const Dword length = platform.GetFinalPathNameByHandleW(file.get(), buffer.data(), size, kFileNameNormalizedDos);
        if (length == 0) return std::nullopt;
        if (length < size) return buffer.substr(0, length);
        buffer.assign(length, L'\0');  // the size it needs, NUL included
    }
    return std::nullopt;
}

}  // namespace mjr
