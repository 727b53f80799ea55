#include "profile/path_pattern.h"

#include <gtest/gtest.h>

namespace mjr {
namespace {

struct PatternCase {
    const wchar_t* pattern;
    const wchar_t* path;
    bool matches;
};

class PatternTest : public ::testing::TestWithParam<PatternCase> {};

TEST_P(PatternTest, MatchesTheWholePath) {
    EXPECT_EQ(PathPattern(GetParam().pattern).Matches(GetParam().path), GetParam().matches);
}

INSTANTIATE_TEST_SUITE_P(Table, PatternTest, ::testing::Values(
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\a.exe", true},
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\.exe", true},
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\a.exe.bak", false},
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\sub\\a.exe", false},  // "*" stays within one name
    PatternCase{L"C:\\G\\a*b*c.exe", L"C:\\G\\aXbYbZc.exe", true},
    PatternCase{L"C:\\G\\a*b*c.exe", L"C:\\G\\aXcYb.exe", false},
    PatternCase{L"C:\\G\\*\\bin\\g.exe", L"C:\\G\\Foo 1.2\\bin\\g.exe", true},
    PatternCase{L"C:\\G\\*\\bin\\g.exe", L"C:\\G\\bin\\g.exe", false},
    PatternCase{L"C:\\G\\*\\bin\\g.exe", L"C:\\G\\a\\b\\bin\\g.exe", false},
    PatternCase{L"C:\\G\\**\\*.exe", L"C:\\G\\x.exe", true},  // zero folders
    PatternCase{L"C:\\G\\**\\*.exe", L"C:\\G\\a\\b\\c\\x.exe", true},
    PatternCase{L"C:\\G\\**\\*.exe", L"C:\\H\\x.exe", false},
    PatternCase{L"C:\\G\\**\\bin\\**\\g.exe", L"C:\\G\\bin\\bin\\g.exe", true},
    PatternCase{L"C:\\G\\**\\bin\\**\\g.exe", L"C:\\G\\x\\y\\g.exe", false},
    PatternCase{L"C:\\G\\**\\g.exe", L"C:\\Gx\\g.exe", false},
    PatternCase{L"C:\\G\\a**b.exe", L"C:\\G\\aXb.exe", true},  // "**" inside a name is "*"
    PatternCase{L"\\\\S\\T\\F\\*.exe", L"\\\\S\\T\\F\\a.exe", true},
    PatternCase{L"\\\\S\\T\\F\\*.exe", L"C:\\S\\T\\F\\a.exe", false}));

// A path of many names against a pattern of many "**" and "*": no backtracking blow-up.
TEST(PatternTest, WorkStaysBoundedOnAdversarialInput) {
    std::wstring pattern = L"C:\\G";
    for (int i = 0; i < 100; ++i) pattern += L"\\**\\*a*a*a*";
    pattern += L"\\b.exe";
    std::wstring path = L"C:\\G";
    for (int i = 0; i < 300; ++i) path += L"\\" + std::wstring(20, L'a');
    path += L"\\c.exe";
    EXPECT_FALSE(PathPattern(pattern).Matches(path));
}

struct RefusalCase {
    std::wstring pattern;
    PatternRefusal refusal;
};

class RefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(RefusalTest, OnlyADriveOrShareWithAFixedFolderIsTaken) {
    EXPECT_EQ(RefusalOf(GetParam().pattern), GetParam().refusal);
}

INSTANTIATE_TEST_SUITE_P(Table, RefusalTest, ::testing::Values(
    RefusalCase{L"C:\\Games\\*.exe", PatternRefusal::None},
    RefusalCase{L"c:\\Games\\**\\*.exe", PatternRefusal::None},
    RefusalCase{L"\\\\server\\share\\Games\\*.exe", PatternRefusal::None},
    RefusalCase{L"**\\obs64.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"C:\\*\\game.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"C:\\G*s\\game.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"C:\\*.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"*.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"1:\\Games\\*.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"\\\\server\\*\\Games\\*.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"\\\\server\\share\\*.exe", PatternRefusal::NoFixedFirstFolder},
    RefusalCase{L"C:\\Games\\" + std::wstring(1015, L'*'), PatternRefusal::TooLong}));

}  // namespace
}  // namespace mjr
