#include <gtest/gtest.h>

#include "installer/helper_command_line.h"
#include "installer/install_folder_check.h"
#include "installer/logon_task.h"
#include "installer/logon_task_template.h"
#include "platform/fake_platform.h"

namespace mjr::installer {
namespace {

std::wstring Between(const std::wstring& xml, const std::wstring& open, const std::wstring& close) {
    const auto start = xml.find(open);
    if (start == std::wstring::npos) return L"<none>";
    const auto end = xml.find(close, start);
    return xml.substr(start + open.size(), end - start - open.size());
}

TEST(LogonTaskTest, FolderAndEnforceValuesGiveTheDefinitionOrARefusal) {
    struct Row {
        const wchar_t* installDir;
        const wchar_t* enforce;
        const wchar_t* command;    // nullptr: refused
        const wchar_t* arguments;  // <none>: no Arguments element
        int refusal = 0;           // the helper's exit code when refused
    };
    const Row rows[] = {
        {L"C:\\Program Files\\Marrowbine Jr\\", L"", L"\"C:\\Program Files\\Marrowbine Jr\\MarrowbineJr64.exe\"", L"<none>"},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"30", L"\"C:\\Program Files\\Marrowbine Jr\\MarrowbineJr64.exe\"",
         L"/enforce:30"},
        {L"C:\\Program Files\\R&D <Tools> 'x'", L"0007",
         L"\"C:\\Program Files\\R&amp;D &lt;Tools&gt; &apos;x&apos;\\MarrowbineJr64.exe\"", L"/enforce:0007"},
        {L"C:\\Program Files\\@ARGUMENTS@\\", L"5", L"\"C:\\Program Files\\@ARGUMENTS@\\MarrowbineJr64.exe\"",
         L"/enforce:5"},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"123456789", L"\"C:\\Program Files\\Marrowbine Jr\\MarrowbineJr64.exe\"",
         L"/enforce:123456789"},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"30 & calc", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"5\" /definition \"x", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"30s", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L" 30", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"-5", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"1234567890", nullptr, nullptr, 13},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"\x0663\x0660", nullptr, nullptr, 13},  // Arabic-Indic digits
        {L"", L"", nullptr, nullptr, 161},
        {L"C:\\Program Files\\a\" /x \"\\", L"", nullptr, nullptr, 161},
        {L"C:\\Program Files\\a\nb\\", L"", nullptr, nullptr, 161},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message() << "folder " << ::testing::PrintToString(std::wstring(row.installDir))
                                        << ", enforce " << ::testing::PrintToString(std::wstring(row.enforce)));
        const LogonTask task = FillLogonTask(kLogonTaskTemplate, row.installDir, row.enforce);
        if (row.command == nullptr) {
            EXPECT_FALSE(task.ok);
            EXPECT_TRUE(task.xml.empty());
            EXPECT_FALSE(task.error.empty());
            EXPECT_EQ(task.refusal, row.refusal);
            continue;
        }
        ASSERT_TRUE(task.ok) << ::testing::PrintToString(task.error);
        EXPECT_EQ(Between(task.xml, L"<Command>", L"</Command>"), row.command);
        EXPECT_EQ(Between(task.xml, L"<Arguments>", L"</Arguments>"), row.arguments);
        EXPECT_EQ(task.xml.find(L"@PROGRAM@"), std::wstring::npos);
        EXPECT_EQ(Between(task.xml, L"</Exec>", L"</Task>"), Between(kLogonTaskTemplate, L"</Exec>", L"</Task>"));
    }
}

TEST(LogonTaskTest, HelperCommandLinesAreOneVerbAndNothingElse) {
    using Args = std::vector<std::wstring>;
    EXPECT_EQ(ParseHelperCommandLine({L"/REGISTER"}), HelperVerb::Register);
    EXPECT_EQ(ParseHelperCommandLine({L"/start"}), HelperVerb::Start);
    EXPECT_EQ(ParseHelperCommandLine({L"/Remove"}), HelperVerb::Remove);
    for (const Args& refused : {Args{}, Args{L"/registerX"}, Args{L"/starter"}, Args{L"/remov"}, Args{L"register"},
                                Args{L"/register", L"C:\\P\\", L"30"}, Args{L"/remove", L"C:\\P\\"},
                                Args{L"/start", L"/start"}, Args{L"/definition"}})
        EXPECT_FALSE(ParseHelperCommandLine(refused)) << ::testing::PrintToString(refused);
}

