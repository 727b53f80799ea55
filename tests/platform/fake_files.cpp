// The platform fake's file system: files, folders, links and searches, paths and their long,
// final and expanded forms, and the texts' code page and letter case.
#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>
#include <new>
#include <stdexcept>

#include "platform/fake_platform.h"
#include "platform/fake_platform_internal.h"

namespace mjr::testing {
namespace {

// Lower-case letters of Latin-1, Latin Extended-A, Greek and Cyrillic, and how far each one's
// capital lies (step 2: every other code point of the range).
struct CaseRange {
    std::uint32_t first, last, step;
    std::int32_t delta;
};
constexpr CaseRange kCaseRanges[] = {
    {'a', 'z', 1, -32}, {0xE0, 0xF6, 1, -32}, {0xF8, 0xFE, 1, -32}, {0xFF, 0xFF, 1, 0x79}, {0x101, 0x12F, 2, -1},
    {0x131, 0x131, 1, -0xE8}, {0x133, 0x137, 2, -1}, {0x13A, 0x148, 2, -1}, {0x14B, 0x177, 2, -1}, {0x17A, 0x17E, 2, -1}, {0x17F, 0x17F, 1, -0x12C},
    {0x3AC, 0x3AC, 1, -0x26}, {0x3AD, 0x3AF, 1, -0x25}, {0x3B1, 0x3C1, 1, -32}, {0x3C2, 0x3C2, 1, -31},
    {0x3C3, 0x3CB, 1, -32}, {0x3CC, 0x3CC, 1, -0x40}, {0x3CD, 0x3CE, 1, -0x3F}, {0x430, 0x44F, 1, -32},
    {0x450, 0x45F, 1, -80}, {0x461, 0x481, 2, -1}, {0x48B, 0x4BF, 2, -1}, {0x4C2, 0x4CE, 2, -1}, {0x4D1, 0x52F, 2, -1}};

wchar_t SimpleUpper(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    for (const CaseRange& r : kCaseRanges)
        if (u >= r.first && u <= r.last && (u - r.first) % r.step == 0) return static_cast<wchar_t>(u + r.delta);
    return c;
}

// Upper case, as the file system finds a name whatever its case.
std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) c = SimpleUpper(c);
    return text;
}

}  // namespace

Dword FakePlatform::GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetLongPathNameW(" + std::to_string(size) + ")");
    if (longPathThrows) throw std::runtime_error("GetLongPathNameW");
    std::wstring out = shortPath;
    // "\\?\" passes the path on untidied and comes back on the long form.
    const bool literal = out.rfind(L"\\\\?\\", 0) == 0;
    if (literal) out.erase(0, 4);
    if (auto it = longPaths.find(out); it != longPaths.end()) {
        if (!it->second) {
            lastError = NotFoundError(out);
            return 0;
        }
        out = *it->second;
    }
    if (literal) out.insert(0, L"\\\\?\\");
    if (out.size() + 1 > size) return static_cast<Dword>(out.size() + 1);  // needed size, nothing written
    std::copy(out.c_str(), out.c_str() + out.size() + 1, buffer);
    return static_cast<Dword>(out.size());
}

Dword FakePlatform::GetDriveTypeW(const wchar_t* rootPathName) {
    const std::wstring root = rootPathName ? rootPathName : L"";
    if (recordCalls) Record("GetDriveTypeW(" + WideToAnsi(root) + ")");
    if (auto it = driveTypes.find(root); it != driveTypes.end()) return it->second;
    const bool letterRoot = root.size() == 3 && root[1] == L':' && root[2] == L'\\';
    return letterRoot ? kDriveFixed : kDriveNoRootDir;
}

Dword FakePlatform::GetWindowsDirectoryW(wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetWindowsDirectoryW(" + std::to_string(size) + ")");
    if (windowsDirectoryFails) return 0;
    if (windowsDirectory.size() + 1 > size) return static_cast<Dword>(windowsDirectory.size() + 1);
    std::copy(windowsDirectory.c_str(), windowsDirectory.c_str() + windowsDirectory.size() + 1, buffer);
    return static_cast<Dword>(windowsDirectory.size());
}

