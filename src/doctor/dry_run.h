#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "doctor/favorite_findings.h"

namespace mjr::doctor {

// What one scan of the program would do to the running processes now, found with the
// program's own listing, path resolution and reading of affinity and priority. Changes
// nothing: a process a scan would change is opened for setting and closed at once, to tell
// whether it can be changed. One statement per matching process, then the counts.
std::vector<std::wstring> DryRun(Platform& platform, const FavoritesTable& favorites,
                                 const std::vector<std::size_t>& favoriteLines, const Machine& machine);

}  // namespace mjr::doctor
