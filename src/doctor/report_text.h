#pragma once
// Small pieces of the doctor's report: lines of a file, texts shown safely on one line.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace mjr::doctor {

// Maps byte offsets of a file to 1-based lines and columns; a line ends at CR LF, a lone
// CR or a lone LF.
class LineIndex {
public:
    explicit LineIndex(std::string_view bytes);
    std::size_t LineOf(std::size_t offset) const noexcept;
    std::size_t ColumnOf(std::size_t offset) const noexcept;  // in bytes

private:
    std::vector<std::size_t> starts_;
};

// A text as the report shows it: control characters spelled out (<CR>, <LF>, <TAB>,
// <0x01>), so a statement never spills onto a second line.
std::wstring Shown(std::wstring_view text);
// The same in double quotes.
std::wstring Quoted(std::wstring_view text);

// Equal but for the letter case of A to Z.
bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) noexcept;

}  // namespace mjr::doctor