std::string FakePlatform::WideToAnsi(std::wstring_view text) {
    if (wideToAnsiThrows) throw std::bad_alloc();
    // A single-byte code page: Latin-1, with '?' for what it cannot hold.
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out.push_back(static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

std::wstring FakePlatform::AnsiToWide(std::string_view text) {
    std::wstring out(text.size(), L'\0');  // no push_back: the benchmark measures the loader, not this
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return out;
}

int FakePlatform::LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount,
                               wchar_t* destination, int destinationCount) {
    if (recordCalls) Record("LCMapStringW");
    if (locale != kLocaleInvariant || mapFlags != kLcmapUppercase || !source || sourceCount < -1) return 0;
    const std::size_t count = sourceCount == -1 ? std::wcslen(source) + 1 : static_cast<std::size_t>(sourceCount);
    if (destinationCount == 0) return static_cast<int>(count);
    if (destinationCount < 0 || static_cast<std::size_t>(destinationCount) < count) {
        lastError = kErrorInsufficientBuffer;
        return 0;
    }
    // A failed mapping leaves the buffer as it pleases: here, nothing of the text.
    if (Fails("LCMapStringW")) {
        std::fill(destination, destination + count, L'?');
        return 0;
    }
    for (std::size_t i = 0; i < count; ++i) destination[i] = SimpleUpper(source[i]);
    return static_cast<int>(count);
}

Handle FakePlatform::CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                                 Dword creationDisposition, Dword flagsAndAttributes) {
    if (recordCalls) Record("CreateFileW(" + Hex(desiredAccess) + "," + Hex(shareMode) + "," + Hex(flagsAndAttributes) + ")");
    if (auto error = fileReadErrors.find(fileName); error != fileReadErrors.end()) {
        lastError = error->second;
        return kInvalidHandleValue;
    }
    if (auto type = fileTypes.find(fileName); type != fileTypes.end())
        return NewHandle(MakeInfo(HandleInfo::File, 0, desiredAccess, fileName, type->second));
    // A program, or a name Windows resolves, opens for asking its name.
    bool program = finalPaths.count(fileName) > 0;
    for (const auto& entry : programFiles) program = program || Folded(entry.first) == Folded(fileName);
    if (program && desiredAccess == 0 && creationDisposition == kOpenExisting)
        return NewHandle(MakeInfo(HandleInfo::File, 0, 0, fileName, kFileTypeDisk));
    if (creationDisposition != kOpenExisting || !files.count(fileName)) {
        const Dword attributes = AttributesOf(fileName);
        lastError = attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) ? kErrorAccessDenied
                                                                                                : NotFoundError(fileName);
        return kInvalidHandleValue;
    }
    if (auto held = heldFiles.find(fileName); held != heldFiles.end()) {
        // Each open must allow what the other asks: read with FILE_SHARE_READ, write with FILE_SHARE_WRITE.
        constexpr Dword kWrite = 0x40000000;
        const FileHolder& h = held->second;
        const auto clash = [](Dword access, Dword share) {
            return ((access & kGenericRead) && !(share & kFileShareRead)) || ((access & kWrite) && !(share & kFileShareWrite));
        };
        if (clash(desiredAccess, h.shareMode) || clash(h.access, shareMode)) {
            lastError = kErrorSharingViolation;
            return kInvalidHandleValue;
        }
    }
    return NewHandle(MakeInfo(HandleInfo::File, 0, desiredAccess, fileName, kFileTypeDisk));
}

Dword FakePlatform::GetFileType(Handle file) {
    if (recordCalls) Record("GetFileType");
    auto it = handles_.find(file);
    return it != handles_.end() && it->second.kind == HandleInfo::File ? it->second.fileType : kFileTypeUnknown;
}

WinBool FakePlatform::GetFileSizeEx(Handle file, std::int64_t* fileSize) {
    if (recordCalls) Record("GetFileSizeEx");
    const HandleInfo* info = Lookup(file, HandleInfo::File);
    if (!info || info->fileType != kFileTypeDisk) return 0;
    const auto reported = fileSizes.find(info->name);
    *fileSize = reported != fileSizes.end() ? reported->second : static_cast<std::int64_t>(files[info->name].size());
    return 1;
}

WinBool FakePlatform::ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
    if (recordCalls) Record("ReadFile");
    auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != HandleInfo::File) return 0;
    const std::string& content = files[it->second.name];
    const std::size_t n = std::min<std::size_t>(bytesToRead, content.size() - std::min(content.size(), it->second.offset));
    if (n) std::memcpy(buffer, content.data() + it->second.offset, n);
    it->second.offset += n;
    *bytesRead = static_cast<Dword>(n);
    return 1;
}

std::wstring FakePlatform::GetFullPathNameW(const std::wstring& path) {
    const bool full = (path.size() >= 2 && path[1] == L':') || path.rfind(L"\\\\", 0) == 0;
    return full ? path : currentDirectory + L"\\" + path;
}

