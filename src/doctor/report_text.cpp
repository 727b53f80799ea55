#include "doctor/report_text.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "common/text.h"

namespace mjr::doctor {

std::size_t LineIndex::LineOf(std::size_t offset) const noexcept {
    return static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), offset) - starts_.begin());
}

std::size_t LineIndex::ColumnOf(std::string_view /*text*/, std::size_t offset) const noexcept {
    return offset - starts_[LineOf(offset) - 1] + 1;
}

std::size_t LineIndex::ColumnOf(std::wstring_view text, std::size_t offset) const noexcept {
    std::size_t column = 1;
    for (std::size_t i = starts_[LineOf(offset) - 1]; i < offset && i < text.size(); ++i) {
        // The second half of a surrogate pair is no character of its own.
        if (!(sizeof(wchar_t) == 2 && text[i] >= 0xDC00 && text[i] <= 0xDFFF)) ++column;
    }
    return column;
}

std::wstring Counted(std::size_t count, std::wstring_view one, std::wstring_view many) {
    return std::to_wstring(count) + L" " + std::wstring(count == 1 ? one : many);
}

namespace {

// Unicode's format characters (category Cf): invisible, and some turn the text around them.
bool IsFormatCharacter(char32_t c) {
    constexpr std::pair<char32_t, char32_t> kRanges[] = {
        {0xAD, 0xAD},         {0x600, 0x605},       {0x61C, 0x61C},       {0x6DD, 0x6DD},
        {0x70F, 0x70F},       {0x890, 0x891},       {0x8E2, 0x8E2},       {0x180E, 0x180E},
        {0x200B, 0x200F},     {0x202A, 0x202E},     {0x2060, 0x2064},     {0x2066, 0x206F},
        {0xFEFF, 0xFEFF},     {0xFFF9, 0xFFFB},     {0x110BD, 0x110BD},   {0x110CD, 0x110CD},
        {0x13430, 0x1343F},   {0x1BCA0, 0x1BCA3},   {0x1D173, 0x1D17A},   {0xE0001, 0xE0001},
        {0xE0020, 0xE007F}};
    for (const auto& [first, last] : kRanges)
        if (c >= first && c <= last) return true;
    return false;
}

bool IsC1Control(char32_t c) { return c >= 0x80 && c <= 0x9F; }

// The code point at text[i], and how many wchar_t it takes (a surrogate pair in UTF-16).
std::pair<char32_t, std::size_t> CodePointAt(std::wstring_view text, std::size_t i) {
    const auto c = static_cast<char32_t>(text[i]);
    if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
        const auto low = static_cast<char32_t>(text[i + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) return {0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00), 2};
    }
    return {c, 1};
}

// Half of a surrogate pair left alone, and the two code points Unicode keeps from every text:
// no character at all, which a console or a UTF-8 file would turn into another.
bool IsNoCharacter(char32_t c) { return (c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFE || c == 0xFFFF; }

}  // namespace

std::optional<char32_t> FirstUnpastable(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, width] = CodePointAt(text, i);
        if (c < 0x20 || c == 0x7F || IsC1Control(c) || IsFormatCharacter(c) || IsNoCharacter(c) || c == 0x2028 ||
            c == 0x2029)
            return c;
        i += width;
    }
    return std::nullopt;
}

std::wstring Shown(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto [c, width] = CodePointAt(text, i);
        if (c == L'\r') shown += L"<CR>";
        else if (c == L'\n') shown += L"<LF>";
        else if (c == L'\t') shown += L"<TAB>";
        else if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
            wchar_t code[16];
            std::swprintf(code, 16, L"<0x%02X>", static_cast<unsigned>(c));
            shown += code;
        } else if (IsC1Control(c) || IsFormatCharacter(c) || IsNoCharacter(c)) {
            // Spelled out, so a path cannot read as another one or hide a character.
            wchar_t code[16];
            std::swprintf(code, 16, c > 0xFFFF ? L"\\U%08X" : L"\\u%04X", static_cast<unsigned>(c));
            shown += code;
        } else {
            shown.append(text.substr(i, width));
        }
        i += width;
    }
    return shown;
}

std::wstring Quoted(std::wstring_view text) { return L"\"" + Shown(text) + L"\""; }

}  // namespace mjr::doctor
