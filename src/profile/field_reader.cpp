#include "profile/field_reader.h"

#include <algorithm>

namespace mjr {
namespace {

// The first comma, CR or LF from `from` on, or the end of the text: a plain loop, which
// the size-optimised build keeps as cheap as it looks.
template <typename CharT>
std::size_t NextDelimiter(std::basic_string_view<CharT> text, std::size_t from) noexcept {
    while (from < text.size() && text[from] != CharT(',') && text[from] != CharT('\r') && text[from] != CharT('\n')) ++from;
    return from;
}

// Where the line holding `from` ends: its CR or LF, or the end of the text.
template <typename CharT>
std::size_t LineEnd(std::basic_string_view<CharT> text, std::size_t from) noexcept {
    while (from < text.size() && text[from] != CharT('\r') && text[from] != CharT('\n')) ++from;
    return from;
}

}  // namespace

template <typename CharT>
void BasicDelimitedFieldReader<CharT>::SkipDelimiter() noexcept {
    if (AtEnd()) return;
    const CharT c = text_[pos_];
    if (c == CharT(',') || c == CharT('\n')) {
        ++pos_;
    } else if (c == CharT('\r')) {
        ++pos_;
        if (!AtEnd() && text_[pos_] == CharT('\n')) ++pos_;
    }
}

template <typename CharT>
std::optional<std::basic_string<CharT>> BasicDelimitedFieldReader<CharT>::ReadRecord() {
    if (AtEnd()) return std::nullopt;
    Text record;
    if (text_[pos_] == CharT('"')) {
        std::size_t close = text_.find(CharT('"'), pos_ + 1);
        std::size_t stop = close == View::npos ? text_.size() : close;
        record.assign(text_.substr(pos_ + 1, stop - pos_ - 1));
        pos_ = close == View::npos ? text_.size() : close + 1;
        // Anything between the closing quote and the delimiter belongs to no record.
        pos_ = NextDelimiter(text_, pos_);
    } else {
        const std::size_t stop = NextDelimiter(text_, pos_);
        record.assign(text_.substr(pos_, stop - pos_));
        pos_ = stop;
    }
    SkipDelimiter();
    return record;
}

template <typename CharT>
std::optional<std::basic_string_view<CharT>> BasicDelimitedFieldReader<CharT>::LineAhead() const noexcept {
    const bool lineStart = pos_ == 0 || text_[pos_ - 1] == CharT('\r') || text_[pos_ - 1] == CharT('\n');
    if (AtEnd() || !lineStart) return std::nullopt;
    return text_.substr(pos_, LineEnd(text_, pos_) - pos_);
}

template <typename CharT>
void BasicDelimitedFieldReader<CharT>::SkipLine() noexcept {
    pos_ = LineEnd(text_, pos_);
    SkipDelimiter();
}

template class BasicDelimitedFieldReader<char>;
template class BasicDelimitedFieldReader<wchar_t>;

}  // namespace mjr