Dword FakePlatform::AttributesOf(const std::wstring& path) const {
    if (path.rfind(L"\\\\?\\", 0) == 0) return AttributesOf(path.substr(4));  // the same name, unparsed
    if (reparsePoints.count(path))
        return (files.count(path) || programFiles.count(path) ? 0x20 : kFileAttributeDirectory) | kFileAttributeReparsePoint;
    if (directories.count(path) || (path.size() == 3 && path[1] == L':' && path[2] == L'\\'))
        return kFileAttributeDirectory;
    if (files.count(path)) return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    const std::wstring folder = Folded(path) + L"\\";
    for (const auto& entry : programFiles)  // names are found whatever their letter case
        if (Folded(entry.first) == Folded(path)) return 0x20;
    const auto holds = [&](const auto& names) {
        for (const auto& entry : names)
            if (Folded(entry.first).rfind(folder, 0) == 0) return true;
        return false;
    };
    if (holds(files) || holds(programFiles)) return kFileAttributeDirectory;
    if (auto below = directories.lower_bound(path + L"\\"); below != directories.end() && below->rfind(path + L"\\", 0) == 0)
        return kFileAttributeDirectory;
    return kInvalidFileAttributes;
}

Dword FakePlatform::NotFoundError(const std::wstring& path) const {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return kErrorFileNotFound;
    const Dword parent = AttributesOf(path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash));
    return parent != kInvalidFileAttributes && (parent & kFileAttributeDirectory) ? kErrorFileNotFound : kErrorPathNotFound;
}

Dword FakePlatform::GetFileAttributesW(const std::wstring& path) {
    if (recordCalls) Record("GetFileAttributesW " + WideToAnsi(path));
    const Dword attributes = AttributesOf(path);
    if (attributes == kInvalidFileAttributes) lastError = NotFoundError(path);
    return attributes;
}

Handle FakePlatform::FindFirstFileExW(const std::wstring& fileName, FindData* found) {
    if (recordCalls) Record("FindFirstFileExW " + WideToAnsi(fileName));
    if (Fails("FindFirstFileExW")) return kInvalidHandleValue;
    // Only the listing of a whole folder ("folder\*") is modelled.
    const std::size_t star = fileName.size() - 1;
    if (fileName.size() < 2 || fileName[star] != L'*' || fileName[star - 1] != L'\\') {
        lastError = kErrorInvalidParameter;
        return kInvalidHandleValue;
    }
    const std::wstring prefix = fileName.substr(0, star);
    const bool root = prefix.size() == 3 && prefix[1] == L':';
    const Dword folderAttributes = root ? kFileAttributeDirectory : AttributesOf(prefix.substr(0, star - 1));
    if (folderAttributes == kInvalidFileAttributes || !(folderAttributes & kFileAttributeDirectory)) {
        lastError = folderAttributes == kInvalidFileAttributes ? NotFoundError(fileName) : kErrorDirectory;
        return kInvalidHandleValue;
    }
    std::map<std::wstring, Dword> below;
    const auto add = [&](const std::wstring& path, Dword attributes) {
        const std::size_t end = path.find(L'\\', prefix.size());
        const bool link = reparsePoints.count(path.substr(0, end)) != 0;
        below.emplace(path.substr(prefix.size(), end - prefix.size()),
                      (end == std::wstring::npos ? attributes : kFileAttributeDirectory) | (link ? kFileAttributeReparsePoint : 0));
    };
    for (const auto* folders : {&directories, &reparsePoints})
        for (auto it = folders->lower_bound(prefix); it != folders->end() && it->rfind(prefix, 0) == 0; ++it)
            if (!files.count(*it) && !programFiles.count(*it)) add(*it, kFileAttributeDirectory);
    const auto addAll = [&](const auto& names) {
        for (const auto& entry : names)
            if (entry.first.rfind(prefix, 0) == 0) add(entry.first, 0x20);
    };
    addAll(files);
    addAll(programFiles);
    HandleInfo search = MakeInfo(HandleInfo::Search, 0, 0, fileName);
    if (!root) search.listing = {{kFileAttributeDirectory, L"."}, {kFileAttributeDirectory, L".."}};
    for (const auto& [name, attributes] : below) search.listing.push_back(FindData{attributes, name});
    if (search.listing.empty()) {
        lastError = kErrorFileNotFound;
        return kInvalidHandleValue;
    }
    *found = search.listing[0];
    search.offset = 1;
    return NewHandle(std::move(search));
}

