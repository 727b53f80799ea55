#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mjr {

// Reads a profile's text as delimited records: a record ends at the first comma or line
// end (CR LF, or a lone CR or LF), which is consumed; a record that starts with a double
// quote runs to the next double quote, and whatever follows it up to the next comma or
// line end is dropped. An empty line is one empty record. The same rules hold for ANSI
// bytes and for decoded wide text.
template <typename CharT>
class BasicDelimitedFieldReader {
public:
    using View = std::basic_string_view<CharT>;
    using Text = std::basic_string<CharT>;

    explicit BasicDelimitedFieldReader(View text) noexcept : text_(text) {}

    bool AtEnd() const noexcept { return pos_ >= text_.size(); }

    // Offset (in characters of the text) where the next record starts; after a read, just
    // past that record's delimiter. Lets a caller map a record back to its line.
    std::size_t Offset() const noexcept { return pos_; }

    // Nothing when no characters are left.
    std::optional<Text> ReadRecord();

    // The line the next record starts, when it starts one (not after a comma): up to its
    // line end, quotes and commas included. Nothing inside a line or at the end.
    std::optional<View> LineAhead() const noexcept;
    // Passes over that line and its line end.
    void SkipLine() noexcept;

private:
    void SkipDelimiter() noexcept;
    View text_;
    std::size_t pos_ = 0;
};

using DelimitedFieldReader = BasicDelimitedFieldReader<char>;
using WideDelimitedFieldReader = BasicDelimitedFieldReader<wchar_t>;

extern template class BasicDelimitedFieldReader<char>;
extern template class BasicDelimitedFieldReader<wchar_t>;

}  // namespace mjr
