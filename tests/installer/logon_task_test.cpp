#include <gtest/gtest.h>

#include "installer/helper_command_line.h"
#include "installer/logon_task.h"
#include "installer/logon_task_template.h"

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
    };
    const Row rows[] = {
        {L"C:\\Program Files\\Marrowbine Jr\\", L"", L"\"C:\\Program Files\\Marrowbine Jr\\MarrowbineJr64.exe\"", L"<none>"},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"30", L"\"C:\\Program Files\\Marrowbine Jr\\MarrowbineJr64.exe\"",
         L"/enforce:30"},
        {L"C:\\Program Files\\R&D <Tools> 'x'", L"0007",
         L"\"C:\\Program Files\\R&amp;D &lt;Tools&gt; &apos;x&apos;\\MarrowbineJr64.exe\"", L"/enforce:0007"},
        {L"C:\\Program Files\\@ARGUMENTS@\\", L"5", L"\"C:\\Program Files\\@ARGUMENTS@\\MarrowbineJr64.exe\"",
         L"/enforce:5"},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"30 & calc", nullptr, nullptr},
        {L"C:\\Program Files\\Marrowbine Jr\\", L" 30", nullptr, nullptr},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"-5", nullptr, nullptr},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"1234567890", nullptr, nullptr},
        {L"C:\\Program Files\\Marrowbine Jr\\", L"\x0663\x0660", nullptr, nullptr},  // Arabic-Indic digits
        {L"", L"", nullptr, nullptr},
        {L"C:\\Program Files\\a\" /x \"\\", L"", nullptr, nullptr},
        {L"C:\\Program Files\\a\nb\\", L"", nullptr, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "folder " << testing::PrintToString(std::wstring(row.installDir))
                                        << ", enforce " << testing::PrintToString(std::wstring(row.enforce)));
        const LogonTask task = FillLogonTask(kLogonTaskTemplate, row.installDir, row.enforce);
        if (row.command == nullptr) {
            EXPECT_FALSE(task.ok);
            EXPECT_TRUE(task.xml.empty());
            EXPECT_FALSE(task.error.empty());
            continue;
        }
        ASSERT_TRUE(task.ok) << testing::PrintToString(task.error);
        EXPECT_EQ(Between(task.xml, L"<Command>", L"</Command>"), row.command);
        EXPECT_EQ(Between(task.xml, L"<Arguments>", L"</Arguments>"), row.arguments);
        EXPECT_EQ(task.xml.find(L"@PROGRAM@"), std::wstring::npos);
        EXPECT_EQ(Between(task.xml, L"</Exec>", L"</Task>"), Between(kLogonTaskTemplate, L"</Exec>", L"</Task>"));
    }
}

TEST(LogonTaskTest, HelperCommandLinesTakeExactlyTheirArguments) {
    using Args = std::vector<std::wstring>;
    const auto reg = ParseHelperCommandLine({L"/REGISTER", L"C:\\P\\", L"", L"/definition", L"Z:\\t.xml"});
    EXPECT_TRUE(reg.ok && reg.command.verb == HelperVerb::Register && reg.command.installDir == L"C:\\P\\" &&
                reg.command.enforce.empty() && reg.command.definitionFile == L"Z:\\t.xml");
    EXPECT_EQ(ParseHelperCommandLine({L"/remove", L"C:\\P\\"}).command.verb, HelperVerb::Remove);
    EXPECT_TRUE(ParseHelperCommandLine({L"/start"}).ok);
    for (const Args& refused : {Args{}, Args{L"/register", L"C:\\P\\"}, Args{L"/register", L"C:\\P\\", L"30", L"/x", L"f"},
                                Args{L"/remove", L""}, Args{L"/start", L"now"}})
        EXPECT_FALSE(ParseHelperCommandLine(refused).ok) << testing::PrintToString(refused);
}

}  // namespace
}  // namespace mjr::installer
