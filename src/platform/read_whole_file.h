#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"
#include "platform/unique_handle.h"

namespace mjr {

// The whole content of a file on a disk, read sequentially. Nothing when it cannot be
// opened or read, with the last error saying why: ERROR_BAD_FILE_TYPE for a pipe, a
// console or a device (refused before a byte is read), ERROR_FILE_TOO_LARGE for a file of more
// than maxBytes (by default far too large to be a profile). A file another program holds open
// for writing is still read.
inline constexpr std::int64_t kMostFileBytes = 256ll * 1024 * 1024;
std::optional<std::string> ReadWholeFile(Platform& platform, const std::wstring& path,
                                         std::int64_t maxBytes = kMostFileBytes);

// CreateFileW for a file that must be a file on a disk: with identification-level security
// (a pipe's server answering to the name learns who connects but cannot act as this program)
// and refused unless GetFileType says FILE_TYPE_DISK. An empty handle when it fails, with the
// last error saying why (ERROR_BAD_FILE_TYPE for a pipe, a console or a device).
UniqueHandle OpenDiskFile(Platform& platform, const std::wstring& path, Dword desiredAccess, Dword shareMode,
                          Dword flags);

// The name Windows gives a file (GetFinalPathNameByHandleW, drive-letter form, on a handle of
// OpenDiskFile with no data access), still with its "\\?\" prefix; nothing when the file
// cannot be opened or named.
std::optional<std::wstring> FinalPathName(Platform& platform, const std::wstring& path);

}  // namespace mjr
