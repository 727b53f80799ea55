#include "engine/image_path.h"

#include <gtest/gtest.h>

#include "engine/process_handles.h"
#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

// The path of a process whose kernel record is `reported`, read on one handle open for querying.
std::optional<std::wstring> PathOf(FakePlatform& fake, Dword pid, std::wstring_view prefix) {
    UniqueHandle queried = OpenForQuery(fake, pid);
    return GetProcessImagePath(fake, queried.get(), prefix);
}

struct RewriteCase {
    const wchar_t* reported;
    const wchar_t* prefix;
    const wchar_t* path;
    bool longFormAsked = true;  // only on a local drive
    const wchar_t* longForm = nullptr;  // what the file system gives for it, where not itself
};

class PathRewriteTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(PathRewriteTest, RewritesNativePrefixes) {
    FakePlatform fake;
    fake.driveTypes[L"Y:\\"] = kDriveRemote;
    fake.driveTypes[L"X:\\"] = kDriveUnknown;
    fake.driveTypes[L"R:\\"] = kDriveRamdisk;
    fake.driveTypes[L"E:\\"] = kDriveRemovable;
    fake.driveTypes[L"D:\\"] = kDriveCdrom;
    fake.AddProcess(100, "").imagePath = GetParam().reported;
    if (GetParam().longForm) fake.longPaths[GetParam().reported] = GetParam().longForm;
    EXPECT_EQ(PathOf(fake, 100, GetParam().prefix), std::wstring(GetParam().path));
    EXPECT_EQ(fake.CallsNamed("GetLongPathNameW"), GetParam().longFormAsked ? 1u : 0u);
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, PathRewriteTest, ::testing::Values(
    RewriteCase{L"C:\\Apps\\tool.exe", L"C:\\WINDOWS\\", L"C:\\Apps\\tool.exe"},
    RewriteCase{L"\\??\\C:\\Apps\\tool.exe", L"C:\\WINDOWS\\", L"C:\\Apps\\tool.exe"},
    RewriteCase{L"C:\\x\\??\\y.exe", L"C:\\WINDOWS\\", L"C:\\xy.exe"},
    RewriteCase{L"\\SystemRoot\\System32\\smss.exe", L"C:\\WINDOWS\\", L"C:\\WINDOWS\\System32\\smss.exe"},
    RewriteCase{L"\\systemroot\\System32\\smss.exe", L"C:\\WINDOWS\\", L"\\systemroot\\System32\\smss.exe", false},
    RewriteCase{L"\\SystemRoot\\System32\\smss.exe", L"", L"System32\\smss.exe", false},
    RewriteCase{L"\\??\\\\SystemRoot\\a.exe", L"C:\\W\\", L"C:\\W\\a.exe"},
    // "\??\" goes first, so what it leaves behind is rewritten too.
    RewriteCase{L"\\System\\??\\Root\\a.exe", L"C:\\W\\", L"C:\\W\\a.exe"},
    // Wide from end to end: letters outside any ANSI code page survive.
    RewriteCase{L"C:\\\u0418\u0433\u0440\u044B\\game.exe", L"", L"C:\\\u0418\u0433\u0440\u044B\\game.exe"},
    RewriteCase{L"R:\\ram.exe", L"", L"R:\\ram.exe"},
    RewriteCase{L"E:\\stick.exe", L"", L"E:\\stick.exe"},
    RewriteCase{L"D:\\disc.exe", L"", L"D:\\disc.exe"},
    // Shares, network and unknown drives, "\\?\" and device paths: as the kernel gives them,
    // with no call that could reach for a server.
    RewriteCase{L"\\\\server\\share\\x.exe", L"", L"\\\\server\\share\\x.exe", false},
    RewriteCase{L"Y:\\mapped\\x.exe", L"", L"Y:\\mapped\\x.exe", false},
    RewriteCase{L"X:\\odd\\x.exe", L"", L"X:\\odd\\x.exe", false},
    RewriteCase{L"\\\\?\\C:\\x.exe", L"", L"", false},  // its ":" is no drive's
    // Names Win32 would tidy into another file's, and streams: started through "\\?\", never a favourite.
    RewriteCase{L"C:\\Games.\\game.exe", L"", L"", false}, RewriteCase{L"C:\\Games\\game.exe.", L"", L"", false},
    RewriteCase{L"C:\\Games\\game.exe ", L"", L"", false}, RewriteCase{L"C:\\Games \\game.exe", L"", L"", false},
    RewriteCase{L"C:\\Games\\game.exe:x", L"", L"", false}, RewriteCase{L"C:\\Windows\\Tasks:x.exe", L"", L"", false},
    RewriteCase{L"\\\\server\\share.\\x.exe", L"", L"", false}, RewriteCase{L"\\\\server\\share\\x.exe:s", L"", L"", false},
    RewriteCase{L"C:x.exe", L"", L"", false},
    RewriteCase{L"C:\\.Games\\v1.2\\a b.exe", L"", L"C:\\.Games\\v1.2\\a b.exe"},
    // A long form is taken only with as many names, none Win32 would tidy; an 8.3 name still resolves.
    RewriteCase{L"C:\\GAMES~1\\game.exe", L"", L"C:\\Games\\game.exe", true, L"C:\\Games\\game.exe"},
    RewriteCase{L"C:\\GAMES~2\\game.exe", L"", L"", true, L"C:\\Games.\\game.exe"},
    RewriteCase{L"C:\\Games\\sub\\game.exe", L"", L"", true, L"C:\\Games\\game.exe"},
    RewriteCase{L"\\Device\\HarddiskVolume2\\x.exe", L"", L"\\Device\\HarddiskVolume2\\x.exe", false}));

