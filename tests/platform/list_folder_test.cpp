// A folder's listing over the raw search calls, as the fake answers them the way Windows does.
#include "platform/list_folder.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

TEST(ListFolder, NamesWhatAFolderHoldsAndNeverItselfOrItsParent) {
    struct Row {
        const wchar_t* folder;
        const char* failingCall;
        Dword error;
        std::vector<std::wstring> names;  // with a "\" after each folder
    };
    const Row rows[] = {
        {L"C:\\Games", nullptr, 0, {L"Old\\", L"Sub\\", L"a.exe"}},
        {L"C:\\Games\\", nullptr, 0, {L"Old\\", L"Sub\\", L"a.exe"}},
        {L"C:\\Games\\Sub", nullptr, 0, {}},
        {L"E:\\", nullptr, 0, {}},  // an empty drive's root lists not even "."
        {L"C:\\Gone", nullptr, kErrorPathNotFound, {L"kept"}},
        {L"C:\\Gone\\Deeper", nullptr, kErrorPathNotFound, {L"kept"}},
        {L"C:\\Games\\a.exe", nullptr, kErrorDirectory, {L"kept"}},
        {L"C:\\Games", "FindFirstFileExW", kErrorAccessDenied, {L"kept"}},
        {L"C:\\Games", "FindNextFileW", kErrorAccessDenied, {L"kept"}},
    };
    for (const Row& row : rows) {
        testing::FakePlatform fake;
        fake.directories = {L"C:\\Games\\Sub", L"C:\\Games\\Old"};
        fake.files[L"C:\\Games\\a.exe"] = "MZ";
        if (row.failingCall) fake.failingCalls.insert(row.failingCall);
        std::vector<FolderEntry> entries{{L"kept", 0}};
        EXPECT_EQ(ListFolder(fake, row.folder, &entries), row.error) << row.folder;
        std::vector<std::wstring> names;
        for (const FolderEntry& entry : entries)
            names.push_back(entry.name + (entry.attributes & kFileAttributeDirectory ? L"\\" : L""));
        EXPECT_EQ(names, row.names) << row.folder;
        EXPECT_EQ(fake.OpenHandleCount(), 0u) << row.folder;
        EXPECT_EQ(fake.badCloses, 0u) << row.folder;
    }
}

}  // namespace
}  // namespace mjr
