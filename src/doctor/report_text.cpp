#include "doctor/report_text.h"

#include <algorithm>
#include <cstdio>

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

std::wstring Shown(std::wstring_view text) {
    std::wstring shown;
    shown.reserve(text.size());
    for (wchar_t c : text) {
        if (c == L'\r') shown += L"<CR>";
        else if (c == L'\n') shown += L"<LF>";
        else if (c == L'\t') shown += L"<TAB>";
        else if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029 || c == 0x85) {
            wchar_t code[16];
            std::swprintf(code, 16, L"<0x%02X>", static_cast<unsigned>(c));
            shown += code;
        } else {
            shown += c;
        }
    }
    return shown;
}

std::wstring Quoted(std::wstring_view text) { return L"\"" + Shown(text) + L"\""; }

}  // namespace mjr::doctor
