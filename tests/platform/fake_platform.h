#pragma once
// A model of the Windows calls the program makes: a process table with access rules
// and failing calls, a token, files and texts, plus a record of every call and of every
// handle opened and closed.
//
// Where it fails a call, it answers as Windows documents that case:
// | call | case | answer | where Windows says so |
// |---|---|---|---|
// | GetFileAttributesW, CreateFileW, GetLongPathNameW, GetNamedSecurityInfoW, FindFirstFileExW | the last name is missing | ERROR_FILE_NOT_FOUND (2) | System Error Codes 0-499; STATUS_OBJECT_NAME_NOT_FOUND's Win32 error |
// | the same | a folder on the way is missing or is a file | ERROR_PATH_NOT_FOUND (3) | the same; STATUS_OBJECT_PATH_NOT_FOUND's Win32 error |
// | CreateFileW | a folder, without FILE_FLAG_BACKUP_SEMANTICS | ERROR_ACCESS_DENIED (5) | CreateFileW, "Directories" |
// | FindFirstFileExW("folder\*") | any folder but a drive's root | "." and ".." first | [MS-FSCC] 2.4.8: the list holds "." and ".." |
// | FindFirstFileExW("folder\*") | an empty drive's root; a file for the folder | ERROR_FILE_NOT_FOUND (2); ERROR_DIRECTORY (267) | FindFirstFileExW: no matching file |
// | FindNextFileW | after the last entry | FALSE, ERROR_NO_MORE_FILES (18) | FindNextFileW |
// | SetPriorityClass, SetProcessAffinityMask, SetProcessDefaultCpuSets, SetProcessInformation | the process's changes need a privilege (setsNeedPrivilege) the token does not hold enabled | FALSE, ERROR_PRIVILEGE_NOT_HELD (1314) | System Error Codes 1300-1699; STATUS_PRIVILEGE_NOT_HELD's Win32 error |
// | SetPriorityClass(REALTIME) | no SeIncreaseBasePriorityPrivilege | TRUE, and the class is High | Win32_Process.SetPriority: "the highest ... is High Priority" |
// | AdjustTokenPrivileges | a privilege the token does not hold | TRUE, ERROR_NOT_ALL_ASSIGNED (1300) | AdjustTokenPrivileges, return value |
// | GetTokenInformation | no TOKEN_QUERY; not a token; an unknown class; a short buffer | 5; ERROR_INVALID_HANDLE (6); ERROR_INVALID_PARAMETER (87); ERROR_INSUFFICIENT_BUFFER (122) with the size | GetTokenInformation |
// | OpenProcess | no such process; rights the process withholds | ERROR_INVALID_PARAMETER (87), STATUS_INVALID_CID's Win32 error; ERROR_ACCESS_DENIED (5) | OpenProcess, remarks |
// | ReadScheduledTask (ITaskFolder::GetTask) | no task of that name; the task's permissions shut the caller out | HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) 0x80070002; E_ACCESSDENIED 0x80070005 | [MS-TSCH] 3.2.5.4.3 SchRpcRetrieveTask |
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace mjr::testing {

struct FakeProcess {
    Dword pid = 0;
    std::string modulePath;       // what the module list claims (GetModuleFileNameExA, ANSI)
    std::wstring imagePath;       // the kernel's record (QueryFullProcessImageNameW)
    std::uint64_t creationTime = 0;  // set when added; a new process under an old identifier gets another
    std::uintptr_t parentPid = 0;    // what NtQueryInformationProcess reports as the parent
    bool parentReadFails = false;
    DwordPtr affinity = 0x3;
    Dword priority = 0x20;        // NORMAL_PRIORITY_CLASS
    Dword grantedAccess = 0xFFFFFFFF;  // an open succeeds only when every asked right is here
    bool exited = false;          // listed, but gone by the time it is opened
    bool moduleListingFails = false;
    bool fileNameFails = false;
    bool imageNameFails = false;
    bool getAffinityFails = false;
    bool setAffinityFails = false;
    WinBool setAffinityResult = 1;     // what a successful SetProcessAffinityMask returns
    bool getPriorityFails = false;
    bool setPriorityFails = false;
    std::vector<Dword> defaultCpuSets;  // CPU-set identifiers; empty: none
    Dword setsNeedPrivilege = 0;  // a privilege (LUID) Windows asks of whoever changes this process; 0: none
    ProcessPowerThrottlingState power;  // as SetProcessInformation left it
};

// An access-control entry: ACCESS_ALLOWED (0) or ACCESS_DENIED (1), its flags, rights and SID ("S-1-5-32-544").
// Object entries (types 5, 6, 11, 12) carry `guids` GUIDs (0 to 2) before the SID.
struct FakeAce { std::uint8_t type = 0, flags = 0; Dword mask = 0; std::string sid; Dword guids = 0; };
// A self-relative security descriptor: an owner and a DACL of these entries (none: a NULL DACL).
std::vector<std::uint8_t> SecurityDescriptor(const std::string& ownerSid, std::optional<std::vector<FakeAce>> dacl);

// HRESULT_FROM_WIN32: a Windows error as COM, the Task Scheduler's interfaces among it, reports it.
constexpr std::int32_t HresultFromWin32(Dword error) {
    return error == 0 ? 0 : static_cast<std::int32_t>((error & 0xFFFFu) | 0x80070000u);
}

class FakePlatform : public Platform, public TryPlatform {
public:
    FakePlatform();

    // --- the world ---
    std::deque<FakeProcess> processes;  // in listing order; references stay valid as it grows
    Dword currentProcessId = 4000;       // also listed when present in `processes`
    bool ownProcessOpenFails = false;
    Dword numberOfProcessors = 4;  // of the program's group, 64 at most
    // The topology the two topology calls report. Efficiency class of each processor of a
    // group (absent: 0, one kind); level-3 caches (absent: one over every processor).
    struct Cache {
        Dword bytes = 0;
        std::uint64_t mask = 0;
        std::uint16_t group = 0;
    };
    std::vector<std::uint8_t> efficiencyClasses;
    std::vector<Cache> level3Caches;
    Dword processorGroups = 1;
    bool cpuSetCallMissing = false;        // before Windows 10
    bool processorInfoCallMissing = false;  // before Windows 7
    bool oldCacheLayout = false;            // GroupCount 0, one mask, as before Windows 11
    std::optional<Dword> firstTopologyRecordSize;  // a broken answer: the Size both calls give their first record
    // CPU-set identifiers are 0x100 + 64 * group + index, as Wine numbers them.
    bool getCpuSetsCallMissing = false;     // Wine 8
    bool setCpuSetsCallMissing = false;     // before Windows 10
    bool getProcessInformationMissing = false;  // before Windows 8, and Wine 8
    bool powerReadRefused = false;          // before Windows 11 22H2
    bool timerResolutionRefused = false;    // before Windows 11
    Dword powerSetError = 0;                // every power set fails with it (Wine 8: ERROR_INVALID_FUNCTION)
    // Machines users have: 16 of one kind; 28 in two classes (8 performance cores of two
    // threads, then 12 efficiency cores); 32 on two dies, the first with the large cache;
    // 64 of one kind on eight dies; 128 in two groups of 64; two groups of the hybrid 28; and
    // 2 of one kind, as Wine's machine here.
    enum class Machine { OneKind16, Hybrid28, TwoDie32, OneKind64, TwoGroups128, HybridTwoGroups56, OneKind2 };
    void UseMachine(Machine machine);
    std::wstring windowsDirectory = L"C:\\WINDOWS";
    bool windowsDirectoryFails = false;
    bool enumProcessesFails = false;
    // Long forms of paths, looked up without a "\\?\" the call is given and returned with it:
    // absent means the path is its own long form; nullopt means the file does not exist.
    std::map<std::wstring, std::optional<std::wstring>> longPaths;
    bool longPathThrows = false;   // GetLongPathNameW raises a run-time error
    // GetDriveTypeW by root ("C:\\"); absent: a drive letter's root is fixed, anything else has no root.
    std::map<std::wstring, Dword> driveTypes;
    // The names Windows gives files (GetFinalPathNameByHandleW), by the path opened; absent: the program's own
    // spelling when it is in programFiles, else nothing.
    std::map<std::wstring, std::wstring> finalPaths;
    bool wideToAnsiThrows = false;  // so does the conversion to the ANSI code page
    bool openTokenFails = false;
    bool lookupPrivilegeFails = false;
    WinBool adjustTokenResult = 1;
    std::wstring programDirectory = L"C:\\Apps\\Marrowbine";
    std::wstring commandLine;
    std::map<std::wstring, std::string> files;  // full path -> bytes
    std::map<std::wstring, Dword> fileReadErrors;  // path -> why CreateFileW fails on it (locked...)
    std::map<std::wstring, std::int64_t> fileSizes;  // what GetFileSizeEx reports, where not the bytes held
    // Paths that open but are no disk file: a pipe's server or a device (FILE_TYPE_*).
    std::map<std::wstring, Dword> fileTypes;
    // Another program's open of a file: its access and share mode decide who else may open it.
    struct FileHolder {
        Dword access = 0;
        Dword shareMode = 0;
    };
    std::map<std::wstring, FileHolder> heldFiles;
    // Named objects: holders of each name (another program counts as one), and names this
    // process may not open (made by an elevated copy, or with a DACL that shuts it out).
    std::map<std::wstring, int> namedObjects;
    std::set<std::wstring> deniedObjects;       // by full name, or by the name asked in a private namespace
    bool elevated = false;                      // the own token's TokenElevation
    Dword sessionId = 1;
    bool privateNamespaceCallsMissing = false;  // Windows or Wine without them
    std::set<std::string> failingCalls;         // these calls fail with ERROR_ACCESS_DENIED
    // Folders: these, every folder above a file, program or folder named here, and a drive's root.
    std::set<std::wstring> directories;
    // Folders that are junctions or links, spelled exactly; a file named here too is a file's link.
    std::set<std::wstring> reparsePoints;
    // The clock: GetTickCount64 answers tickCount, then moves it on by tickStep.
    std::uint64_t tickCount = 0, tickStep = 0;
    // Descriptors of files and folders, and file-system flags of drives by root (absent: NTFS;
    // kInvalidFileAttributes: the call fails).
    std::map<std::wstring, std::vector<std::uint8_t>> securityDescriptors;
    std::map<std::wstring, Dword> volumeFlags;
    // Programs on disk, spelled as the file system spells them; found whatever the case asked.
    std::map<std::wstring, Dword> programFiles;  // full path -> SCS_* binary type
    Dword lastError = 0;
    std::wstring currentDirectory = L"C:\\Users\\me";
    std::map<std::wstring, std::wstring> environment = {{L"ProgramFiles", L"C:\\Program Files"},
                                                        {L"OneDrive", L"C:\\Users\\me\\OneDrive"}};
    bool recordCalls = true;                    // benchmarks switch the record off
    // The own token's privileges by LUID (20 debug, 14 raising scheduling priority) and their
    // attributes; the debug privilege's attributes are what AdjustTokenPrivileges left. Without
    // 14, Windows turns a set of Real into High.
    std::map<Dword, Dword> tokenPrivileges = {{20, 0}, {14, 0}};
    // --try: Windows' system folder, the programs it starts (from pid 5000 on), job objects.
    std::wstring systemDirectory = L"C:\\WINDOWS\\system32";
    Dword nextChildPid = 5000;
    std::set<std::string> missingCalls;         // these calls fail with ERROR_PROC_NOT_FOUND
    std::map<Dword, std::wstring> systemMessages = {
        {1, L"Incorrect function"}, {5, L"Access is denied"}, {87, L"The parameter is incorrect"},
        {1314, L"A required privilege is not held by the client"}};
    std::optional<ScheduledTaskRecord> scheduledTask;  // the logon task; absent: no such task
    Dword scheduledTaskReadError = 0;  // why the Task Scheduler will not give it (5: its permissions shut this user out)
    // The registry under HKLM, by path as the program spells it ("HKLM\\Software\\Marrowbine Jr"):
    // each key's values by name (type, bytes); a key made again is another key (its id). A 32-bit
    // process on 64-bit Windows (wow64) that opens HKLM\Software without KEY_WOW64_64KEY lands in
    // WOW6432Node. registryErrors: calls that fail with that result.
    using RegistryValue = std::pair<Dword, std::vector<std::uint8_t>>;
    struct RegistryKey { std::uint64_t id = 0; std::map<std::wstring, RegistryValue> values; };
    std::map<std::wstring, RegistryKey> registry{{L"HKLM\\Software", {1, {}}}, {L"HKLM\\Software\\WOW6432Node", {2, {}}}};
    bool wow64 = false;
    std::map<std::string, Lstatus> registryErrors;
    // Known folders by their identifier's Data1 (absent: the call fails), for the token's user;
    // and that user, NT AUTHORITY's subauthorities (S-1-5-21-...-1001 here, {18} for SYSTEM).
    std::map<Dword, std::wstring> knownFolders = {
        {kFolderIdLocalAppData.Data1, L"C:\\Users\\me\\AppData\\Local"}, {kFolderIdRoamingAppData.Data1, L"C:\\Users\\me\\AppData\\Roaming"},
        {kFolderIdProfile.Data1, L"C:\\Users\\me"}, {kFolderIdProgramFilesX86.Data1, L"C:\\Program Files (x86)"},
        {kFolderIdProgramData.Data1, L"C:\\ProgramData"}, {kFolderIdPublic.Data1, L"C:\\Users\\Public"}};
    std::vector<Dword> tokenUser = {21, 11, 22, 33, 1001};
    // Another process's change, with the notifications Windows gives: a value's to its key, a key
    // made or deleted to its parent, none to the deleted key. The key is made when absent; no value
    // deletes the named one, and with the name "*" the key.
    void ChangeRegistry(const std::wstring& key, const std::wstring& name, std::optional<RegistryValue> value);
    bool TakeSignal(Handle event);  // a wait on an auto-reset event: true, once, when it was signalled

    // A process whose module list and kernel record both name `path`.
    FakeProcess& AddProcess(Dword pid, std::string path);
    // The process that ends and the new one that takes its identifier (another creation time).
    void ReuseIdentifier(Dword pid, std::wstring newImagePath);
    FakeProcess* Find(Dword pid);

    // --- what happened ---
    std::vector<std::string> calls;  // e.g. "OpenProcess(0x410,0,1234)"
    std::function<void(const std::string&)> onCall;  // each recorded call, as it happens
    std::size_t enumProcessesCalls = 0;
    std::vector<Dword> enumBufferSizes;  // bytes offered to each EnumProcesses call
    std::size_t handlesOpened = 0;
    std::size_t handlesClosed = 0;
    std::size_t badCloses = 0;           // closes of a handle that is not open
    std::vector<Handle> closeOrder;
    std::size_t sleeps = 0;
    std::optional<TokenPrivileges> lastAdjustment;
    Dword lastAdjustBufferLength = 0;

    std::size_t OpenHandleCount() const { return handles_.size(); }
    std::size_t CallsNamed(const std::string& prefix) const;
    void ClearRecord();

    // --- Platform ---
    WinBool EnumProcesses(Dword* processIds, Dword bufferBytes, Dword* bytesReturned) override;
    WinBool EnumProcessModules(Handle process, Handle* modules, Dword bufferBytes, Dword* bytesNeeded) override;
    Dword GetModuleFileNameExA(Handle process, Handle module, char* buffer, Dword size) override;
    Handle OpenProcess(Dword desiredAccess, WinBool inheritHandle, Dword processId) override;
    WinBool CloseHandle(Handle object) override;
    Dword GetCurrentProcessId() override;
    void GetSystemInfo(SystemInfo* info) override;
    WinBool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* buffer, Dword* size) override;
    WinBool GetProcessTimes(Handle process, FileTime* creationTime, FileTime* exitTime, FileTime* kernelTime,
                            FileTime* userTime) override;
    std::int32_t NtQueryInformationProcess(Handle process, Dword processInformationClass, void* processInformation,
                                           Dword processInformationLength, Dword* returnLength) override;
    Dword GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) override;
    Dword GetDriveTypeW(const wchar_t* rootPathName) override;
    Dword GetWindowsDirectoryW(wchar_t* buffer, Dword size) override;
    WinBool GetProcessAffinityMask(Handle process, DwordPtr* processMask, DwordPtr* systemMask) override;
    WinBool SetProcessAffinityMask(Handle process, DwordPtr mask) override;
    WinBool GetSystemCpuSetInformation(void* information, Dword bufferLength, Dword* returnedLength,
                                       Handle process, Dword flags) override;
    WinBool GetLogicalProcessorInformationEx(Dword relationshipType, void* buffer, Dword* returnedLength) override;
    WinBool GetProcessDefaultCpuSets(Handle process, Dword* cpuSetIds, Dword cpuSetIdCount,
                                     Dword* requiredIdCount) override;
    WinBool SetProcessDefaultCpuSets(Handle process, const Dword* cpuSetIds, Dword cpuSetIdCount) override;
    WinBool GetProcessInformation(Handle process, Dword processInformationClass, void* processInformation,
                                  Dword processInformationSize) override;
    WinBool SetProcessInformation(Handle process, Dword processInformationClass, const void* processInformation,
                                  Dword processInformationSize) override;
    bool Kernel32Exports(const char* name) override;
    Dword GetPriorityClass(Handle process) override;
    WinBool SetPriorityClass(Handle process, Dword priorityClass) override;
    void Sleep(Dword milliseconds) override;
    WinBool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) override;
    WinBool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) override;
    WinBool AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges, const TokenPrivileges* newState,
                                  Dword bufferLength, TokenPrivileges* previousState, Dword* returnLength) override;
    std::string WideToAnsi(std::wstring_view text) override;
    std::wstring AnsiToWide(std::string_view text) override;
    // Upper case by a table of Latin-1, Latin Extended-A, Greek and Cyrillic (Windows maps
    // more); not recorded, as every path lookup folds.
    int LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount, wchar_t* destination,
                     int destinationCount) override;
    std::wstring ProgramDirectory() override;
    std::wstring CommandLineArgs() override;
    Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                       Dword creationDisposition, Dword flagsAndAttributes) override;
    Dword GetFileType(Handle file) override;
    WinBool GetFileSizeEx(Handle file, std::int64_t* fileSize) override;
    WinBool ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) override;
    void SetLastError(Dword errorCode) override;
    Handle CreateMutexW(const std::wstring& name) override;
    WinBool GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                Dword tokenInformationLength, Dword* returnLength) override;
    WinBool ProcessIdToSessionId(Dword processId, Dword* sessionId) override;
    WinBool CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) override;
    Handle CreateBoundaryDescriptorW(const std::wstring& name, Dword flags) override;
    WinBool AddSIDToBoundaryDescriptor(Handle* boundaryDescriptor, const void* requiredSid) override;
    WinBool AddIntegrityLabelToBoundaryDescriptor(Handle* boundaryDescriptor, const void* integrityLabel) override;
    void DeleteBoundaryDescriptor(Handle boundaryDescriptor) override;
    Handle CreatePrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) override;
    Handle OpenPrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) override;
    WinBool ClosePrivateNamespace(Handle namespaceHandle, Dword flags) override;
    Dword GetLastError() override;
    std::wstring GetFullPathNameW(const std::wstring& path) override;
    Dword GetFileAttributesW(const std::wstring& path) override;
    WinBool GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) override;
    std::optional<std::wstring> FindFirstFileName(const std::wstring& path) override;
    Dword GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) override;
    std::wstring ExpandEnvironmentStringsW(const std::wstring& text) override;
    Dword GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                std::vector<std::uint8_t>* selfRelativeDescriptor) override;
    WinBool GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) override;
    Handle FindFirstFileExW(const std::wstring& fileName, FindData* found) override;
    WinBool FindNextFileW(Handle search, FindData* found) override;
    WinBool FindClose(Handle search) override;
    std::uint64_t GetTickCount64() override;
    Lstatus RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) override;
    Lstatus RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) override;
    Lstatus RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data,
                             Dword* dataSize) override;
    Lstatus RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data,
                           Dword dataSize) override;
    Lstatus RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                    WinBool asynchronous) override;
    Lstatus RegCloseKey(Handle key) override;
    Handle CreateEventW(WinBool manualReset, WinBool initialState) override;
    std::int32_t SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) override;

    // --- TryPlatform ---
    Dword GetSystemDirectoryW(wchar_t* buffer, Dword size) override;
    WinBool CreateProcessW(const std::wstring& applicationName, const std::wstring& commandLine, Dword creationFlags,
                           ProcessInformation* information) override;
    WinBool TerminateProcess(Handle process, Dword exitCode) override;
    Handle CreateJobObjectW() override;
    WinBool SetJobKillOnClose(Handle job) override;
    WinBool AssignProcessToJobObject(Handle job, Handle process) override;
    std::wstring SystemMessage(Dword error) override;
    std::int32_t ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) override;

