#include "engine/image_path.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

struct RewriteCase {
    const char* reported;
    const wchar_t* prefix;
    const wchar_t* path;
};

class PathRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(PathRewriteTest, RewritesNativePrefixes) {
    FakePlatform fake;
    fake.AddProcess(100, GetParam().reported);
    EXPECT_EQ(GetProcessImagePath(fake, 100, GetParam().prefix), std::wstring(GetParam().path));
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, PathRewriteTest, ::testing::Values(
    RewriteCase{"C:\\Apps\\tool.exe", L"C:\\WINDOWS\\", L"C:\\Apps\\tool.exe"},
    RewriteCase{"\\??\\C:\\Apps\\tool.exe", L"C:\\WINDOWS\\", L"C:\\Apps\\tool.exe"},
    RewriteCase{"C:\\x\\??\\y.exe", L"C:\\WINDOWS\\", L"C:\\xy.exe"},
    RewriteCase{"\\SystemRoot\\System32\\smss.exe", L"C:\\WINDOWS\\", L"C:\\WINDOWS\\System32\\smss.exe"},
    RewriteCase{"\\systemroot\\System32\\smss.exe", L"C:\\WINDOWS\\", L"\\systemroot\\System32\\smss.exe"},
    RewriteCase{"\\SystemRoot\\System32\\smss.exe", L"", L"System32\\smss.exe"},
    RewriteCase{"\\??\\\\SystemRoot\\a.exe", L"C:\\W\\", L"C:\\W\\a.exe"},
    // "\??\" goes first, so what it leaves behind is rewritten too.
    RewriteCase{"\\System\\??\\Root\\a.exe", L"C:\\W\\", L"C:\\W\\a.exe"}));

TEST(ImagePath, ShortNamesComeBackLong) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\PROGRA~1\\Tool\\tool.exe");
    fake.longPaths["C:\\PROGRA~1\\Tool\\tool.exe"] = "C:\\Program Files\\Tool\\tool.exe";
    EXPECT_EQ(GetProcessImagePath(fake, 100, L""), std::wstring(L"C:\\Program Files\\Tool\\tool.exe"));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"OpenProcess(0x410,0,100)", "EnumProcessModules(" +
                                                        std::to_string(sizeof(Handle)) + ")",
                                                    "GetModuleFileNameExA(512)", "GetLongPathNameA(1024)",
                                                    "CloseHandle"}));
}

TEST(ImagePath, EveryFailureGivesAnEmptyPathAndClosesWhatItOpened) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\a.exe").exited = true;
    fake.AddProcess(101, "C:\\a.exe").grantedAccess = 0x400;  // no VM read
    fake.AddProcess(102, "C:\\a.exe").moduleListingFails = true;
    fake.AddProcess(103, "C:\\a.exe").fileNameFails = true;
    fake.AddProcess(104, "C:\\gone.exe");
    fake.longPaths["C:\\gone.exe"] = std::nullopt;
    fake.AddProcess(105, "C:\\a.exe");
    for (Dword pid : {100u, 101u, 102u, 103u, 104u, 999u})
        EXPECT_EQ(GetProcessImagePath(fake, pid, L"C:\\WINDOWS\\"), std::wstring()) << pid;
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
    EXPECT_EQ(fake.badCloses, 0u);
    EXPECT_EQ(fake.handlesOpened, 3u);  // 100 has ended, 101 refuses 0x410, 999 does not exist

    // A run-time error while resolving the long form is an empty path, not a crash.
    for (bool inConversion : {false, true}) {
        fake.longPathThrows = !inConversion;
        fake.wideToAnsiThrows = inConversion;
        EXPECT_EQ(ToLongPath(fake, L"C:\\a.exe"), std::wstring()) << inConversion;
        EXPECT_EQ(GetProcessImagePath(fake, 105, L""), std::wstring()) << inConversion;
    }
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(ImagePath, ALongFormThatDoesNotFitIsNoPathAtAll) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\a.exe");
    fake.longPaths["C:\\a.exe"] = "C:\\" + std::string(1021, 'x');  // 1024 characters
    EXPECT_FALSE(GetProcessImagePath(fake, 100, L"").has_value());
    fake.longPaths["C:\\a.exe"] = "C:\\" + std::string(1020, 'x');  // 1023 characters fit
    EXPECT_EQ(GetProcessImagePath(fake, 100, L"")->size(), 1023u);
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(WindowsDirPrefix, IsTheDirectoryAndOneBackslash) {
    FakePlatform fake;
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"C:\\WINDOWS\\");
    fake.windowsDirectoryFails = true;
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"");
    fake.windowsDirectoryFails = false;
    fake.windowsDirectory = std::string(255, 'W');
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"");
}

}  // namespace
}  // namespace mjr
