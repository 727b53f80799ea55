#include "profile/field_reader.h"

#include <gtest/gtest.h>

#include <vector>

namespace mjr {
namespace {

std::vector<std::string> ReadAll(std::string_view bytes) {
    DelimitedFieldReader reader(bytes);
    std::vector<std::string> records;
    while (!reader.AtEnd()) records.push_back(*reader.ReadRecord());
    return records;
}

struct ReaderCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> records;
};

class FieldReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(FieldReaderTest, CutsRecords) { EXPECT_EQ(ReadAll(GetParam().bytes), GetParam().records); }

TEST_P(FieldReaderTest, EachRecordStartsWhereItsTextLies) {
    const std::string_view bytes = GetParam().bytes;
    DelimitedFieldReader reader(bytes);
    while (!reader.AtEnd()) {
        const std::size_t start = reader.Offset();
        const std::string record = *reader.ReadRecord();
        std::string_view at = bytes.substr(start);
        if (!at.empty() && at[0] == '"') at.remove_prefix(1);
        EXPECT_EQ(at.substr(0, record.size()), record) << "at " << start;
        EXPECT_GT(reader.Offset(), start);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, FieldReaderTest, ::testing::Values(
    ReaderCase{"one_line", "a\tb\r\n", {"a\tb"}},
    ReaderCase{"no_final_line_end", "a\r\nb", {"a", "b"}},
    ReaderCase{"comma_cuts_the_line", "a,b\r\nc\r\n", {"a", "b", "c"}},
    ReaderCase{"empty_line_is_an_empty_record", "a\r\n\r\nb\r\n", {"a", "", "b"}},
    ReaderCase{"trailing_comma_gives_an_empty_record", "a,\r\n", {"a", ""}},
    ReaderCase{"quotes_keep_commas_and_tabs", "\"x\t1,2\tC:\\a,b.exe\"\r\nz\r\n", {"x\t1,2\tC:\\a,b.exe", "z"}},
    ReaderCase{"text_after_closing_quote_is_dropped", "\"ab\"cd,e\r\n", {"ab", "e"}},
    ReaderCase{"quote_inside_is_ordinary", "a\"b\r\n", {"a\"b"}},
    ReaderCase{"line_end_inside_quotes_stays", "\"a\r\nb\"\r\nc", {"a\r\nb", "c"}},
    ReaderCase{"unclosed_quote_runs_to_the_end", "\"abc", {"abc"}},
    ReaderCase{"lone_lf_and_lone_cr_end_lines", "a\nb\rc", {"a", "b", "c"}},
    ReaderCase{"spaces_and_tabs_are_kept", " \ta \r\n", {" \ta "}},
    ReaderCase{"nul_bytes_are_ordinary", std::string("a\0b\r\n", 5), {std::string("a\0b", 3)}}));

TEST(FieldReader, AskingPastTheEndGivesNothing) {
    DelimitedFieldReader reader("");
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_FALSE(reader.ReadRecord().has_value());
    DelimitedFieldReader one("x\r\n");
    EXPECT_EQ(one.ReadRecord(), "x");
    EXPECT_TRUE(one.AtEnd());
    EXPECT_FALSE(one.ReadRecord().has_value());
}

}  // namespace
}  // namespace mjr
