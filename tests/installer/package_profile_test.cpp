// The profile the package installs from PROFILE: the paths it may come from, the bytes it must
// hold, how they reach the deferred copy, and the reset request an install raises.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "example_profiles.h"
#include "installer/logon_task.h"
#include "installer/package_profile.h"
#include "platform/fake_platform.h"

namespace mjr::installer {
namespace {

TEST(PackageProfile, PathsAreDriveOrSharePathsToAFileAndNothingElse) {
    struct Row {
        std::wstring path;
        const wchar_t* refusal;  // a part of the reason; nullptr: accepted
    };
    const Row rows[] = {
        {L"C:\\Deploy\\My Favs 1", nullptr},
        {L"z:/Deploy/office.txt", nullptr},
        {L"\\\\srv-01.corp.example\\Deploy$\\Jr\\My Favs 1", nullptr},
        {L"\\\\10.0.0.5\\c$\\office", nullptr},
        {L"\\\\?\\C:\\Deploy\\office", L"a device or a path of the kernel"},
        {L"//./pipe/office", L"a device or a path of the kernel"},
        {L"\\\\server\\PIPE\\office", L"a pipe or a mailslot"},
        {L"\\\\server\\mailslot\\office", L"a pipe or a mailslot"},
        {L"\\\\host@SSL\\Deploy\\office", L"WebDAV or port form"},
        {L"\\\\host@8080\\Deploy\\office", L"WebDAV or port form"},
        {L"\\\\host\\davwwwroot\\office", L"WebDAV or port form"},
        {L"C:\\Deploy\\COM1", L"a device (CON, NUL"},
        {L"C:\\Deploy\\nul.txt", L"a device (CON, NUL"},
        {L"C:\\Deploy\\COM10", nullptr},
        {L"C:\\Deploy\\..\\office", L"not open as written"},
        {L"C:\\Deploy.\\office", L"not open as written"},
        {L"C:\\Deploy\\office ", L"not open as written"},
        {L"C:\\Deploy\\office:stream", L"not open as written"},
        {L"C:\\Deploy\\off*ce", L"not open as written"},
        {L"C:\\Deploy\\\\office", L"not open as written"},
        {L"C:\\Deploy\\of\x0001" L"fice", L"not open as written"},
        {L"C:\\Deploy\\", L"names a folder"},
        {L"\\\\server\\Deploy\\", L"names a folder"},
        {L"C:\\", L"names a folder"},
        {L"\\\\server\\Deploy", L"no full path"},
        {L"\\\\ser ver\\Deploy\\office", L"no full path"},
        {L"\\\\server!\\Deploy\\office", L"no full path"},
        {L"\\\\...\\Deploy\\office", L"no full path"},
        {L"\\\\\\Deploy\\office", L"no full path"},
        {L"Deploy\\office", L"no full path"},
        {L"C:office", L"no full path"},
        {L"1:\\office", L"no full path"},
        {L"", L"no full path"},
        {L"C:\\" + std::wstring(32765, L'a'), L"longer than any path"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.path.substr(0, 60)));
        const std::wstring refusal = RefusedProfilePath(row.path);
        if (row.refusal == nullptr) {
            EXPECT_EQ(refusal, L"");
        } else {
            EXPECT_NE(refusal.find(row.refusal), std::wstring::npos) << ::testing::PrintToString(refusal);
        }
    }
    EXPECT_EQ(RefusedProfilePath(L"C:\\" + std::wstring(32764, L'a')), L"");
}

TEST(PackageProfile, ProfilesAreReadOnceCheckedAndHandedOnWhole) {
    const std::string favourite = "Office\r\nchat\t0\tHigh\tC:\\Office\\chat.exe\r\n";
    std::string largest = favourite + ";" + std::string(kMostPackageProfileBytes - favourite.size() - 1, 'x');
    struct Row {
        const char* what;
        std::string bytes;
        Dword readError = 0;   // CreateFileW fails with it
        Dword fileType = 0;    // what the opened object is (0: a disk file)
        const wchar_t* refusal;  // nullptr: installed
        std::size_t favorites = 0;
    };
    const Row rows[] = {
        {"the shipped hybrid example", examples::kMyFavsHybrid, 0, 0, nullptr, 5},
        {"exactly 1 MiB", largest, 0, 0, nullptr, 1},
        {"one byte more", largest + "x", 0, 0, L"more than 1 MiB"},
        {"empty", "", 0, 0, L"the file is empty"},
        {"a header only", "Office\r\n", 0, 0, L"a header line and no favourite"},
        {"a line of two fields", "Office\r\nchat\tHigh\r\n", 0, 0, L"too few fields"},
        {"a pipe's server", favourite, 0, kFileTypePipe, L"no file on a disk"},
        {"a share the computer may not read", favourite, kErrorAccessDenied, 0, L"let Domain Computers read it"},
        {"no such file", favourite, kErrorFileNotFound, 0, L"there is no such file"},
        {"no such server", favourite, kErrorBadNetPath, 0, L"cannot be reached"},
        {"a lock", favourite, kErrorLockViolation, 0, L"Windows error 33"},
    };
    const std::wstring path = L"\\\\server\\Deploy\\My Favs 1";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testing::FakePlatform fake;
        fake.files[path] = row.bytes;
        if (row.readError) fake.fileReadErrors[path] = row.readError;
        if (row.fileType) fake.fileTypes[path] = row.fileType;
        const PackageProfile profile = ReadPackageProfile(fake, path);
        EXPECT_EQ(fake.OpenHandleCount(), 0u);
        if (row.refusal == nullptr) {
            ASSERT_TRUE(profile.bytes) << ::testing::PrintToString(profile.refusal);
            EXPECT_EQ(*profile.bytes, row.bytes);
            EXPECT_EQ(profile.favorites, row.favorites);
            // What reaches SYSTEM is the folder and exactly these bytes.
            const auto handed = ReadCopyProfileData(CopyProfileData(L"C:\\Program Files\\Jr\\", *profile.bytes));
            ASSERT_TRUE(handed);
            EXPECT_EQ(handed->installDir, L"C:\\Program Files\\Jr\\");
            EXPECT_EQ(handed->bytes, row.bytes);
        } else {
            EXPECT_FALSE(profile.bytes);
            EXPECT_EQ(profile.refusal.rfind(L"PROFILE \"" + path + L"\"", 0), 0u) << ::testing::PrintToString(profile.refusal);
            EXPECT_NE(profile.refusal.find(row.refusal), std::wstring::npos) << ::testing::PrintToString(profile.refusal);
        }
    }
    // A refused path is never opened.
    testing::FakePlatform fake;
    EXPECT_FALSE(ReadPackageProfile(fake, L"\\\\server\\pipe\\office").bytes);
    EXPECT_EQ(fake.CallsNamed("CreateFileW"), 0u);
}