WinBool FakePlatform::FindNextFileW(Handle search, FindData* found) {
    if (recordCalls) Record("FindNextFileW");
    if (Fails("FindNextFileW")) return 0;  // as a network folder that goes away mid-listing
    const auto it = handles_.find(search);
    if (it == handles_.end() || it->second.kind != HandleInfo::Search) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    if (it->second.offset >= it->second.listing.size()) {
        lastError = kErrorNoMoreFiles;
        return 0;
    }
    *found = it->second.listing[it->second.offset++];
    return 1;
}

WinBool FakePlatform::FindClose(Handle search) {
    if (recordCalls) Record("FindClose");
    const auto it = handles_.find(search);
    if (it == handles_.end() || it->second.kind != HandleInfo::Search) {
        ++badCloses;
        lastError = kErrorInvalidHandle;
        return 0;
    }
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

WinBool FakePlatform::GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) {
    if (recordCalls) Record("GetBinaryTypeW");
    auto it = programFiles.find(applicationName);
    if (it == programFiles.end()) return 0;
    *binaryType = it->second;
    return 1;
}

std::optional<std::wstring> FakePlatform::FindFirstFileName(const std::wstring& path) {
    if (recordCalls) Record("FindFirstFileName");
    // Any program, or any folder above one, whose path equals this one but for letter case.
    const auto fold = Folded;
    for (const auto& entry : programFiles) {
        const std::wstring& full = entry.first;
        if (full.size() < path.size() || fold(full.substr(0, path.size())) != fold(path)) continue;
        if (full.size() > path.size() && full[path.size()] != L'\\') continue;
        const std::size_t slash = path.find_last_of(L'\\');
        return full.substr(slash + 1, path.size() - slash - 1);
    }
    return std::nullopt;
}

Dword FakePlatform::GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) {
    if (recordCalls) Record("GetFinalPathNameByHandleW(" + std::to_string(flags) + ")");
    const HandleInfo* info = Lookup(file, HandleInfo::File);
    if (!info) return 0;
    std::wstring name;
    if (auto it = finalPaths.find(info->name); it != finalPaths.end()) name = it->second;
    for (const auto& entry : programFiles)
        if (name.empty() && Folded(entry.first) == Folded(info->name)) name = L"\\\\?\\" + entry.first;
    if (name.empty()) return 0;
    if (name.size() + 1 > size) return static_cast<Dword>(name.size() + 1);
    std::copy(name.c_str(), name.c_str() + name.size() + 1, buffer);
    return static_cast<Dword>(name.size());
}

std::wstring FakePlatform::ExpandEnvironmentStringsW(const std::wstring& text) {
    if (recordCalls) Record("ExpandEnvironmentStringsW");
    std::wstring out = text;  // an unset %NAME% stays, as on Windows
    for (const auto& [name, value] : environment) {
        for (std::size_t at = out.find(L"%" + name + L"%"); at != std::wstring::npos;
             at = out.find(L"%" + name + L"%", at + value.size()))
            out.replace(at, name.size() + 2, value);
    }
    return out;
}

WinBool FakePlatform::GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) {
    if (recordCalls) Record("GetVolumeInformationW");
    const auto it = volumeFlags.find(rootPathName);
    if (it != volumeFlags.end() && it->second == kInvalidFileAttributes) return 0;
    *fileSystemFlags = it != volumeFlags.end() ? it->second : 0x3E706FF;  // NTFS
    return 1;
}

Dword FakePlatform::GetSystemDirectoryW(wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetSystemDirectoryW(" + std::to_string(size) + ")");
    if (Fails("GetSystemDirectoryW")) return 0;
    if (systemDirectory.size() + 1 > size) return static_cast<Dword>(systemDirectory.size() + 1);
    std::copy(systemDirectory.c_str(), systemDirectory.c_str() + systemDirectory.size() + 1, buffer);
    return static_cast<Dword>(systemDirectory.size());
}

std::int32_t FakePlatform::SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) {
    if (recordCalls) Record("SHGetKnownFolderPath(" + Hex(folderId.Data1) + "," + Hex(flags) + ")");
    const auto found = knownFolders.find(folderId.Data1);
    // E_FAIL, as for a user without a profile; only the caller's own user is modelled.
    if (token != 0 || found == knownFolders.end()) return static_cast<std::int32_t>(0x80004005);
    *path = found->second;
    return 0;
}

}  // namespace mjr::testing
