#pragma once
// Small pieces of the doctor's report: lines of a file, texts shown safely on one line.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mjr::doctor {

// Maps offsets of a profile's text (ANSI bytes or decoded wide text) to 1-based lines and
// columns; a line ends at CR LF, a lone CR or a lone LF.
class LineIndex {
public:
    template <typename CharT>
    explicit LineIndex(std::basic_string_view<CharT> text) : starts_{0} {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const bool lineFeed = text[i] == CharT('\n');
            const bool loneReturn = text[i] == CharT('\r') && (i + 1 == text.size() || text[i + 1] != CharT('\n'));
            if (lineFeed || loneReturn) starts_.push_back(i + 1);
        }
    }
    std::size_t LineOf(std::size_t offset) const noexcept;
    // In characters: a byte of an ANSI text, a code point of wide text.
    std::size_t ColumnOf(std::string_view text, std::size_t offset) const noexcept;
    std::size_t ColumnOf(std::wstring_view text, std::size_t offset) const noexcept;

private:
    std::vector<std::size_t> starts_;
};

// A count with its noun: "1 processor", "2 processors".
std::wstring Counted(std::size_t count, std::wstring_view one, std::wstring_view many);

// A text as the report shows it: control characters spelled out (<CR>, <LF>, <TAB>,
// <0x01>), so a statement never spills onto a second line; C1 controls, format characters
// (bidirectional controls, zero-width characters), unpaired surrogates, U+FFFE and U+FFFF
// as \u202E.
std::wstring Shown(std::wstring_view text);
// The same in double quotes.
std::wstring Quoted(std::wstring_view text);

// The first character of a text that Shown spells out: a C0 control (tab and line ends
// included), DEL, a C1 control, a format character (category Cf: bidirectional controls,
// zero-width characters, the soft hyphen, U+FEFF), an unpaired surrogate, U+FFFE, U+FFFF,
// or a line or paragraph separator: what a line pasted into a profile could not show or keep
// whole.
std::optional<char32_t> FirstUnpastable(std::wstring_view text);

}  // namespace mjr::doctor
