#pragma once
#include <string>

#include "common/run_settings.h"
#include "platform/platform.h"
#include "profile/favorites.h"

namespace mjr {

// Where the profile status line goes when the status window exists.
class ProfileStatusLabel {
public:
    virtual ~ProfileStatusLabel() = default;
    virtual void SetProfileStatus(const std::wstring& text) = 0;
};

// The status line for the current settings, e.g. "Profile:My Favs 1  Enforce:30".
std::wstring ProfileStatusText(const RunSettings& settings);

// Reads the profile beside the executable into the table. Never fails towards its caller:
// any problem leaves the table empty with a count of 0 and the label as it was.
void LoadFavorites(Platform& platform, RunSettings& settings, FavoritesTable& favorites,
                   ProfileStatusLabel* label) noexcept;

}  // namespace mjr
