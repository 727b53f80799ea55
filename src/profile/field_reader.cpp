#include "profile/field_reader.h"

#include <algorithm>

namespace mjr {
namespace {

template <typename CharT>
constexpr CharT kDelimiters[] = {CharT(','), CharT('\r'), CharT('\n'), CharT(0)};
template <typename CharT>
constexpr CharT kLineEnds[] = {CharT('\r'), CharT('\n'), CharT(0)};

// Where the line holding `from` ends: its CR or LF, or the end of the text.
template <typename CharT>
std::size_t LineEnd(std::basic_string_view<CharT> text, std::size_t from) noexcept {
    return std::min(text.find_first_of(kLineEnds<CharT>, from), text.size());
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
        std::size_t delimiter = text_.find_first_of(kDelimiters<CharT>, pos_);
        pos_ = delimiter == View::npos ? text_.size() : delimiter;
    } else {
        std::size_t delimiter = text_.find_first_of(kDelimiters<CharT>, pos_);
        std::size_t stop = delimiter == View::npos ? text_.size() : delimiter;
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
