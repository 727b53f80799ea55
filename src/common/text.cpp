#include "common/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace mjr {
namespace {

wchar_t FoldAscii(wchar_t c) noexcept { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c; }

bool IsSkipped(wchar_t c) noexcept { return c == L' ' || c == L'\t' || c == L'\n'; }

// Decimal exponents past these are infinite or zero for a double whatever the digits.
constexpr std::int64_t kBeyondLargest = 310;
constexpr std::int64_t kBelowSmallest = -330;
constexpr std::int64_t kExponentLimit = 1'000'000'000;

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

std::wstring_view TrimBlanks(std::wstring_view text) noexcept {
    const std::size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring_view::npos) return {};
    return text.substr(first, text.find_last_not_of(L" \t") - first + 1);
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

    // Gather the significant digits (blanks dropped) and the decimal exponent separately;
    // from_chars, which ignores the locale, converts a normalised text 0.DIGITSeN.
    bool negative = false;
    if (at(i) == L'+' || at(i) == L'-') {
        negative = at(i) == L'-';
        ++i;
    }
    std::string digits;                  // without leading zeros
    std::int64_t digitsBeforePoint = 0;  // of `digits`, negative for zeros after the point
    bool sawDigit = false;
    bool sawPoint = false;
    for (;; ++i) {
        skip();
        wchar_t c = at(i);
        if (c >= L'0' && c <= L'9') {
            sawDigit = true;
            if (c == L'0' && digits.empty()) {
                if (sawPoint) --digitsBeforePoint;
            } else {
                digits.push_back(static_cast<char>(c));
                if (!sawPoint) ++digitsBeforePoint;
            }
        } else if (c == L'.' && !sawPoint) {
            sawPoint = true;
        } else {
            break;
        }
    }
    if (!sawDigit) return 0.0;
    std::int64_t exponent = 0;
    wchar_t e = FoldAscii(at(i));
    if (e == L'e' || e == L'd') {
        std::size_t j = i + 1;
        while (j < text.size() && IsSkipped(text[j])) ++j;
        bool negativeExponent = false;
        if (at(j) == L'+' || at(j) == L'-') {
            negativeExponent = at(j) == L'-';
            ++j;
        }
        for (;; ++j) {
            while (j < text.size() && IsSkipped(text[j])) ++j;
            wchar_t c = at(j);
            if (c < L'0' || c > L'9') break;
            // Saturates far beyond any exponent a double can reach, never overflows.
            exponent = std::min<std::int64_t>(exponent * 10 + (c - L'0'), kExponentLimit);
        }
        if (negativeExponent) exponent = -exponent;
    }
    double magnitude = 0.0;
    if (!digits.empty()) {
        // The value is 0.DIGITS times 10 to this power, so its size is known before converting.
        std::int64_t scale = digitsBeforePoint + exponent;
        if (scale > kBeyondLargest) {
            magnitude = std::numeric_limits<double>::infinity();
        } else if (scale >= kBelowSmallest) {
            std::string number = "0." + digits + "e" + std::to_string(scale);
            auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), magnitude);
            (void)end;
            // Out of range at the edges: the scale says which side.
            if (ec == std::errc::result_out_of_range)
                magnitude = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
            else if (ec != std::errc{})
                magnitude = 0.0;
        }
    }
    return negative ? -magnitude : magnitude;
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
