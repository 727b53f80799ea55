// A folder's entries without the folder itself (".") and its parent (".."), which the search
// calls list too: a walk that followed them would climb out of the folder it walks.
#include "platform/list_folder.h"

#include <string_view>
#include <utility>

#include "platform/unique_handle.h"

namespace mjr {
namespace {

struct FindCloseRelease {
    void operator()(Platform& platform, Handle search) const noexcept { platform.FindClose(search); }
};
using UniqueSearch = UniquePlatformObject<FindCloseRelease>;

bool IsSelfOrParent(std::wstring_view name) { return name == L"." || name == L".."; }

}  // namespace

Dword ListFolder(Platform& platform, const std::wstring& folder, std::vector<FolderEntry>* entries) {
    const std::wstring all = folder + (!folder.empty() && folder.back() == L'\\' ? L"*" : L"\\*");
    Platform::FindData found;
    const Handle first = platform.FindFirstFileExW(all, &found);
    if (first == kInvalidHandleValue) {
        // Nothing matches "*" only where not even "." is listed: an empty drive's root.
        const Dword error = platform.GetLastError();
        if (error != kErrorFileNotFound) return error;
        if (entries) entries->clear();
        return 0;
    }
    const UniqueSearch search(platform, first);
    std::vector<FolderEntry> listed;
    do {
        if (!IsSelfOrParent(found.name)) listed.push_back(FolderEntry{std::move(found.name), found.attributes});
    } while (platform.FindNextFileW(search.get(), &found));
    const Dword error = platform.GetLastError();
    if (error != kErrorNoMoreFiles) return error;
    if (entries) *entries = std::move(listed);
    return 0;
}

}  // namespace mjr
