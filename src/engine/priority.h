#pragma once
#include <string_view>

#include "common/counter.h"
#include "platform/platform.h"

namespace mjr {

inline constexpr Dword kAboveNormalPriorityClass = 0x8000;

// The profile's priority words and the classes they name; letter case counts.
struct PriorityWord {
    std::wstring_view word;
    Dword priorityClass;
};
inline constexpr PriorityWord kPriorityWords[] = {
    {L"Real", 0x100}, {L"High", 0x80}, {L"Above", 0x8000},
    {L"Normal", 0x20}, {L"Below", 0x4000}, {L"Low", 0x40},
};
// The word that leaves a process's priority alone.
inline constexpr std::wstring_view kLeavePriorityWord = L"Default";

Dword PriorityNameToClass(std::wstring_view word) noexcept;
// The word of a priority class value; empty for a value no word maps to.
std::wstring_view PriorityClassToName(Dword priorityClass) noexcept;
// The priority class of the process a handle open for querying holds; 0 when it cannot be read.
Dword ReadPriorityClass(Platform& platform, Handle process);
// Sets the class on a handle open for setting, then sleeps 0 ms; a handle of 0 (a failed open)
// counts one in priorityErrors without a sleep, a failed set counts one after it.
void SetPriority(Platform& platform, Handle process, Dword priorityClass, Counter& priorityErrors);
// Reads a process's class and sets it when it differs (start-up's own raise).
void ApplyPriority(Platform& platform, Dword processId, Dword priorityClass, Counter& priorityErrors);

}  // namespace mjr
