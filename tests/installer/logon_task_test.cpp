#include <gtest/gtest.h>

#include "installer/helper_command_line.h"
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

}  // namespace
}  // namespace mjr::installer
