// Reading a favourite's CPU field as text: lists, "~" lists, "Default", and which texts read as meant.
#include "profile/cpu_words.h"

#include <algorithm>

#include "common/text.h"
#include "profile/priority_words.h"

namespace mjr {
namespace {

bool IsName(std::wstring_view text) noexcept {
    return text.size() == 1 && (AsciiUpper(text[0]) == L'P' || AsciiUpper(text[0]) == L'E' || AsciiUpper(text[0]) == L'C');
}

// A decimal number of the text; -1 when it is none, a value past the limit when it is larger.
int NumberOf(std::wstring_view text, int highest) noexcept {
    if (text.empty()) return -1;
    int value = 0;
    for (wchar_t c : text) {
        if (!IsAsciiDigit(c)) return -1;
        value = std::min(value * 10 + (c - L'0'), highest + 1);
    }
    return value;
}

// Reads one item into `item`; the rule it breaks otherwise.
CpuListError ReadItem(std::wstring_view text, CpuListItem& item, int highest) {
    item.text = std::wstring(text);
    if (IsName(text)) {
        item.kind = CpuListItem::Kind::Name;
        item.name = AsciiUpper(text[0]);
        return CpuListError::None;
    }
    if (!text.empty() && std::all_of(text.begin(), text.end(), IsAsciiLetter)) return CpuListError::UnknownName;
    const std::size_t dash = text.find(L'-');
    if (dash == std::wstring_view::npos) {
        const int value = NumberOf(text, highest);
        if (value < 0) return CpuListError::NotAnItem;
        if (value > highest) return CpuListError::BeyondLimit;
        item.kind = CpuListItem::Kind::Number;
        item.first = item.last = value;
        return CpuListError::None;
    }
    const int first = NumberOf(TrimBlanks(text.substr(0, dash)), highest);
    const int last = NumberOf(TrimBlanks(text.substr(dash + 1)), highest);
    if (first < 0 || last < 0) return CpuListError::NotAnItem;
    if (first > highest || last > highest) return CpuListError::BeyondLimit;
    if (first > last) return CpuListError::Backwards;
    item.kind = CpuListItem::Kind::Range;
    item.first = first;
    item.last = last;
    return CpuListError::None;
}

}  // namespace

bool LeavesProcessors(std::wstring_view cpuText) noexcept { return SameWord(cpuText, L"Default"); }

bool IsCpuList(std::wstring_view text) noexcept {
    return text.find_first_of(L";-") != std::wstring_view::npos || IsName(TrimBlanks(text));
}

CpuList ParseCpuList(std::wstring_view text, int highest) {
    CpuList list;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(L';', start);
        const std::wstring_view piece = TrimBlanks(text.substr(start, end == std::wstring_view::npos ? text.npos : end - start));
        // An empty item after the last ';' ends the list: "12;" is processor 12 alone.
        if (end == std::wstring_view::npos && piece.empty() && start > 0) break;
        CpuListItem item;
        const CpuListError error = ReadItem(piece, item, highest);
        if (error != CpuListError::None) {
            list.items.clear();
            list.error = error;
            list.badItem = std::wstring(piece);
            return list;
        }
        list.items.push_back(std::move(item));
        if (end == std::wstring_view::npos) break;
        start = end + 1;
    }
    return list;
}

bool IsCpuSetText(std::wstring_view text) noexcept {
    const std::wstring_view trimmed = TrimBlanks(text);
    return !trimmed.empty() && trimmed.front() == L'~';
}

std::wstring_view CpuSetListText(std::wstring_view text) noexcept {
    const std::wstring_view trimmed = TrimBlanks(text);
    return trimmed.empty() ? trimmed : trimmed.substr(1);
}

bool IsAcceptedCpuText(std::wstring_view text) {
    if (LeavesProcessors(text)) return true;
    if (!text.empty() && text.find_first_not_of(L"0123456789") == std::wstring_view::npos) return true;
    if (IsCpuSetText(text)) return ParseCpuList(CpuSetListText(text), kHighestCpuSetProcessor).Ok();
    return IsCpuList(text) && ParseCpuList(text).Ok();
}

}  // namespace mjr
