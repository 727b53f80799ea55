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
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\.exe", true}, PatternCase{L"C:\\G\\*.exe", L"C:\\G\\a.exe.bak", false},
    PatternCase{L"C:\\G\\*.exe", L"C:\\G\\sub\\a.exe", false},  // "*" stays within one name
    PatternCase{L"C:\\G\\a*b*c.exe", L"C:\\G\\aXbYbZc.exe", true}, PatternCase{L"C:\\G\\a*b*c.exe", L"C:\\G\\aXcYb.exe", false},
    PatternCase{L"C:\\G\\**\\*.exe", L"C:\\G\\x.exe", true}, PatternCase{L"C:\\G\\**\\*.exe", L"C:\\G\\a\\b\\x.exe", true},
    PatternCase{L"C:\\G\\**\\g.exe", L"C:\\Gx\\g.exe", false},
    PatternCase{L"C:\\G\\**\\bin\\**\\g.exe", L"C:\\G\\bin\\bin\\g.exe", true},
    PatternCase{L"C:\\G\\**\\bin\\**\\g.exe", L"C:\\G\\x\\y\\g.exe", false},
    PatternCase{L"C:\\G\\a**b.exe", L"C:\\G\\aXb.exe", true},  // "**" inside a name is "*"
    PatternCase{L"C:\\G\\bin*\\g.exe", L"C:\\G\\bin\\g.exe", true},
    PatternCase{L"\\\\S\\T\\F\\*.exe", L"C:\\S\\T\\F\\a.exe", false}));

PatternRefusal RefusalOf(std::wstring_view pattern) { return mjr::RefusalOf(pattern, false, L""); }

// Many "**" and "*" against a path of many names: no backtracking blow-up.
TEST(PatternTest, WorkStaysBoundedOnAdversarialInputAndOnlyAFixedFirstFolderIsTaken) {
    std::wstring pattern = L"C:\\G", path = L"C:\\G";
    for (int i = 0; i < 100; ++i) pattern += L"\\**\\*a*a*a*";
    for (int i = 0; i < 300; ++i) path += L"\\" + std::wstring(20, L'a');
    EXPECT_FALSE(PathPattern(pattern + L"\\b.exe").Matches(path + L"\\c.exe"));

    for (const wchar_t* taken : {L"C:\\Games\\*.exe", L"c:\\Games\\**\\*.exe", L"\\\\server\\share\\Games\\*.exe",
                                 L"C:\\Users\\me\\AppData\\**\\game.exe", L"C:\\Users\\me\\*.exe", L"C:\\Windows\\*.exe", L"C:\\WINDOWS\\Sys*\\*.exe",
                                 L"\\\\server\\share\\ProgramData\\*.exe"})
        EXPECT_EQ(RefusalOf(taken), PatternRefusal::None) << taken;
    for (const wchar_t* refused : {L"**\\obs64.exe", L"C:\\*\\game.exe", L"C:\\G*s\\g.exe", L"C:\\*.exe", L"*.exe",
                                   L"1:\\Games\\*.exe", L"\\\\server\\*\\Games\\*.exe", L"\\\\server\\share\\*.exe",
                                   L"\\\\server\\share\\*\\x.exe", L"\\\\*\\share\\Games\\*.exe"})
        EXPECT_EQ(RefusalOf(refused), PatternRefusal::NoFixedFirstFolder) << refused;
    // Folders Windows lets every user write, on any drive, in any letter case.
    for (const wchar_t* refused : {L"C:\\Users\\Public\\**", L"C:\\ProgramData\\**\\*.exe", L"c:\\users\\*\\AppData\\**\\g.exe",
                                   L"C:\\Users\\**", L"C:\\Users\\*.exe", L"D:\\Users\\Default User\\*.exe",
                                   L"C:\\Users\\all users\\*.exe", L"C:\\Users\\DEFAULT\\*.exe", L"C:\\Windows\\Temp\\**",
                                   L"C:\\Windows\\T*\\x.exe", L"E:\\$Recycle.Bin\\**\\*.exe"})
        EXPECT_EQ(mjr::RefusalOf(refused, true, L"C:\\WINDOWS"), PatternRefusal::UsersFolder) << refused;
    EXPECT_EQ(RefusalOf(L"C:\\Games\\" + std::wstring(1015, L'*')), PatternRefusal::TooLong);
    EXPECT_EQ(RefusalOf(L"C:\\Games\\" + std::wstring(1014, L'*')), PatternRefusal::None);
}

// A pattern that raises stays out of \Windows on any drive and out of this PC's Windows
// directory wherever it is; one that lowers or places does not; "/" reads as "\".
TEST(PatternTest, RaisingPatternsStayOutOfTheWindowsFolder) {
    constexpr auto W = PatternRefusal::WindowsFolder, N = PatternRefusal::None, D = PatternRefusal::DevicePath;
    struct { const wchar_t* pattern; bool raises; const wchar_t* windows; PatternRefusal refusal; } cases[] = {
        {L"C:\\WINDOWS\\TASKS\\*.EXE", true, L"C:\\WINDOWS", W}, {L"C:\\WINDOWS\\SYSTEM32\\**\\DWM.EXE", true, L"C:\\WINDOWS", W},
        {L"E:\\WINDOWS\\*.EXE", true, L"C:\\WINDOWS", W}, {L"C:/WINDOWS/T/*.EXE", true, L"", W}, {L"C:\\G\\*.EXE", true, L"C:\\", W},
        {L"D:\\WIN11\\TASKS\\*.EXE", true, L"D:\\WIN11", W}, {L"C:\\OS\\*\\T\\*.EXE", true, L"C:\\OS\\WINNT", W},
        {L"C:\\OS\\**", true, L"C:\\OS\\WINNT", W}, {L"C:\\OS\\**\\**\\X.EXE", true, L"C:\\OS\\WINNT", W},
        {L"C:\\WINDOWS\\TASKS\\*.EXE", false, L"C:\\WINDOWS", N}, {L"D:\\WIN11\\*.EXE", false, L"D:\\WIN11", N},
        {L"D:\\WIN11\\T\\*.EXE", true, L"C:\\WINDOWS", N}, {L"C:\\G\\*.EXE", true, L"", N}, {L"C:\\OS\\O\\*.EXE", true, L"C:\\OS\\WINNT", N},
        {L"C:\\OS\\*", true, L"C:\\OS\\WINNT", N},  // the folder itself is no program
        {L"C:\\OS\\WINNT.OLD\\*.EXE", true, L"C:\\OS\\WINNT", N}, {L"\\\\S\\SHARE\\WINDOWS\\*.EXE", true, L"C:\\WINDOWS", N},
        // The device and the kernel's own forms, whatever the pattern asks.
        {L"\\\\?\\C:\\G\\*.EXE", false, L"", D}, {L"\\\\.\\C:\\G\\*.EXE", false, L"", D}, {L"//?/UNC/S/SHARE/G/*.EXE", false, L"", D},
    };
    for (const auto& c : cases) EXPECT_EQ(mjr::RefusalOf(c.pattern, c.raises, c.windows), c.refusal) << c.pattern;
}

}  // namespace
}  // namespace mjr
