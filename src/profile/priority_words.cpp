// Reading a favourite's priority field: its class word, its power word, and whether it raises.
#include "profile/priority_words.h"

#include "common/text.h"

namespace mjr {

namespace {

wchar_t Lower(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

}  // namespace

bool SameWord(std::wstring_view text, std::wstring_view word) noexcept {
    text = TrimBlanks(text);
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (Lower(text[i]) != Lower(word[i])) return false;
    return true;
}

Dword PriorityNameToClass(std::wstring_view word) noexcept {
    for (const PriorityWord& entry : kPriorityWords)
        if (SameWord(word, entry.word)) return entry.priorityClass;
    for (const PriorityWord& entry : kPriorityAliases)
        if (SameWord(word, entry.word)) return entry.priorityClass;
    return 0;
}

bool LeavesPriority(std::wstring_view word) noexcept { return SameWord(word, kLeavePriorityWord); }

std::wstring_view PriorityPart(std::wstring_view text) noexcept { return text.substr(0, text.find(L'+')); }

std::wstring_view PowerPart(std::wstring_view text, bool& joined) noexcept {
    const std::size_t plus = text.find(L'+');
    joined = plus != std::wstring_view::npos;
    return joined ? text.substr(plus + 1) : std::wstring_view{};
}

PriorityRequest ReadPriorityText(std::wstring_view text) noexcept {
    PriorityRequest request;
    bool joined = false;
    const std::wstring_view power = PowerPart(text, joined);
    const std::wstring_view word = PriorityPart(text);
    if (!joined && SameWord(word, L"Eco")) {
        request.priorityClass = kIdlePriorityClass;
        request.power = PowerWord::Eco;
        return request;
    }
    if (joined) {
        if (SameWord(power, L"Eco")) {
            request.power = PowerWord::Eco;
        } else if (SameWord(power, L"NoEco")) {
            request.power = PowerWord::NoEco;
        } else {
            return PriorityRequest{};
        }
    }
    request.leavesClass = LeavesPriority(word);
    request.priorityClass = PriorityNameToClass(word);
    if (!request.leavesClass && request.priorityClass == 0) return PriorityRequest{};
    return request;
}

bool RaisesPriority(std::wstring_view text) noexcept {
    const PriorityRequest request = ReadPriorityText(text);
    switch (request.priorityClass) {
        case kAboveNormalPriorityClass: case 0x80: case 0x100: return true;
        default: return request.power == PowerWord::NoEco;
    }
}

std::wstring_view PriorityClassToName(Dword priorityClass) noexcept {
    for (const PriorityWord& entry : kPriorityWords)
        if (entry.priorityClass == priorityClass) return entry.word;
    return {};
}

}  // namespace mjr
