#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "doctor/favorite_findings.h"

namespace mjr::doctor {

// What one scan of the program would do to the running processes now, found with the
// program's own listing, path resolution and reading of affinity and priority. Opens
// processes for reading only. One statement per matching process, then the counts.
std::vector<std::wstring> DryRun(Platform& platform, const FavoritesTable& favorites,
                                 const std::vector<std::size_t>& favoriteLines, const Machine& machine);

}  // namespace mjr::doctor
