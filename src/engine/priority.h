#pragma once
#include <string_view>

#include "common/counter.h"
#include "platform/platform.h"

namespace mjr {

inline constexpr Dword kAboveNormalPriorityClass = 0x8000;

Dword PriorityNameToClass(std::wstring_view word) noexcept;
// The word of a priority class value; empty for a value no word maps to.
std::wstring_view PriorityClassToName(Dword priorityClass) noexcept;
Dword GetPriority(Platform& platform, Dword processId);
void ApplyPriority(Platform& platform, Dword processId, Dword priorityClass, Counter& priorityErrors);

}  // namespace mjr
