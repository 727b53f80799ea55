#pragma once
// The words of a favourite's priority field and what they ask for: read by the loader, which
// must know whether a favourite raises its programs, and by the engine, which sets the class.
#include <string_view>

#include "platform/platform.h"

namespace mjr {

inline constexpr Dword kAboveNormalPriorityClass = 0x8000;
inline constexpr Dword kIdlePriorityClass = 0x40;
inline constexpr Dword kHighPriorityClass = 0x80;
inline constexpr Dword kRealtimePriorityClass = 0x100;

// The profile's priority words and the classes they name; the first word of each class is
// the one the program writes.
struct PriorityWord {
    std::wstring_view word;
    Dword priorityClass;
};
inline constexpr PriorityWord kPriorityWords[] = {
    {L"Real", 0x100}, {L"High", 0x80}, {L"Above", 0x8000},
    {L"Normal", 0x20}, {L"Below", 0x4000}, {L"Low", 0x40},
};
// Windows' and Task Manager's names for the same classes.
inline constexpr PriorityWord kPriorityAliases[] = {
    {L"Realtime", 0x100}, {L"Above normal", 0x8000}, {L"AboveNormal", 0x8000},
    {L"Below normal", 0x4000}, {L"BelowNormal", 0x4000}, {L"Idle", 0x40},
};
// The word that leaves a process's priority alone.
inline constexpr std::wstring_view kLeavePriorityWord = L"Default";

// Words compare without regard to letter case, blanks at either end ignored.
bool SameWord(std::wstring_view text, std::wstring_view word) noexcept;

// A power word joined to the priority word with "+": "High+NoEco", "Below+Eco"; "Eco" alone
// is Task Manager's Efficiency mode, Low with EcoQoS on.
enum class PowerWord { None, Eco, NoEco };
struct PriorityRequest {
    bool leavesClass = false;  // "Default"
    Dword priorityClass = 0;   // 0 when the text names no class: asked for, refused, counted
    PowerWord power = PowerWord::None;
};
// A priority field read whole; a power word that is neither "Eco" nor "NoEco" makes the whole
// text name nothing.
PriorityRequest ReadPriorityText(std::wstring_view text) noexcept;
// Whether a priority field hands its programs more than an ordinary start gives them: a class
// above Normal (Above, High, Real) or EcoQoS switched off for good ("+NoEco").
bool RaisesPriority(std::wstring_view text) noexcept;
// The priority word and the power word of a text: the parts before and after its first "+"
// (the second empty and `joined` false without one).
std::wstring_view PriorityPart(std::wstring_view text) noexcept;
std::wstring_view PowerPart(std::wstring_view text, bool& joined) noexcept;

// The class a priority word names, aliases included; 0 for "Default" and for no word.
Dword PriorityNameToClass(std::wstring_view word) noexcept;
// Whether a priority word is "Default", which leaves the class alone.
bool LeavesPriority(std::wstring_view word) noexcept;
// The word of a priority class value; empty for a value no word maps to.
std::wstring_view PriorityClassToName(Dword priorityClass) noexcept;

}  // namespace mjr