TEST(LogonTaskTest, RunningCopiesAreTheInstalledProgramInAnyLetterCase) {
    testing::FakePlatform fake;
    struct Row {
        const wchar_t* image;
        const wchar_t* helper;
        bool installed;
    };
    const Row rows[] = {
        {L"C:\\PROGRAM FILES\\JR & CO\\MARROWBINEJR64.EXE", L"C:\\Program Files\\Jr & Co\\MarrowbineJrTask.exe", true},
        {L"C:\\Program Files\\\x0418\x0433\x0440\x044B\\MarrowbineJr64.exe",
         L"c:\\program files\\\x0438\x0433\x0440\x044B\\MarrowbineJrTask.exe", true},
        {L"C:\\Program Files\\Jr & Co\\MarrowbineJrCheck64.exe", L"C:\\Program Files\\Jr & Co\\MarrowbineJrTask.exe", false},
        {L"C:\\Program Files\\Jr & Co\\MarrowbineJr64.exe.bak", L"C:\\Program Files\\Jr & Co\\MarrowbineJrTask.exe", false},
        {L"C:\\Users\\me\\MarrowbineJr64.exe", L"C:\\Program Files\\Jr & Co\\MarrowbineJrTask.exe", false},
        {L"MarrowbineJr64.exe", L"MarrowbineJrTask.exe", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsInstalledProgram(fake, row.image, InstallDirOfHelper(row.helper)), row.installed)
            << ::testing::PrintToString(std::wstring(row.image));
    EXPECT_EQ(InstallDirOfHelper(L"C:\\Program Files\\Jr & Co\\MarrowbineJrTask.exe"), L"C:\\Program Files\\Jr & Co\\");
    EXPECT_TRUE(IsInstalledProgram(fake, L"C:\\P\\MarrowbineJr64.exe", L"C:\\p"));
}

TEST(LogonTaskTest, OnlyADescriptorOfAdministratorsAloneIsAccepted) {
    struct Row {
        const wchar_t* sddl;
        bool accepted;
    };
    const Row rows[] = {
        {L"O:SYG:SYD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FRFX;;;AU)", true},
        {L"O:S-1-5-32-544D:PAI(A;;0x1f01ff;;;S-1-5-18)(A;;0x1200a9;;;S-1-5-11)(A;;0X1200A9;;;AU)(A;;GXGR;;;WD)"
         L"(A;;;;;BU)S:(ML;;NW;;;LW)", true},
        {L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)", false},
        {L"O:SYD:P(A;;FA;;;SY)(A;;FRFW;;;AU)", false},
        {L"O:SYD:P(XA;;FA;;;WD;(Member_of {SID(BA)}))", false},
        {L"O:SYD:P(OA;;CC;;;WD)(A;;FA;;;SY)", true},
        {L"O:SYD:P(A;;FRZZ;;;AU)", false},
        {L"O:SYD:P(A;;0x12x;;;AU)", false},
        {L"O:SYD:P(D;;FA;;;WD)(A;;FA;;;SY)", true},
        {L"O:SYD:NO_ACCESS_CONTROL", false},
        {L"O:SYG:SY", false},
        {L"O:SYD:P(A;;FA)", false},
        {L"O:SYD:P(A;;FA;;;SY", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(OnlyAdministratorsMayChange(row.sddl), row.accepted) << ::testing::PrintToString(std::wstring(row.sddl));
    // Each right that lets a user change, delete or take the task, alone.
    for (const wchar_t* right : {L"DC", L"LC", L"RP", L"DT", L"CR", L"SD", L"WD", L"WO", L"AS", L"0x2000000", L"GA", L"GW"})
        EXPECT_FALSE(OnlyAdministratorsMayChange(std::wstring(L"O:SYD:(A;;") + right + L";;;AU)")) << right;
}

TEST(LogonTaskTest, TheTaskIsRegisteredOnlyForAFolderUsersCannotChange) {
    using testing::FakeAce;
    using testing::SecurityDescriptor;
    using Aces = std::vector<FakeAce>;
    constexpr char kAdmins[] = "S-1-5-32-544", kUsers[] = "S-1-5-32-545", kEveryone[] = "S-1-1-0",
                   kWineUser[] = "S-1-5-21-0-0-0-1000";
    const std::wstring dir = L"C:\\Program Files\\Vendor\\Jr";
    const Aces usersModify{{0, 0, 0x1F01FF, kAdmins}, {0, 0, 0x1301BF, kUsers}};
    const Aces wine{{0, 0, 0x1F01FF, "S-1-5-18"}, {0, 0, 0x1F01FF, kWineUser}, {0, 0, 0x1200A9, kEveryone}};
    struct Row {
        const char* what;
        std::wstring path;                  // whose descriptor, reparse point or failure the row sets
        std::optional<Aces> dacl;           // nothing: the path is a junction (or its read fails)
        const char* owner = "S-1-5-32-544";
        const char* helperAccount = "";
        int exitCode = 0;
        std::wstring failed = {};           // the path named; empty: `path`
    };
    const Row rows[] = {
        {"C:\\ as Windows has it: users add folders only", L"C:\\",
         Aces{{0, 0, 0x1F01FF, kAdmins}, {0, 0, 0x1200A9, kUsers}, {0, 0, 0x4, "S-1-5-11"},
              {0, 0x0B, 0x1301BF, "S-1-5-11"}}},
        {"the vendor's folder grants users Modify", L"C:\\Program Files\\Vendor", usersModify, kAdmins, "", 1338},
        {"a folder of a user's own", dir, Aces{{0, 0, 0x1F01FF, kAdmins}}, "S-1-5-21-1-2-3-1001", "", 1338},
        {"the profile may be written", dir + L"\\My Favs 1", usersModify, kAdmins, "", 1338},
        {"the doctor may be deleted", dir + L"\\MarrowbineJrCheck64.exe", Aces{{0, 0, 0x10000, kEveryone}}, kAdmins, "",
         1338},
        {"a main application users may replace", dir + L"\\Marrowbine64.exe", usersModify, kAdmins, "", 1338},
        {"a descriptor it cannot read", dir + L"\\MarrowbineJr64.exe", Aces{{0, 0, 0x1200A9, "S-1-5-1-2-3-4-5-6-7-8-9-10-11-12-13-14-15-16"}},
         kAdmins, "", 1338},
        {"a junction on the way", L"C:\\Program Files\\Vendor", std::nullopt, kAdmins, "", 4395},
        {"Wine: the one user owns everything", L"", std::nullopt, kWineUser, kWineUser, 0},
        {"Wine: without its account it is a user's", L"", std::nullopt, kWineUser, "", 1338, L"C:\\"},
        {"Wine: a folder Everyone may write", dir, Aces{{0, 0, 0x1301FF, kEveryone}}, kWineUser, kWineUser, 1338},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        testing::FakePlatform fake;
        for (const wchar_t* program : {L"MarrowbineJr64.exe", L"MarrowbineJrCheck64.exe", L"MarrowbineJrTask.exe",
                                       L"Marrowbine64.exe"})
            fake.programFiles[dir + L"\\" + program] = kScs64BitBinary;
        fake.files[dir + L"\\My Favs 1"] = "x";
        if (std::string(row.owner) == kWineUser) {
            for (const std::wstring& path : {std::wstring(L"C:\\"), std::wstring(L"C:\\Program Files"),
                                             std::wstring(L"C:\\Program Files\\Vendor"), dir, dir + L"\\My Favs 1"})
                fake.securityDescriptors[path] = SecurityDescriptor(kWineUser, wine);
        }
        if (row.dacl)
            fake.securityDescriptors[row.path] = SecurityDescriptor(row.owner, row.dacl);
        else if (!row.path.empty())
            fake.reparsePoints.insert(row.path);
        const FolderVerdict verdict = CheckInstallFolder(fake, dir + L"\\", row.helperAccount);
        EXPECT_EQ(verdict.exitCode, row.exitCode);
        if (row.exitCode != 0) {
            EXPECT_EQ(verdict.path, row.failed.empty() ? row.path : row.failed);
        }
    }

    // What is no drive path, or cannot be read, is refused; a missing file is as safe as its folder.
    testing::FakePlatform fake;
    fake.directories.insert(L"C:\\Program Files\\Jr");
    for (const wchar_t* bad : {L"", L"Program Files\\Jr\\", L"\\\\server\\share\\Jr\\", L"C:Jr\\",
                               L"C:\\Program Files\\\\Jr\\"})
        EXPECT_EQ(CheckInstallFolder(fake, bad, "").exitCode, 161) << ::testing::PrintToString(std::wstring(bad));
    fake.ClearRecord();
    EXPECT_EQ(CheckInstallFolder(fake, L"C:\\Program Files\\Jr", "").exitCode, 0);
    EXPECT_EQ(fake.CallsNamed("GetNamedSecurityInfoW"), 3u) << "root, two folders; no file exists";
    for (const wchar_t* drive : {L"Z:\\P\\Jr\\", L"z:\\P\\Jr\\", L"a:\\P\\Jr\\", L"A:\\P\\Jr\\"}) {
        fake.directories.insert(std::wstring(drive) + L"x");
        EXPECT_EQ(CheckInstallFolder(fake, drive, "").exitCode, 0) << ::testing::PrintToString(std::wstring(drive));
    }
    fake.failingCalls.insert("GetNamedSecurityInfoW");
    EXPECT_EQ(CheckInstallFolder(fake, L"C:\\Program Files\\Jr\\", "").exitCode, 5);
}

}  // namespace
}  // namespace mjr::installer
