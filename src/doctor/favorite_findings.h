#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "doctor/user_access.h"
#include "engine/affinity.h"
#include "platform/platform.h"
#include "profile/favorites.h"
#include "profile/profile_text.h"

namespace mjr::doctor {

// The machine as the program sees it at start-up, and which build is checking.
struct Machine {
    CpuTable Cpu;
    Dword Processors = 0;
    std::wstring WindowsDirPrefix;
    bool Checker32Bit = false;  // which build is checking
    bool CheckerElevated = false;
};

// A statement, "line N: ...", for each thing a favourite will not do as it seems to say;
// nothing for a favourite that is fine. favoriteLines[i] is the line of favourite i;
// `encoding` is the one the profile was read in; `access` asks who can change a program's file.
std::vector<std::wstring> FavoriteWarnings(Platform& platform, UserAccessCheck& access, const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines,
                                           const Machine& machine, ProfileEncoding encoding);

}  // namespace mjr::doctor
