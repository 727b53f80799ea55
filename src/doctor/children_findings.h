#pragma once
// What the doctor says of favourites whose fifth field asks for their programs' children: what
// those children get, and who else can claim to be one.
#include <cstddef>
#include <string>
#include <vector>

#include "profile/favorites.h"

namespace mjr::doctor {

// "  line 3: what launcher.exe starts gets the same placement, Realtime excepted", under a
// heading; nothing when no favourite asks for its children.
std::vector<std::wstring> ChildrenExplanations(const FavoritesTable& favorites,
                                               const std::vector<std::size_t>& favoriteLines);

// For each `children` favourite that raises (a class above Normal, or NoEco): any program of the
// launcher's user can name the launcher as its parent, and so gets that raise; two lines each.
std::vector<std::wstring> ChildrenWarnings(const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines);

}  // namespace mjr::doctor
