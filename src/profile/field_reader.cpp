#include "profile/field_reader.h"

namespace mjr {

void DelimitedFieldReader::SkipDelimiter() noexcept {
    if (AtEnd()) return;
    char c = bytes_[pos_];
    if (c == ',' || c == '\n') {
        ++pos_;
    } else if (c == '\r') {
        ++pos_;
        if (!AtEnd() && bytes_[pos_] == '\n') ++pos_;
    }
}

std::optional<std::string> DelimitedFieldReader::ReadRecord() {
    if (AtEnd()) return std::nullopt;
    std::string record;
    if (bytes_[pos_] == '"') {
        std::size_t close = bytes_.find('"', pos_ + 1);
        std::size_t stop = close == std::string_view::npos ? bytes_.size() : close;
        record.assign(bytes_.substr(pos_ + 1, stop - pos_ - 1));
        pos_ = close == std::string_view::npos ? bytes_.size() : close + 1;
        // Anything between the closing quote and the delimiter belongs to no record.
        std::size_t delimiter = bytes_.find_first_of(",\r\n", pos_);
        pos_ = delimiter == std::string_view::npos ? bytes_.size() : delimiter;
    } else {
        std::size_t delimiter = bytes_.find_first_of(",\r\n", pos_);
        std::size_t stop = delimiter == std::string_view::npos ? bytes_.size() : delimiter;
        record.assign(bytes_.substr(pos_, stop - pos_));
        pos_ = stop;
    }
    SkipDelimiter();
    return record;
}

}  // namespace mjr
