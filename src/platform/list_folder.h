#pragma once
// A folder's entries, read through the raw search calls of the platform.
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mjr {

struct FolderEntry {
    std::wstring name;
    Dword attributes = 0;  // as the folder lists them: a link's own, never its target's
};

// Each entry of a folder but "." and "..". Returns 0, or the error of the call that failed with
// the entries untouched; a folder with nothing in it (an empty drive's root) is an empty list.
Dword ListFolder(Platform& platform, const std::wstring& folder, std::vector<FolderEntry>* entries);

}  // namespace mjr
