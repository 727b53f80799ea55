#include "common/text.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace mjr {
namespace {

wchar_t FoldAscii(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool IsSkipped(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\n'; }

int DigitValue(wchar_t c, int radix) noexcept {
    int v = -1;
    if (c >= L'0' && c <= L'9') v = c - L'0';
    else if (c >= L'a' && c <= L'f') v = c - L'a' + 10;
    else if (c >= L'A' && c <= L'F') v = c - L'A' + 10;
    return v < radix ? v : -1;
}

}  // namespace

std::wstring_view TrimSpaces(std::wstring_view text) noexcept {
    std::size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring_view::npos) return {};
    std::size_t last = text.find_last_not_of(L' ');
    return text.substr(first, last - first + 1);
}

bool ContainsIgnoreCase(std::wstring_view haystack, std::wstring_view needle) noexcept {
    if (needle.empty()) return true;
    if (needle.size() > haystack.size()) return false;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
        std::size_t k = 0;
        while (k < needle.size() && FoldAscii(haystack[start + k]) == FoldAscii(needle[k])) ++k;
        if (k == needle.size()) return true;
    }
    return false;
}

std::vector<std::wstring> SplitAll(std::wstring_view text, wchar_t separator) {
    std::vector<std::wstring> parts;
    if (text.empty()) return parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(separator, start);
        if (at == std::wstring_view::npos) {
            parts.emplace_back(text.substr(start));
            return parts;
        }
        parts.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
}

std::wstring ReplaceAll(std::wstring_view text, std::wstring_view from, std::wstring_view to) {
    if (from.empty()) return std::wstring(text);
    std::wstring out;
    std::size_t start = 0;
    for (;;) {
        std::size_t at = text.find(from, start);
        if (at == std::wstring_view::npos) break;
        out.append(text.substr(start, at - start));
        out.append(to);
        start = at + from.size();
    }
    out.append(text.substr(start));
    return out;
}

double LeadingNumber(std::wstring_view text) noexcept {
    std::size_t i = 0;
    auto skip = [&] { while (i < text.size() && IsSkipped(text[i])) ++i; };
    auto at = [&](std::size_t k) -> wchar_t { return k < text.size() ? text[k] : L'\0'; };

    skip();
    if (at(i) == L'&') {
        std::size_t j = i + 1;
        while (j < text.size() && IsSkipped(text[j])) ++j;
        wchar_t kind = FoldAscii(at(j));
        int radix = kind == L'h' ? 16 : kind == L'o' ? 8 : 0;
        if (radix == 0) return 0.0;
        i = j + 1;
        double value = 0.0;
        for (;; ++i) {
            skip();
            int d = DigitValue(at(i), radix);
            if (d < 0) break;
            value = value * radix + d;
        }
        return value;
    }

    // Gather the number's characters (blanks dropped) and let from_chars, which ignores
    // the locale, do the conversion.
    std::string number;
    if (at(i) == L'+' || at(i) == L'-') {
        if (at(i) == L'-') number.push_back('-');
        ++i;
    }
    bool sawDigit = false;
    bool sawPoint = false;
    for (;; ++i) {
        skip();
        wchar_t c = at(i);
        if (c >= L'0' && c <= L'9') {
            number.push_back(static_cast<char>(c));
            sawDigit = true;
        } else if (c == L'.' && !sawPoint) {
            number.push_back('.');
            sawPoint = true;
        } else {
            break;
        }
    }
    if (!sawDigit) return 0.0;
    wchar_t e = FoldAscii(at(i));
    if (e == L'e' || e == L'd') {
        std::size_t j = i + 1;
        std::string exponent = "e";
        while (j < text.size() && IsSkipped(text[j])) ++j;
        if (at(j) == L'+' || at(j) == L'-') {
            if (at(j) == L'-') exponent.push_back('-');
            ++j;
        }
        bool expDigit = false;
        for (;; ++j) {
            while (j < text.size() && IsSkipped(text[j])) ++j;
            wchar_t c = at(j);
            if (c < L'0' || c > L'9') break;
            // Past a few digits the value is already infinite or zero.
            if (exponent.size() < 12) exponent.push_back(static_cast<char>(c));
            expDigit = true;
        }
        if (expDigit) number += exponent;
    }
    double value = 0.0;
    auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone: tell overflow from underflow by the exponent.
        std::size_t ePos = number.find('e');
        bool negativeExponent = ePos != std::string::npos && ePos + 1 < number.size() && number[ePos + 1] == '-';
        bool negative = !number.empty() && number[0] == '-';
        if (negativeExponent) return 0.0;
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    if (ec != std::errc{}) return 0.0;
    return value;
}

std::int32_t RoundToInt32(double value) noexcept {
    if (std::isnan(value)) return 0;
    constexpr double kMax = std::numeric_limits<std::int32_t>::max();
    constexpr double kMin = std::numeric_limits<std::int32_t>::min();
    double rounded = std::nearbyint(value);  // the default rounding mode sends halves to even
    if (rounded >= kMax) return std::numeric_limits<std::int32_t>::max();
    if (rounded <= kMin) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(rounded);
}

}  // namespace mjr
