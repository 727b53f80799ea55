// The real platform, run under Windows (or Wine): text conversions in the system code
// page with a 16-bit wchar_t, the command-line and directory rules, files, the process
// calls on the test's own process, and what the doctor's --try asks of Windows.
#include "platform/win32_platform_win32.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <oleauto.h>
#include <taskschd.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <cwctype>

#include "app/single_instance.h"
#include "engine/cpu_list.h"
#include "engine/cpu_sets.h"
#include "platform/fake_platform.h"
#include "platform/fold_case.h"
#include "platform/list_folder.h"
#include "platform/read_whole_file.h"
#include "platform/task_scheduler_win32.h"
#include "platform/try_platform_win32.h"
#include "platform/unique_handle.h"
#include "profile/path_names.h"

namespace mjr {
namespace {

TEST(Win32Text, ConvertsThroughTheAnsiCodePage) {
    Win32Platform platform;
    EXPECT_EQ(platform.WideToAnsi(L"C:\\Apps\\tool.exe"), "C:\\Apps\\tool.exe");
    EXPECT_EQ(platform.AnsiToWide("C:\\Apps\\tool.exe"), L"C:\\Apps\\tool.exe");
    EXPECT_EQ(platform.AnsiToWide(""), L"");
    EXPECT_EQ(platform.AnsiToWide(std::string_view("a\0b", 3)), std::wstring(L"a\0b", 3));
    if (::GetACP() == 1252) {
        EXPECT_EQ(platform.AnsiToWide("Caf\xE9 \x80"), L"Caf\u00E9 \u20AC");
        EXPECT_EQ(platform.WideToAnsi(L"Caf\u00E9 \u20AC"), "Caf\xE9 \x80");
    }
    // A character outside the code page cannot come back as itself.
    EXPECT_NE(platform.AnsiToWide(platform.WideToAnsi(L"\u4E2D")), L"\u4E2D");
}

// The fold Windows compares file names by, every letter; the fake's table agrees with it.
TEST(Win32Text, FoldsPathsAsWindowsComparesFileNames) {
    Win32Platform platform;
    const std::wstring path = L"c:\\\u0438\u0433\u0440\u044B\\caf\u00E9 \u03B1\u1E9E.exe";
    const std::wstring folded = FoldPathCase(platform, path);
    EXPECT_EQ(folded, L"C:\\\u0418\u0413\u0420\u042B\\CAF\u00C9 \u0391\u1E9E.EXE");
    testing::FakePlatform fake;
    EXPECT_EQ(FoldPathCase(fake, path), folded);
    // A Turkish user's i (the test run of LC_ALL=tr_TR) still folds to I, as file names compare.
    if (const char* lang = std::getenv("LC_ALL"); lang && std::strncmp(lang, "tr", 2) == 0) {
        EXPECT_EQ(::GetUserDefaultLCID(), 0x041Fu);
    }
    ::SetThreadLocale(MAKELCID(0x041F, SORT_DEFAULT));
    EXPECT_EQ(FoldPathCase(platform, L"c:\\bin\\i.exe"), L"C:\\BIN\\I.EXE");
}

TEST(Win32CommandLine, ArgumentsFollowTheProgramName) {
    struct { const wchar_t* line; const wchar_t* args; } cases[] = {
        {L"MarrowbineJr.exe /My Favs 2 /exit", L"/My Favs 2 /exit"},
        {L"\"C:\\Program Files\\Jr\\MarrowbineJr.exe\" /enforce:30", L"/enforce:30"},
        {L"\"C:\\a b\\x.exe\"/exit", L"/exit"},
        {L"x.exe", L""},
        {L"x.exe   ", L""},
        {L"x.exe  \"quoted\"  tail ", L"\"quoted\"  tail "},
    };
    for (auto c : cases) EXPECT_EQ(ArgumentsAfterProgramName(c.line), c.args) << c.line;
}

TEST(Win32Directory, KeepsTheBackslashOnlyAtADriveRoot) {
    EXPECT_EQ(DirectoryOfModulePath(L"C:\\Apps\\Jr\\MarrowbineJr.exe"), L"C:\\Apps\\Jr");
    EXPECT_EQ(DirectoryOfModulePath(L"C:\\MarrowbineJr.exe"), L"C:\\");
    Win32Platform platform;
    std::wstring dir = platform.ProgramDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(::GetFileAttributesW(dir.c_str()) & FILE_ATTRIBUTE_DIRECTORY, DWORD{FILE_ATTRIBUTE_DIRECTORY});
}

TEST(Win32Files, ReadsWholeFilesAndReportsMissingOnes) {
    Win32Platform platform;
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    std::wstring path = std::wstring(temp) + L"mjr-read-test.txt";
    // Counted from the literal itself: a NUL inside must reach the file, and nothing past the end.
    static constexpr char kWritten[] = "Header\r\nx\t01\tHigh\tC:\\a.exe\r\n\0tail";
    const std::string bytes(kWritten, sizeof kWritten - 1);
    FILE* f = _wfopen(path.c_str(), L"wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    EXPECT_EQ(ReadWholeFile(platform, path), bytes);
    // What the doctor asks besides: the file's spelling on disk, and why a read fails.
    std::wstring shouted = path;
    for (wchar_t& c : shouted) c = static_cast<wchar_t>(std::towupper(c));
    EXPECT_EQ(platform.FindFirstFileName(shouted), L"mjr-read-test.txt");
    // The name Windows gives the file: its own spelling, behind "\\?\".
    const std::optional<std::wstring> final = FinalPathName(platform, shouted);
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ(final->rfind(L"\\\\?\\", 0), 0u) << *final;
    EXPECT_EQ(final->substr(final->size() - 17), L"mjr-read-test.txt");
    HANDLE locked = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(ReadWholeFile(platform, path).has_value());
    EXPECT_EQ(platform.GetLastError(), Dword{ERROR_SHARING_VIOLATION});
    ::CloseHandle(locked);
    ::DeleteFileW(path.c_str());
    EXPECT_FALSE(ReadWholeFile(platform, path).has_value());
    EXPECT_EQ(platform.GetLastError(), Dword{ERROR_FILE_NOT_FOUND});
    EXPECT_EQ(platform.GetFileAttributesW(path), kInvalidFileAttributes);
    EXPECT_FALSE(platform.FindFirstFileName(path).has_value());
    EXPECT_FALSE(FinalPathName(platform, path).has_value());
    EXPECT_FALSE(ReadWholeFile(platform, temp).has_value());  // a directory is no file
    EXPECT_NE(platform.GetFileAttributesW(temp) & kFileAttributeDirectory, 0u);
    EXPECT_EQ(platform.GetFullPathNameW(L"x.txt").substr(1, 2), L":\\");

    wchar_t self[MAX_PATH];
    ASSERT_NE(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    Dword type = 99;
    ASSERT_NE(platform.GetBinaryTypeW(self, &type), 0);
    EXPECT_EQ(type, sizeof(void*) == 8 ? kScs64BitBinary : Dword{SCS_32BIT_BINARY});
}

TEST(Win32Processes, TheOwnProcessCanBeListedResolvedAndAdjusted) {
    Win32Platform platform;
    const Dword self = platform.GetCurrentProcessId();
    std::vector<Dword> pids(4096);
    Dword bytes = 0;
    ASSERT_TRUE(platform.EnumProcesses(pids.data(), static_cast<Dword>(pids.size() * 4), &bytes));
    pids.resize(bytes / 4);
    EXPECT_NE(std::find(pids.begin(), pids.end(), self), pids.end());

    UniqueHandle process(platform, platform.OpenProcess(kProcessQueryLimitedInformation, 0, self));
    ASSERT_TRUE(process);
    wchar_t name[1024] = {};
    Dword length = 1024;
    ASSERT_TRUE(platform.QueryFullProcessImageNameW(process.get(), 0, name, &length));
    ASSERT_EQ(length, std::wcslen(name));
    wchar_t tiny[4] = {};
    Dword tinyLength = 4;
    EXPECT_FALSE(platform.QueryFullProcessImageNameW(process.get(), 0, tiny, &tinyLength));
    EXPECT_EQ(platform.GetLastError(), Dword{ERROR_INSUFFICIENT_BUFFER});
    EXPECT_EQ(tinyLength, 4u);
    wchar_t longName[1024] = {};
    EXPECT_GT(platform.GetLongPathNameW(name, longName, 1024), 0u);
    EXPECT_NE(std::wstring(longName).find(L"tests"), std::wstring::npos);
    const wchar_t root[] = {name[0], L':', L'\\', L'\0'};
    EXPECT_EQ(platform.GetDriveTypeW(root), Dword{DRIVE_FIXED});

    DwordPtr mask = 0, system = 0;
    ASSERT_TRUE(platform.GetProcessAffinityMask(process.get(), &mask, &system));
    EXPECT_NE(mask, 0u);
    UniqueHandle setter(platform, platform.OpenProcess(kProcessSetInformation | kProcessQueryLimitedInformation, 0, self));
    ASSERT_TRUE(setter);
    FileTime created[2], other;
    ASSERT_TRUE(platform.GetProcessTimes(process.get(), &created[0], &other, &other, &other));
    ASSERT_TRUE(platform.GetProcessTimes(setter.get(), &created[1], &other, &other, &other));
    EXPECT_NE(created[0].dwHighDateTime, 0u);
    EXPECT_EQ(created[0].dwLowDateTime, created[1].dwLowDateTime);
    EXPECT_EQ(created[0].dwHighDateTime, created[1].dwHighDateTime);
    EXPECT_EQ(platform.SetProcessAffinityMask(setter.get(), 1), 1);
    EXPECT_TRUE(platform.GetProcessAffinityMask(process.get(), &mask, &system));
    EXPECT_EQ(mask, 1u);
    const DwordPtr absent = ~system & (system + 1);  // the lowest processor this machine lacks
    if (absent != 0) {
        EXPECT_FALSE(platform.SetProcessAffinityMask(setter.get(), absent));
    }
    EXPECT_EQ(platform.SetProcessAffinityMask(setter.get(), system), 1);

    EXPECT_TRUE(platform.SetPriorityClass(setter.get(), 0x4000));
    EXPECT_EQ(platform.GetPriorityClass(process.get()), 0x4000u);
    EXPECT_FALSE(platform.SetPriorityClass(setter.get(), 0));
    EXPECT_TRUE(platform.SetPriorityClass(setter.get(), 0x20));

    // Default CPU sets read back (the count asked for when the buffer is short), as a settled
    // set must be; Wine lacks the read.
    const Dword firstSet = 0x100;
    if (platform.Kernel32Exports("GetProcessDefaultCpuSets") && platform.SetProcessDefaultCpuSets(setter.get(), &firstSet, 1)) {
        EXPECT_EQ(ReadDefaultCpuSets(platform, process.get()), std::vector<Dword>{firstSet});
        EXPECT_TRUE(platform.SetProcessDefaultCpuSets(setter.get(), nullptr, 0));
    }

    wchar_t windows[255] = {};
    EXPECT_GT(platform.GetWindowsDirectoryW(windows, 255), 0u);
    SystemInfo info;
    platform.GetSystemInfo(&info);
    EXPECT_GE(info.dwNumberOfProcessors, 1u);
    EXPECT_EQ(info.dwActiveProcessorMask, system);
}

TEST(Win32Processors, TheTopologyCallsAnswerInTheirDocumentedLayouts) {
    Win32Platform platform;
    SystemInfo info;
    platform.GetSystemInfo(&info);
    Dword needed = 0;
    // Windows 10 and Wine answer with one 32-byte record per processor; Windows 7 lacks the call.
    if (!platform.GetSystemCpuSetInformation(nullptr, 0, &needed, 0, 0) &&
        platform.GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
        EXPECT_EQ(needed, info.dwNumberOfProcessors * sizeof(SystemCpuSetInformation));
        std::vector<SystemCpuSetInformation> sets(needed / sizeof(SystemCpuSetInformation));
        ASSERT_TRUE(platform.GetSystemCpuSetInformation(sets.data(), needed, &needed, 0, 0));
        for (std::size_t k = 0; k < sets.size(); ++k) {
            EXPECT_EQ(sets[k].Size, sizeof(SystemCpuSetInformation));
            if (sets.size() <= 64) {
                EXPECT_EQ(sets[k].LogicalProcessorIndex, k);  // one group, in order
            }
        }
    } else {
        EXPECT_EQ(platform.GetLastError(), Dword{ERROR_PROC_NOT_FOUND});
    }
    // Records through the real call, as the topology reads them: only the relationship asked,
    // each of its stated size. Caches where the machine describes them (Wine reports none where
    // Linux shows none, and all alike otherwise); processor cores always.
    for (const Dword relationship : {kRelationCache, Dword{RelationProcessorCore}}) {
        needed = 0;
        std::vector<std::uint64_t> records;
        if (!platform.GetLogicalProcessorInformationEx(relationship, nullptr, &needed)) {
            ASSERT_EQ(platform.GetLastError(), Dword{ERROR_INSUFFICIENT_BUFFER});
            records.resize((needed + 7) / 8);
            ASSERT_TRUE(platform.GetLogicalProcessorInformationEx(relationship, records.data(), &needed));
        } else {
            EXPECT_EQ(needed, 0u);
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(records.data());
        std::size_t count = 0;
        for (std::size_t at = 0; at < needed; ++count) {
            SystemLogicalProcessorInformationEx record;
            std::memcpy(&record, bytes + at, std::min<std::size_t>(needed - at, sizeof record));
            EXPECT_EQ(record.Relationship, relationship);
            ASSERT_GE(record.Size, relationship == kRelationCache ? sizeof record : 8 + 24 + sizeof(GroupAffinity));
            ASSERT_LE(record.Size, needed - at);
            if (relationship == kRelationCache && record.Cache.Level == 3) {
                EXPECT_GT(record.Cache.CacheSize, 0u);
                EXPECT_EQ(record.Cache.GroupMask.Group, 0u);
                EXPECT_NE(record.Cache.GroupMask.Mask, 0u);
                EXPECT_EQ(record.Cache.GroupMask.Mask & ~info.dwActiveProcessorMask, 0u);
            }
            at += record.Size;
        }
        if (relationship == RelationProcessorCore) {
            EXPECT_GT(count, 0u);
        }
    }
    const CpuTopology topology = ReadCpuTopology(platform);
    EXPECT_EQ(topology.Processors, info.dwNumberOfProcessors);
    EXPECT_EQ(topology.AllMask, info.dwActiveProcessorMask);
    EXPECT_EQ(topology.Groups, 1u);
    EXPECT_EQ(CpuNameMask(L'P', topology) & ~topology.AllMask, 0u);
}

TEST(Win32Instance, ASecondStartSeesTheFirst) {
    Win32Platform platform;
    SingleInstance first(platform);
    SingleInstance second(platform);
    EXPECT_FALSE(first.AnotherInstanceRuns());
    EXPECT_TRUE(second.AnotherInstanceRuns());
    EXPECT_FALSE(first.AnotherInstanceRuns());  // asked once, answered the same way
}

TEST(Win32Files, APipeIsRefusedBeforeAByteIsReadAndAnEditorsOpenFileStillReads) {
    Win32Platform platform;
    const std::wstring pipeName = L"\\\\.\\pipe\\mjr-profile-" + std::to_wstring(::GetCurrentProcessId());
    HANDLE server = ::CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096,
                                       0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(ReadWholeFile(platform, pipeName).has_value());
    EXPECT_EQ(platform.GetLastError(), Dword{ERROR_BAD_FILE_TYPE});
    ::CloseHandle(server);
    EXPECT_FALSE(ReadWholeFile(platform, L"NUL").has_value());
    EXPECT_EQ(platform.GetLastError(), Dword{ERROR_BAD_FILE_TYPE});

    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring path = std::wstring(temp) + L"mjr-edited.txt";
    HANDLE editor = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0,
                                  nullptr);
    ASSERT_NE(editor, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(editor, "h\r\n", 3, &written, nullptr);
    EXPECT_EQ(ReadWholeFile(platform, path), std::string("h\r\n"));
    ::CloseHandle(editor);
    ::DeleteFileW(path.c_str());
}

bool RunsUnderWine() { return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

TEST(Win32Files, AListingHoldsNeitherTheFolderNorItsParent) {
    Win32Platform platform;
    wchar_t temp[MAX_PATH];
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const std::wstring folder = std::wstring(temp) + L"mjr-list-" + std::to_wstring(::GetCurrentProcessId());
    ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW((folder + L"\\Sub").c_str(), nullptr));
    ::CloseHandle(::CreateFileW((folder + L"\\a.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    std::vector<FolderEntry> entries;
    EXPECT_EQ(ListFolder(platform, folder, &entries), 0u);
    std::vector<std::wstring> names;
    for (const FolderEntry& entry : entries) names.push_back(entry.name + (entry.attributes & kFileAttributeDirectory ? L"\\" : L""));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"Sub\\", L"a.txt"}));
    // What the tests' model answers where there is no folder to list.
    EXPECT_EQ(ListFolder(platform, folder + L"\\Gone", &entries), kErrorPathNotFound);
    const Dword fileListed = ListFolder(platform, folder + L"\\a.txt", &entries);
    EXPECT_EQ(fileListed, RunsUnderWine() && fileListed == kErrorInvalidName ? fileListed : kErrorDirectory);  // Wine 8: 123
    ::DeleteFileW((folder + L"\\a.txt").c_str());
    ::RemoveDirectoryW((folder + L"\\Sub").c_str());
    ::RemoveDirectoryW(folder.c_str());
}

TEST(Win32Try, SystemMessagesEndWithoutTheFullStopTheReportAdds) {
    Win32TryPlatform trial;
    for (const Dword error : {kErrorFileNotFound, kErrorAccessDenied, kErrorInvalidParameter, kErrorPrivilegeNotHeld}) {
        const std::wstring message = trial.SystemMessage(error);
        ASSERT_FALSE(message.empty()) << error;
        EXPECT_EQ(std::wstring(L".\r\n ").find(message.back()), std::wstring::npos) << error;
    }
    EXPECT_EQ(trial.SystemMessage(0x2000FFFF), L"");  // a code of no system's table
}

// Wine starts the Task Scheduler in a new prefix only when asked; Windows always runs it.
bool TaskSchedulerRuns() {
    const SC_HANDLE manager = ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    const SC_HANDLE service = manager ? ::OpenServiceW(manager, L"Schedule", SERVICE_QUERY_STATUS | SERVICE_START) : nullptr;
    SERVICE_STATUS status{};
    for (int tries = 0; service && tries < 100 && ::QueryServiceStatus(service, &status) &&
                        status.dwCurrentState != SERVICE_RUNNING; ++tries) {
        if (status.dwCurrentState == SERVICE_STOPPED) ::StartServiceW(service, 0, nullptr);  // once "database locked"
        ::Sleep(200);
    }
    if (service) ::CloseServiceHandle(service);
    if (manager) ::CloseServiceHandle(manager);
    return status.dwCurrentState == SERVICE_RUNNING;
}

TEST(Win32Try, ALogonTaskOfTwoProgramsIsReadAsItsFirst) {
    ASSERT_TRUE(TaskSchedulerRuns());
    const std::wstring name = L"Marrowbine Jr test " + std::to_wstring(::GetCurrentProcessId());
    const ComText xml(LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Settings><Enabled>false</Enabled></Settings>
  <Actions>
    <Exec><Command>"C:\Jr\MarrowbineJr64.exe"</Command><Arguments>/enforce:30</Arguments></Exec>
    <Exec><Command>C:\Other\other.exe</Command></Exec>
  </Actions>
</Task>)");
    ScheduledTaskRecord record;
    ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    {
        ComPointer<ITaskService> service;
        ComPointer<ITaskFolder> root;
        ComPointer<IRegisteredTask> task;
        VARIANT none;
        ::VariantInit(&none);
        const ComText taskName(name);
        ASSERT_EQ(OpenTaskRoot(service, root), S_OK);
        ASSERT_EQ(root->RegisterTask(taskName.get(), xml.get(), TASK_CREATE_OR_UPDATE, none, none,
                                     TASK_LOGON_INTERACTIVE_TOKEN, none, task.out()), S_OK);
        EXPECT_EQ(Win32TryPlatform().ReadScheduledTask(name, &record), S_OK);
        root->DeleteTask(taskName.get(), 0);
    }
    ::CoUninitialize();
    EXPECT_FALSE(record.enabled);
    // Wine 8 reads a task's settings back, but neither its principal nor its actions (stubs).
    if (RunsUnderWine()) GTEST_SKIP() << "Wine's Task Scheduler gives no actions back; Windows shows them";
    EXPECT_EQ(record.path, L"\"C:\\Jr\\MarrowbineJr64.exe\"");
    EXPECT_EQ(record.arguments, L"/enforce:30");
    EXPECT_EQ(record.execActions, 2);
}

// The program --try sets things on lives in a job that ends it with its last handle: also when
// the doctor holding that handle is killed before the program ever runs.
TEST(Win32Try, ASuspendedChildInAKillOnCloseJobEndsWhenItsHolderIsKilled) {
    Win32Platform platform;
    Win32TryPlatform trial;
    wchar_t folder[MAX_PATH];
    const Dword length = trial.GetSystemDirectoryW(folder, MAX_PATH);
    ASSERT_TRUE(length > 0 && length < MAX_PATH);
    const std::wstring program = std::wstring(folder, length) + L"\\whoami.exe";
    const std::wstring line = L"\"" + program + L"\"";
    UniqueHandle job(platform, trial.CreateJobObjectW());
    ASSERT_TRUE(job && trial.SetJobKillOnClose(job.get()));
    ProcessInformation child, holder;
    ASSERT_TRUE(trial.CreateProcessW(program, line, kCreateSuspended | kCreateNoWindow, &child));
    const UniqueHandle childProcess(platform, child.hProcess), childThread(platform, child.hThread);
    ASSERT_TRUE(trial.AssignProcessToJobObject(job.get(), child.hProcess));
    ASSERT_TRUE(trial.CreateProcessW(program, line, kCreateSuspended | kCreateNoWindow, &holder));
    const UniqueHandle holderProcess(platform, holder.hProcess), holderThread(platform, holder.hThread);
    HANDLE held = nullptr;
    ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(job.get()),
                                  reinterpret_cast<HANDLE>(holder.hProcess), &held, 0, FALSE, DUPLICATE_SAME_ACCESS));
    job.reset();
    const HANDLE waited = reinterpret_cast<HANDLE>(child.hProcess);
    EXPECT_EQ(::WaitForSingleObject(waited, 300), Dword{WAIT_TIMEOUT});  // the holder keeps the job
    EXPECT_TRUE(trial.TerminateProcess(holder.hProcess, 1));
    EXPECT_EQ(::WaitForSingleObject(waited, 60000), Dword{WAIT_OBJECT_0});
    trial.TerminateProcess(child.hProcess, 1);  // should it still be there, the next runs do not wait on it
}

TEST(Win32Start, RestrictsTheDllSearchWhereWindowsCan) {
    // Wine and every supported Windows have the call; it must then succeed.
    EXPECT_TRUE(RestrictDllSearchToSystem32());
}

// The names a Path may begin with, from Windows itself: the identifiers are Windows' own, and
// %ProgramFiles% is the native folder in the 32-bit program too.
TEST(Win32Folders, EveryPathNameHasAFullPathFromWindows) {
    for (auto [ours, windows] : {std::pair{&kFolderIdLocalAppData, &FOLDERID_LocalAppData}, {&kFolderIdRoamingAppData, &FOLDERID_RoamingAppData},
                                 {&kFolderIdProfile, &FOLDERID_Profile}, {&kFolderIdProgramFilesX86, &FOLDERID_ProgramFilesX86},
                                 {&kFolderIdProgramData, &FOLDERID_ProgramData}, {&kFolderIdPublic, &FOLDERID_Public}})
        EXPECT_EQ(std::memcmp(ours, windows, sizeof(GUID)), 0) << ours->Data1;
    Win32Platform platform;
    const PathNames names = ReadPathNames(platform);
    for (std::size_t i = 0; i < kPathNameCount; ++i)
        EXPECT_EQ(ExpandPathName(L"%" + std::wstring(kPathNames[i]) + L"%\\x.exe", names).use, PathNameUse::Expanded) << i;
    EXPECT_EQ(names.values[kProgramFiles].find(L"(x86)"), std::wstring::npos);
    EXPECT_EQ(names.values[kLocalAppData].rfind(names.values[kUserProfile] + L"\\", 0), 0u);
}

}  // namespace
}  // namespace mjr
