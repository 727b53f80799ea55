#pragma once
// How far a path pattern reaches: the folders its "*" and "**" names can enter, walked from
// the pattern's fixed folder down, and the programs it matches there, as an ordinary user
// could fill or replace them.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "doctor/user_access.h"
#include "platform/platform.h"

namespace mjr::doctor {

// Past these the walk stops, and the pattern counts as reaching a folder users can write.
inline constexpr std::size_t kMaxWalkedFolders = 10000;
inline constexpr std::uint64_t kMaxWalkMilliseconds = 2000;

// The way to the pattern's fixed folder from its drive's root, then each folder the pattern's
// names can reach below it and each existing program it matches there: the first folder where
// ordinary users can add what the pattern matches (a program, or a folder on the way to one)
// or change the folder, the first program they can replace, whatever whose permissions or
// contents cannot be read, or a reparse point (never entered or read through); Unfinished
// past the limits; Closed when none. Nothing below what it returns is looked at. Only for a
// pattern RefusalOf takes, on a drive the gate lets the doctor touch.
UserAccessCheck::Finding FirstOpenInReach(Platform& platform, UserAccessCheck& access, std::wstring_view pattern);

}  // namespace mjr::doctor