private:
    struct HandleInfo {
        enum Kind { Process, Token, File, Mutex, Boundary, Namespace, Thread, Job, Search, RegKey, Event } kind = Process;
        Dword pid = 0;
        Dword access = 0;
        std::uint64_t creationTime = 0;  // which process under that identifier the handle holds
        std::wstring name;       // file path, object name, boundary or namespace identity
        Dword fileType = 0;
        std::size_t offset = 0;  // the file's read position; a search's next entry
        std::wstring alias;      // a namespace's alias prefix
        bool killOnClose = false;     // a job's limit
        std::vector<Dword> members;   // a job's processes
        std::vector<FindData> listing;  // a search's entries
        Dword notifyFilter = 0;       // a key's armed notification, and its event
        Handle notifyEvent = 0;
        bool signalled = false;       // an event's state
    };
    static HandleInfo MakeInfo(HandleInfo::Kind kind, Dword pid, Dword access, std::wstring name = {},
                               Dword fileType = 0);
    bool Fails(const std::string& call);
    int Failed(Dword error);  // a failed call's answer: its last error set, 0 returned
    bool LacksPrivilegeFor(const FakeProcess& process);  // sets ERROR_PRIVILEGE_NOT_HELD when so
    Dword AttributesOf(const std::wstring& path) const;   // GetFileAttributesW's answer, unrecorded
    Dword NotFoundError(const std::wstring& path) const;  // why a missing path is missing
    bool IsMissing(const std::string& call);
    Handle OpenNamespace(Handle boundary, const std::wstring& aliasPrefix, bool create);
    const HandleInfo* Lookup(Handle h, HandleInfo::Kind kind) const;
    FakeProcess* ProcessFor(Handle h, Dword neededAccess);
    void Record(std::string call);
    Handle NewHandle(HandleInfo info);
    DwordPtr SystemMask() const;

    std::map<Handle, HandleInfo> handles_;
    std::map<std::wstring, int> namespaces_;  // boundary identity -> open handles
    RegistryKey* RegistryCall(const char* name, Handle key, Dword access, Lstatus& status);
    void NotifyRegistry(const std::wstring& path, Dword change);
    std::uint64_t nextKeyId_ = 3;
    Handle nextHandle_ = 0x100;
    std::uint64_t nextCreationTime_ = 0x01D0000000000000;
    std::size_t findFrom_ = 0;
    Dword privilegeAttributes_ = 0;  // the debug privilege's state in the token
};

}  // namespace mjr::testing
