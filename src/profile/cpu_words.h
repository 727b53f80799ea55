#pragma once
// The words a favourite's CPU field may say, read as text: processor lists, "~" lists and
// "Default" (the priority field's words are in priority_words.h). The engine applies them to a
// machine; the loader needs them to read a line written with blanks where its tabs belong.
#include <string>
#include <string_view>
#include <vector>

namespace mjr {

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
