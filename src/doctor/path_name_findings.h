#pragma once
// Paths that begin with %NAME%: what each stands for on this PC, why one matches nothing, and
// the %NAME% form --list offers for a running program.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "profile/load_favorites.h"
#include "profile/path_names.h"

namespace mjr::doctor {

// The name as a profile writes it: "%LOCALAPPDATA%".
std::wstring Percent(std::size_t name);

struct PathNameFindings {
    std::vector<std::wstring> notes;     // "Note: line 4: %X%\... is C:\... here."
    std::vector<std::wstring> warnings;  // "line 4: ..." for a name that matches nothing here
};
// The profile's bytes read again by the program's loader with no name expanded, so that each
// Path is seen as written; favoriteLines[i] is the line of favourite i.
PathNameFindings ExplainPathNames(Platform& platform, std::string_view bytes, const PathNames& names,
                                  const std::vector<std::size_t>& favoriteLines);

// The path written from the most specific folder it lies in (%SystemDrive% never: it is no
// folder), as the program would expand it back; nothing when none holds it.
struct NamedForm {
    std::wstring path;
    std::size_t name = 0;  // into kPathNames
};
std::optional<NamedForm> WrittenWithPathName(Platform& platform, const std::wstring& path, const PathNames& names);

}  // namespace mjr::doctor
