#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mjr {

// Reads a profile's bytes as delimited records: a record ends at the first comma or line
// end (CR LF, or a lone CR or LF), which is consumed; a record that starts with a double
// quote runs to the next double quote, and whatever follows it up to the next comma or
// line end is dropped. An empty line is one empty record.
class DelimitedFieldReader {
public:
    explicit DelimitedFieldReader(std::string_view bytes) noexcept : bytes_(bytes) {}

    bool AtEnd() const noexcept { return pos_ >= bytes_.size(); }

    // Byte offset where the next record starts; after a read, just past that record's
    // delimiter. Lets a caller map a record back to its line.
    std::size_t Offset() const noexcept { return pos_; }

    // Nothing when no characters are left.
    std::optional<std::string> ReadRecord();

private:
    void SkipDelimiter() noexcept;
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

}  // namespace mjr
