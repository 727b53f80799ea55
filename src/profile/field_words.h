#pragma once
// The words a favourite's CPU and priority fields may say, read as text: priority words and
// their power words, processor lists, "~" lists and "Default". The engine applies them to a
// machine; the loader needs them to read a line written with blanks where its tabs belong.
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace mjr {

inline constexpr Dword kIdlePriorityClass = 0x40;

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

// The CPU text that leaves a process's processors alone, as "Default" does its priority:
// any letter case, blanks at either end ignored.
bool LeavesProcessors(std::wstring_view cpuText) noexcept;

// The highest processor a list can name.
inline constexpr int kHighestListProcessor = 63;
// The highest processor a "~" list can name: Windows counts 2,048 processors at most.
inline constexpr int kHighestCpuSetProcessor = 2047;

// Whether a CPU text is read as a processor list rather than as CPU digits.
bool IsCpuList(std::wstring_view text) noexcept;

enum class CpuListError {
    None,
    NotAnItem,    // neither a number, a range nor a name: "x", "", "1-", "8--9"
    UnknownName,  // letters that name nothing: "Q", "perf"
    Backwards,    // a range written high to low: "15-8"
    BeyondLimit,  // a number above 63: "0-64"
};

struct CpuListItem {
    enum class Kind { Number, Range, Name } kind = Kind::Number;
    int first = 0;  // Number and Range
    int last = 0;
    wchar_t name = 0;  // Name: L'P', L'E' or L'C'
    std::wstring text;  // as written, blanks around it removed
};

struct CpuList {
    std::vector<CpuListItem> items;
    CpuListError error = CpuListError::None;
    std::wstring badItem;  // the first item that breaks a rule
    bool Ok() const noexcept { return error == CpuListError::None; }
};

// Reads a list whole; on the first item that breaks a rule, the error and that item. Numbers
// above `highest` break the limit.
CpuList ParseCpuList(std::wstring_view text, int highest = kHighestListProcessor);

// Whether a CPU text asks for CPU sets: "~" first, blanks around it ignored.
bool IsCpuSetText(std::wstring_view text) noexcept;
// The list after the "~".
std::wstring_view CpuSetListText(std::wstring_view text) noexcept;

// A CPU text the program reads as its writer means it: "Default", CPU digits, a list, or "~"
// and a list; a list only when it reads whole.
bool IsAcceptedCpuText(std::wstring_view text);

}  // namespace mjr
