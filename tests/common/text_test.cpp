#include "common/text.h"

#include <gtest/gtest.h>

#include <limits>

#include "common/counter.h"

namespace mjr {
namespace {

struct NumberCase {
    const wchar_t* text;
    double value;
};

class LeadingNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberAtTheStart) {
    EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Table, LeadingNumberTest, ::testing::Values(
    NumberCase{L"", 0}, NumberCase{L"abc", 0}, NumberCase{L"30", 30}, NumberCase{L" 45", 45},
    NumberCase{L"\t\n12", 12}, NumberCase{L"1 2 3", 123}, NumberCase{L"1\t0", 10},
    NumberCase{L"-5", -5}, NumberCase{L"+7", 7}, NumberCase{L"- 8", -8},
    NumberCase{L"12.5", 12.5}, NumberCase{L"1.2.3", 1.2}, NumberCase{L".5", 0.5},
    NumberCase{L"3e2", 300}, NumberCase{L"3D2", 300}, NumberCase{L"3E-1", 0.3}, NumberCase{L"3E", 3},
    NumberCase{L"3Ex", 3}, NumberCase{L"12abc", 12}, NumberCase{L"Enforced", 0},
    NumberCase{L"&H1E", 30}, NumberCase{L"&hff", 255}, NumberCase{L"&O17", 15}, NumberCase{L"&O19", 1}, NumberCase{L"&O18", 1},
    NumberCase{L"&X12", 0}, NumberCase{L"&", 0}, NumberCase{L"\r5", 0}, NumberCase{L"1,5", 1},
    NumberCase{L"-", 0}, NumberCase{L".", 0}));

TEST(LeadingNumber, TellsOverflowFromUnderflowByTheValue) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::wstring zeros(400, L'0');
    const std::wstring nines(400, L'9');
    struct { std::wstring text; double value; } cases[] = {
        {L"1E999999999999", kInf}, {L"-1E99999", -kInf}, {L"1E-99999", 0.0}, {nines, kInf},
        // Every exponent digit counts, leading zeros however many.
        {L"1e000000000002", 100}, {L"1e-00000000000000000002", 0.01},
        {L"1e" + std::wstring(5000, L'9'), kInf}, {L"1e-" + std::wstring(5000, L'9'), 0.0},
        // Tiny digits with a growing exponent, huge digits with a shrinking one.
        {L"0." + zeros + L"1e5", 0.0}, {L"-0." + zeros + L"1e5", 0.0}, {L"0." + zeros + L"1e400", 0.1},
        {nines + L"e-1", kInf}, {L"-" + nines + L"e-1", -kInf}, {L"1" + zeros + L"e-399", 10},
        {L"0." + zeros, 0.0}, {L"0" + zeros + L"25e-1", 2.5}, {L"1.7976931348623157e308", 1.7976931348623157e308},
        {L"1.8e308", kInf}, {L"1e-400", 0.0},
    };
    for (const auto& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.value) << c.text.substr(0, 40);
}

TEST(RoundToInt32, HalvesGoToTheEvenNeighbourAndTheRangeClamps) {
    struct { double in; std::int32_t out; } cases[] = {
        {0.5, 0}, {1.5, 2}, {2.5, 2}, {9.5, 10}, {10.5, 10}, {-0.5, 0}, {-1.5, -2}, {2.4, 2}, {2.6, 3},
        {3e9, std::numeric_limits<std::int32_t>::max()}, {-3e9, std::numeric_limits<std::int32_t>::min()},
        {std::numeric_limits<double>::infinity(), std::numeric_limits<std::int32_t>::max()},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (auto c : cases) EXPECT_EQ(RoundToInt32(c.in), c.out) << c.in;
}

TEST(Text, TrimRemovesSpacesOnlyAndSearchIgnoresCase) {
    EXPECT_EQ(TrimSpaces(L"  a b  "), L"a b");
    EXPECT_EQ(TrimSpaces(L"\ta "), L"\ta");
    EXPECT_EQ(TrimSpaces(L"   "), L"");
    EXPECT_TRUE(ContainsIgnoreCase(L"My FAVS 2", L"my fav"));
    EXPECT_TRUE(ContainsIgnoreCase(L"noEXIT", L"exit"));
    EXPECT_FALSE(ContainsIgnoreCase(L"exi", L"exit"));
    EXPECT_FALSE(ContainsIgnoreCase(L"my\tfav", L"my fav"));
}

TEST(Text, SplitKeepsEveryPieceAndReplaceIsOnePass) {
    EXPECT_TRUE(SplitAll(L"", L'/').empty());
    EXPECT_EQ(SplitAll(L"/", L'/'), (std::vector<std::wstring>{L"", L""}));
    EXPECT_EQ(SplitAll(L"a//b", L'/'), (std::vector<std::wstring>{L"a", L"", L"b"}));
    EXPECT_EQ(ReplaceAll(L"\\??\\C:\\x\\??\\y", L"\\??\\", L""), L"C:\\xy");
    EXPECT_EQ(ReplaceAll(L"aaa", L"aa", L"b"), L"ba");
}

TEST(CounterText, PrintsAPlainDecimalInteger) {
    Counter c;
    EXPECT_EQ(c.Text(), L"0");
    for (int i = 0; i < 1234567; ++i) c.Increment();
    EXPECT_EQ(c.Text(), L"1234567");
    EXPECT_TRUE(c.AboveZero());
    c.Reset();
    EXPECT_EQ(c.Text(), L"0");
    EXPECT_FALSE(c.AboveZero());
}

}  // namespace
}  // namespace mjr
