#pragma once
// Between the platform's Handle and Windows' own handle types: the same bits seen two ways.
// Included after <windows.h>, by the real platform's files only.
#include <windows.h>

#include "platform/platform.h"

namespace mjr {

static_assert(sizeof(Handle) == sizeof(HANDLE));

inline HANDLE ToHandle(Handle h) noexcept { return reinterpret_cast<HANDLE>(h); }
inline Handle FromHandle(HANDLE h) noexcept { return reinterpret_cast<Handle>(h); }

}  // namespace mjr