TEST(ImagePath, ShortNamesComeBackLong) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\PROGRA~1\\Tool\\tool.exe");
    fake.longPaths[L"C:\\PROGRA~1\\Tool\\tool.exe"] = L"C:\\Program Files\\Tool\\tool.exe";
    EXPECT_EQ(PathOf(fake, 100, L""), std::wstring(L"C:\\Program Files\\Tool\\tool.exe"));
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"OpenProcess(0x1000,0,100)", "QueryFullProcessImageNameW(0,1024)",
                                                    "GetDriveTypeW(C:\\)", "GetLongPathNameW(1028)",
                                                    "CloseHandle"}));
}

TEST(ImagePath, EveryFailureGivesAnEmptyPathAndClosesWhatItOpened) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\a.exe").exited = true;
    fake.AddProcess(101, "C:\\a.exe").grantedAccess = 0;  // not even limited querying
    fake.AddProcess(103, "C:\\a.exe").imageNameFails = true;
    fake.AddProcess(104, "C:\\gone.exe");
    fake.longPaths[L"C:\\gone.exe"] = std::nullopt;
    fake.AddProcess(105, "C:\\a.exe");
    for (Dword pid : {100u, 101u, 103u, 104u, 999u})
        EXPECT_EQ(PathOf(fake, pid, L"C:\\WINDOWS\\"), std::wstring()) << pid;
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
    EXPECT_EQ(fake.badCloses, 0u);
    EXPECT_EQ(fake.handlesOpened, 2u);  // 100 has ended, 101 refuses, 999 does not exist

    // A run-time error while resolving the long form is an empty path, not a crash.
    fake.longPathThrows = true;
    EXPECT_EQ(ToLongPath(fake, L"C:\\a.exe"), std::wstring());
    EXPECT_EQ(PathOf(fake, 105, L""), std::wstring());
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(ImagePath, APathThatDoesNotFitIsNoPathAtAll) {
    FakePlatform fake;
    fake.AddProcess(100, "C:\\a.exe");
    fake.longPaths[L"C:\\a.exe"] = L"C:\\" + std::wstring(1021, L'x');  // 1024 characters
    EXPECT_FALSE(PathOf(fake, 100, L"").has_value());
    fake.longPaths[L"C:\\a.exe"] = L"C:\\" + std::wstring(1020, L'x');  // 1023 characters fit
    EXPECT_EQ(PathOf(fake, 100, L"")->size(), 1023u);
    // A kernel record longer than the buffer, and one on a share too long to hold.
    fake.AddProcess(101, "").imagePath = L"C:\\" + std::wstring(1100, L'y');
    fake.AddProcess(102, "").imagePath = L"\\\\s\\" + std::wstring(1100, L'z');
    EXPECT_FALSE(PathOf(fake, 101, L"").has_value());
    EXPECT_FALSE(PathOf(fake, 102, L"").has_value());
    EXPECT_FALSE(ToLongPath(fake, L"\\\\s\\" + std::wstring(1020, L'z')).has_value());  // 1024 characters
    EXPECT_EQ(ToLongPath(fake, L"\\\\s\\" + std::wstring(1019, L'z'))->size(), 1023u);
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

TEST(WindowsDirPrefix, IsTheDirectoryAndOneBackslash) {
    FakePlatform fake;
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"C:\\WINDOWS\\");
    fake.windowsDirectoryFails = true;
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"");
    fake.windowsDirectoryFails = false;
    fake.windowsDirectory = std::wstring(255, L'W');
    EXPECT_EQ(GetWindowsDirPrefix(fake), L"");
}

}  // namespace
}  // namespace mjr