TEST(PackageProfile, TheCopysDataIsAFolderABarAndHexadecimalBytes) {
    EXPECT_EQ(CopyProfileData(L"C:\\J\\", std::string("\x00\x7F\x80\xFF", 4)), L"C:\\J\\|007f80ff");
    for (const wchar_t* broken : {L"C:\\J\\", L"|0a", L"C:\\J\\|0", L"C:\\J\\|0g", L"C:\\J\\|0A", L"C:\\J\\|g0"})
        EXPECT_FALSE(ReadCopyProfileData(broken)) << ::testing::PrintToString(std::wstring(broken));
}

TEST(PackageProfile, EachInstallRaisesTheResetRequestAndNeverRepeatsOne) {
    constexpr std::uint64_t kNow = 133'000'000'000'000'000;
    EXPECT_EQ(NextResetRequest(std::nullopt, kNow), kNow);
    EXPECT_EQ(NextResetRequest(7, kNow), kNow);
    EXPECT_EQ(NextResetRequest(kNow - 1, kNow), kNow);
    EXPECT_EQ(NextResetRequest(kNow, kNow), kNow + 1);
    EXPECT_EQ(NextResetRequest(kNow + 5, kNow), kNow + 6);
    EXPECT_EQ(NextResetRequest(std::numeric_limits<std::uint64_t>::max(), kNow), kNow);
}

}  // namespace
}  // namespace mjr::installer
