#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mjr {

// ASCII only, whatever the locale: drive letters, CPU words, reserved device names and
// server names are never other letters or digits.
constexpr bool IsAsciiDigit(wchar_t c) noexcept { return c >= L'0' && c <= L'9'; }
constexpr bool IsAsciiLetter(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
constexpr wchar_t AsciiUpper(wchar_t c) noexcept { return c >= L'a' && c <= L'z' ? static_cast<wchar_t>(c - 32) : c; }

// Whether `text` begins with `prefix`, or equals `other`, with ASCII letters read without their case.
constexpr bool StartsWithIgnoringAsciiCase(std::wstring_view text, std::wstring_view prefix) noexcept {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (AsciiUpper(text[i]) != AsciiUpper(prefix[i])) return false;
    return true;
}
constexpr bool EqualsIgnoringAsciiCase(std::wstring_view text, std::wstring_view other) noexcept {
    return text.size() == other.size() && StartsWithIgnoringAsciiCase(text, other);
}

// Removes the space character (only) from both ends; tabs stay.
std::wstring_view TrimSpaces(std::wstring_view text) noexcept;
// Removes spaces and tabs from both ends: how the words and lists of a favourite are read.
std::wstring_view TrimBlanks(std::wstring_view text) noexcept;

// Substring search that ignores letter case of both texts.
bool ContainsIgnoreCase(std::wstring_view haystack, std::wstring_view needle) noexcept;

// Every occurrence of the separator, no limit; an empty text gives an empty list.
std::vector<std::wstring> SplitAll(std::wstring_view text, wchar_t separator);

// Every occurrence of `from` replaced by `to` (case-sensitive).
std::wstring ReplaceAll(std::wstring_view text, std::wstring_view from, std::wstring_view to);

// The value of a text read as a number from its start: blanks, tabs and line feeds
// are skipped anywhere; optional sign, digits with at most one point, optional
// exponent (E or D); &H and &O read hexadecimal and octal. 0 when there is no number.
double LeadingNumber(std::wstring_view text) noexcept;

// Nearest whole number, halves to the even neighbour, clamped to the signed 32-bit range
// (NaN gives 0).
std::int32_t RoundToInt32(double value) noexcept;

}  // namespace mjr
