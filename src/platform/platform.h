#pragma once
// The one layer between the program's logic and Windows. Each member is a
// Windows call with its Windows semantics: handles are opaque values where
// only 0 is invalid, results come back exactly as the call returns them, and
// out-parameters are left untouched when a call fails.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mjr {

using Dword = std::uint32_t;
using WinBool = std::int32_t;  // Win32 BOOL: 0 is failure, anything else success
using Handle = std::uintptr_t; // HANDLE / HMODULE; 0 is "no handle"
// DWORD_PTR / KAFFINITY: an affinity mask, 64 processors wide in the 64-bit program and 32
// in the 32-bit one, as Windows has them.
using DwordPtr = std::uintptr_t;

// Access rights the program asks for (winnt.h values).
inline constexpr Dword kProcessAllAccessLegacy = 0x1F0FFF;  // PROCESS_ALL_ACCESS before Vista
inline constexpr Dword kProcessQueryInformation = 0x400;
inline constexpr Dword kProcessVmRead = 0x10;
inline constexpr Dword kProcessSetInformation = 0x200;
inline constexpr Dword kProcessQueryLimitedInformation = 0x1000;
inline constexpr Dword kProcessSetLimitedInformation = 0x2000;  // what CPU sets need (Windows 10)
inline constexpr Dword kTokenAdjustPrivileges = 0x20;
inline constexpr Dword kTokenQuery = 0x08;
inline constexpr Dword kSePrivilegeEnabled = 2;

// File attributes, error codes and binary types the profile doctor reads (winbase.h,
// winerror.h values).
inline constexpr Dword kInvalidFileAttributes = 0xFFFFFFFF;
inline constexpr Dword kFileAttributeDirectory = 0x10;
inline constexpr Dword kFileAttributeReparsePoint = 0x400;  // a junction, a symbolic link, a mount point
inline constexpr Dword kErrorFileNotFound = 2;
inline constexpr Dword kErrorPathNotFound = 3;
inline constexpr Dword kErrorAccessDenied = 5;
inline constexpr Dword kErrorSharingViolation = 32;
inline constexpr Dword kErrorLockViolation = 33;
inline constexpr Dword kErrorFileTooLarge = 223;
inline constexpr Dword kErrorNotReady = 21;
inline constexpr Dword kErrorBadNetPath = 53;
inline constexpr Dword kErrorBadNetName = 67;
inline constexpr Dword kErrorInvalidName = 123;
inline constexpr Dword kErrorFilenameTooLong = 206;
inline constexpr Dword kScs64BitBinary = 6;
inline constexpr Dword kErrorInsufficientBuffer = 122;
inline constexpr Dword kErrorProcNotFound = 127;
inline constexpr Dword kErrorAlreadyExists = 183;
inline constexpr Dword kErrorBadFileType = 222;
inline constexpr Dword kErrorInvalidFunction = 1;
inline constexpr Dword kErrorInvalidParameter = 87;
inline constexpr Dword kErrorNoMoreFiles = 18;
inline constexpr Dword kErrorDirectory = 267;  // a name that is no folder where a folder must be

// Power throttling (EcoQoS), PROCESS_POWER_THROTTLING_STATE as Windows lays it out; MinGW-w64
// 10's headers lack it.
inline constexpr Dword kProcessPowerThrottling = 4;  // PROCESS_INFORMATION_CLASS
inline constexpr Dword kPowerThrottlingCurrentVersion = 1;
inline constexpr Dword kPowerThrottlingExecutionSpeed = 0x1;
inline constexpr Dword kPowerThrottlingIgnoreTimerResolution = 0x4;
struct ProcessPowerThrottlingState {
    Dword Version = kPowerThrottlingCurrentVersion;
    Dword ControlMask = 0;  // the bits Windows is told about
    Dword StateMask = 0;    // of those, the ones switched on
};
static_assert(sizeof(ProcessPowerThrottlingState) == 12);

// PROCESS_BASIC_INFORMATION as NtQueryInformationProcess fills it for the program's own
// bitness: the 32-bit program gets the 32-bit record, its pointer-sized fields 4 bytes wide.
inline constexpr Dword kProcessBasicInformation = 0;  // PROCESSINFOCLASS
struct ProcessBasicInformation {
    std::int32_t ExitStatus = 0;  // NTSTATUS
    std::uintptr_t PebBaseAddress = 0;
    DwordPtr AffinityMask = 0;
    std::int32_t BasePriority = 0;  // KPRIORITY
    std::uintptr_t UniqueProcessId = 0;
    std::uintptr_t InheritedFromUniqueProcessId = 0;  // the parent's identifier, pointer-sized
};
static_assert(sizeof(ProcessBasicInformation) == 6 * sizeof(void*));

// Security descriptors (winnt.h values).
inline constexpr Dword kOwnerSecurityInformation = 0x1;
inline constexpr Dword kDaclSecurityInformation = 0x4;
inline constexpr Dword kFilePersistentAcls = 0x8;

// GetDriveTypeW results (winbase.h values).
inline constexpr Dword kDriveUnknown = 0;
inline constexpr Dword kDriveNoRootDir = 1;
inline constexpr Dword kDriveRemovable = 2;
inline constexpr Dword kDriveFixed = 3;
inline constexpr Dword kDriveRemote = 4;
inline constexpr Dword kDriveCdrom = 5;
inline constexpr Dword kDriveRamdisk = 6;

// LCMapStringW: the invariant locale's upper-case mapping, the one Windows compares file
// names by (winnls.h values).
inline constexpr Dword kLocaleInvariant = 0x7F;
inline constexpr Dword kLcmapUppercase = 0x200;

// FILETIME: 100-ns intervals since 1601, as two halves.
struct FileTime {
    Dword dwLowDateTime = 0;
    Dword dwHighDateTime = 0;
};

// Opening the profile (winnt.h, winbase.h values). CreateFileW fails with
// INVALID_HANDLE_VALUE, not 0.
inline constexpr Handle kInvalidHandleValue = ~Handle{0};
inline constexpr Dword kGenericRead = 0x80000000;
inline constexpr Dword kFileShareRead = 0x1;
inline constexpr Dword kFileShareWrite = 0x2;
inline constexpr Dword kOpenExisting = 3;
inline constexpr Dword kFileFlagSequentialScan = 0x08000000;
inline constexpr Dword kSecuritySqosPresent = 0x00100000;
inline constexpr Dword kSecurityIdentification = 0x00010000;
inline constexpr Dword kFileShareDelete = 0x4;
inline constexpr Dword kFileFlagBackupSemantics = 0x02000000;
inline constexpr Dword kFileNameNormalizedDos = 0;  // FILE_NAME_NORMALIZED | VOLUME_NAME_DOS
inline constexpr Dword kFileTypeUnknown = 0;
inline constexpr Dword kFileTypeDisk = 1;
inline constexpr Dword kFileTypeChar = 2;
inline constexpr Dword kFileTypePipe = 3;

// The single-instance objects: token elevation, well-known SIDs, boundary descriptors.
inline constexpr Dword kTokenElevationClass = 20;  // TOKEN_INFORMATION_CLASS TokenElevation
inline constexpr Dword kWinBuiltinAdministratorsSid = 26;
inline constexpr Dword kWinHighLabelSid = 68;
inline constexpr Dword kSecurityMaxSidSize = 68;

struct Luid {
    Dword LowPart = 0;
    std::int32_t HighPart = 0;
};

struct LuidAndAttributes {
    ::mjr::Luid Luid;  // qualified: the field keeps the Windows name
    Dword Attributes = 0;
};

// TOKEN_PRIVILEGES with room for exactly one entry: 16 bytes, as Windows lays it out.
struct TokenPrivileges {
    Dword PrivilegeCount = 0;
    LuidAndAttributes Privileges[1];
};
static_assert(sizeof(TokenPrivileges) == 16);

// The part of SYSTEM_INFO the program reads.
struct SystemInfo {
    Dword dwNumberOfProcessors = 0;
    DwordPtr dwActiveProcessorMask = 0;
};

// The processor topology records, as Windows lays them out (MinGW-w64 10's headers lack
// SYSTEM_CPU_SET_INFORMATION and the CACHE_RELATIONSHIP with GroupCount).
inline constexpr Dword kCpuSetInformation = 0;   // CPU_SET_INFORMATION_TYPE
inline constexpr Dword kRelationCache = 2;       // LOGICAL_PROCESSOR_RELATIONSHIP

struct SystemCpuSetInformation {
    Dword Size = 0;  // of this record; the next one follows it
    Dword Type = 0;
    Dword Id = 0;
    std::uint16_t Group = 0;
    std::uint8_t LogicalProcessorIndex = 0;  // within the group
    std::uint8_t CoreIndex = 0;
    std::uint8_t LastLevelCacheIndex = 0;
    std::uint8_t NumaNodeIndex = 0;
    std::uint8_t EfficiencyClass = 0;  // higher is faster; all 0 on a machine of one kind
    std::uint8_t AllFlags = 0;
    Dword Reserved = 0;
    std::uint64_t AllocationTag = 0;
};
static_assert(sizeof(SystemCpuSetInformation) == 32);

struct GroupAffinity {
    DwordPtr Mask = 0;
    std::uint16_t Group = 0;
    std::uint16_t Reserved[3] = {};
};

struct CacheRelationship {
    std::uint8_t Level = 0;
    std::uint8_t Associativity = 0;
    std::uint16_t LineSize = 0;
    Dword CacheSize = 0;  // bytes
    Dword Type = 0;
    std::uint8_t Reserved[18] = {};
    std::uint16_t GroupCount = 0;  // 0 before Windows 10 21H2-era builds: one mask
    GroupAffinity GroupMask;       // GroupCount masks in all
};
static_assert(sizeof(GroupAffinity) == sizeof(DwordPtr) + 8);
static_assert(offsetof(CacheRelationship, GroupCount) == 30);
static_assert(offsetof(CacheRelationship, GroupMask) == 32);

// SYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX as RelationCache fills it.
struct SystemLogicalProcessorInformationEx {
    Dword Relationship = 0;
    Dword Size = 0;  // of this record; the next one follows it
    CacheRelationship Cache;
};
static_assert(offsetof(SystemLogicalProcessorInformationEx, Cache) == 8);

// The reset request: the registry (winreg.h, winnt.h, winerror.h values). HKEY_LOCAL_MACHINE is
// the LONG 0x80000002 made a handle, so sign-extended in the 64-bit program.
using Lstatus = std::int32_t;  // a registry call's result: 0 (ERROR_SUCCESS) or its error code
inline constexpr Handle kHkeyLocalMachine = static_cast<Handle>(static_cast<std::intptr_t>(std::int32_t{-0x7FFFFFFE}));
inline constexpr Dword kKeyQueryValue = 0x1;
inline constexpr Dword kKeySetValue = 0x2;
inline constexpr Dword kKeyNotify = 0x10;
inline constexpr Dword kKeyWow64_64Key = 0x100;  // the native view, also from the 32-bit program
inline constexpr Dword kRegDword = 4;
inline constexpr Dword kRegQword = 11;
inline constexpr Dword kRegNotifyChangeName = 0x1;     // a subkey added or deleted
inline constexpr Dword kRegNotifyChangeLastSet = 0x4;  // a value set or deleted
inline constexpr Lstatus kErrorMoreData = 234;
inline constexpr Lstatus kErrorKeyDeleted = 1018;

// Folders that follow the user and the PC: known-folder identifiers (KNOWNFOLDERID, as
// knownfolders.h has them), SHGetKnownFolderPath's flag that spares a check of the disk (a
// redirected folder may sit on a share), and the token's user (TOKEN_USER: a SID_AND_ATTRIBUTES
// whose SID pointer points into the same buffer).
struct Guid {
    Dword Data1 = 0;
    std::uint16_t Data2 = 0, Data3 = 0;
    std::uint8_t Data4[8] = {};
};
inline constexpr Guid kFolderIdLocalAppData{0xF1B32785, 0x6FBA, 0x4FCF, {0x9D, 0x55, 0x7B, 0x8E, 0x7F, 0x15, 0x70, 0x91}};
inline constexpr Guid kFolderIdRoamingAppData{0x3EB685DB, 0x65F9, 0x4CF6, {0xA0, 0x3A, 0xE3, 0xEF, 0x65, 0x72, 0x9F, 0x3D}};
inline constexpr Guid kFolderIdProfile{0x5E6C858F, 0x0E22, 0x4760, {0x9A, 0xFE, 0xEA, 0x33, 0x17, 0xB6, 0x71, 0x73}};
inline constexpr Guid kFolderIdProgramFilesX86{0x7C5A40EF, 0xA0FB, 0x4BFC, {0x87, 0x4A, 0xC0, 0xF2, 0xE0, 0xB9, 0xFA, 0x8E}};
inline constexpr Guid kFolderIdProgramData{0x62AB5D82, 0xFDC1, 0x4DC3, {0xA9, 0xDD, 0x07, 0x0D, 0x1D, 0x49, 0x5D, 0x97}};
inline constexpr Guid kFolderIdPublic{0xDFDF76A2, 0xC82A, 0x4D63, {0x90, 0x6A, 0x56, 0x44, 0xAC, 0x45, 0x73, 0x85}};
inline constexpr Dword kKfFlagDontVerify = 0x4000;
inline constexpr Dword kTokenUserClass = 1;  // TOKEN_INFORMATION_CLASS TokenUser
inline constexpr Dword kRegSz = 1;
// Waits (winbase.h): the reset watch's message loop.
inline constexpr Dword kSynchronize = 0x00100000;
inline constexpr Dword kInfinite = 0xFFFFFFFF;
inline constexpr Dword kWaitObject0 = 0;

// What the doctor's --try mode needs besides the calls above: a suspended program of
// Windows' own in a job object, error texts and the logon task. Kept apart from Platform so
// the resident program carries none of it.
inline constexpr Dword kCreateSuspended = 0x4;
inline constexpr Dword kCreateNoWindow = 0x08000000;
inline constexpr Dword kTokenPrivilegesClass = 3;  // TOKEN_INFORMATION_CLASS TokenPrivileges
inline constexpr Dword kPrivateNamespaceFlagDestroy = 1;
inline constexpr Dword kErrorNotSupported = 50;
inline constexpr Dword kErrorCallNotImplemented = 120;
inline constexpr Dword kErrorPrivilegeNotHeld = 1314;

struct ProcessInformation {
    Handle hProcess = 0;
    Handle hThread = 0;
    Dword dwProcessId = 0;
    Dword dwThreadId = 0;
};

// What the Task Scheduler says of a registered task, as its COM interface gives it.
struct ScheduledTaskRecord {
    std::wstring userId;     // IPrincipal::UserId; empty when the task names a group
    std::wstring groupId;    // IPrincipal::GroupId
    int runLevel = 0;        // TASK_RUNLEVEL: 0 least privilege, 1 highest
    int logonType = 0;       // TASK_LOGON_TYPE
    std::wstring path;       // the first action's IExecAction::Path, as stored (quotes and all)
    std::wstring arguments;  // its Arguments
    int execActions = 0;     // how many actions start a program
    std::wstring descriptor; // IRegisteredTask::GetSecurityDescriptor (owner, group, DACL) as SDDL
    std::int32_t lastResult = 0;  // IRegisteredTask::LastTaskResult
    bool enabled = false;
};

class TryPlatform {
public:
    virtual ~TryPlatform() = default;
    // GetSystemDirectoryW: the characters written without the NUL, the size needed with it
    // when the buffer is too small, 0 on failure.
    virtual Dword GetSystemDirectoryW(wchar_t* buffer, Dword size) = 0;
    // CreateProcessW(applicationName, commandLine, no security, handles not inherited, flags,
    // the caller's environment and folder, an empty STARTUPINFOW).
    virtual WinBool CreateProcessW(const std::wstring& applicationName, const std::wstring& commandLine,
                                   Dword creationFlags, ProcessInformation* information) = 0;
    virtual WinBool TerminateProcess(Handle process, Dword exitCode) = 0;
    // CreateJobObjectW(NULL, NULL): an unnamed job, closed with CloseHandle.
    virtual Handle CreateJobObjectW() = 0;
    // SetInformationJobObject(JobObjectExtendedLimitInformation) with only
    // JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: closing the job's last handle ends its processes.
    virtual WinBool SetJobKillOnClose(Handle job) = 0;
    virtual WinBool AssignProcessToJobObject(Handle job, Handle process) = 0;
    // FormatMessageW from the system's table, in US English where Windows has it, else in the
    // user's language, without its line end and final period; empty when Windows has no text.
    virtual std::wstring SystemMessage(Dword error) = 0;
    // The root folder's task of that name, read through ITaskService: S_OK, or the HRESULT of
    // the step that failed (HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when there is no such
    // task). The record is untouched on failure.
    virtual std::int32_t ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) = 0;
};

class Platform {
public:
    virtual ~Platform() = default;

    // psapi
    virtual WinBool EnumProcesses(Dword* processIds, Dword bufferBytes, Dword* bytesReturned) = 0;
    // The module list lives in the process's own memory and says whatever the process
    // writes there: never a process's identity (that is QueryFullProcessImageNameW's).
    virtual WinBool EnumProcessModules(Handle process, Handle* modules, Dword bufferBytes,
                                       Dword* bytesNeeded) = 0;
    virtual Dword GetModuleFileNameExA(Handle process, Handle module, char* buffer, Dword size) = 0;

    // kernel32
    virtual Handle OpenProcess(Dword desiredAccess, WinBool inheritHandle, Dword processId) = 0;
    virtual WinBool CloseHandle(Handle object) = 0;
    virtual Dword GetCurrentProcessId() = 0;
    virtual void GetSystemInfo(SystemInfo* info) = 0;
    // The kernel's record of the process's image file, which the process cannot rewrite.
    // size: in, the buffer's characters; out, the characters written without the NUL.
    virtual WinBool QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* buffer, Dword* size) = 0;
    virtual WinBool GetProcessTimes(Handle process, FileTime* creationTime, FileTime* exitTime,
                                    FileTime* kernelTime, FileTime* userTime) = 0;
    virtual Dword GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) = 0;
    virtual Dword GetDriveTypeW(const wchar_t* rootPathName) = 0;
    virtual Dword GetWindowsDirectoryW(wchar_t* buffer, Dword size) = 0;
    virtual WinBool GetProcessAffinityMask(Handle process, DwordPtr* processMask, DwordPtr* systemMask) = 0;
    virtual WinBool SetProcessAffinityMask(Handle process, DwordPtr mask) = 0;
    virtual Dword GetPriorityClass(Handle process) = 0;
    virtual WinBool SetPriorityClass(Handle process, Dword priorityClass) = 0;
    virtual void Sleep(Dword milliseconds) = 0;

    // ntdll NtQueryInformationProcess: an NTSTATUS, 0 on success and negative on failure.
    virtual std::int32_t NtQueryInformationProcess(Handle process, Dword processInformationClass,
                                                   void* processInformation, Dword processInformationLength,
                                                   Dword* returnLength) = 0;

    // kernel32, processor topology; looked up at run time, so a system without them gives
    // FALSE with ERROR_PROC_NOT_FOUND. Both report the bytes they need in returnedLength
    // (FALSE, ERROR_INSUFFICIENT_BUFFER) when the buffer is too small. Records are of
    // varying size: each one's Size says where the next begins.
    virtual WinBool GetSystemCpuSetInformation(void* information, Dword bufferLength, Dword* returnedLength,
                                               Handle process, Dword flags) = 0;
    // returnedLength: in, the buffer's bytes; out, the bytes written or needed.
    virtual WinBool GetLogicalProcessorInformationEx(Dword relationshipType, void* buffer,
                                                     Dword* returnedLength) = 0;

    // kernel32, a process's CPU sets and power state (Windows 10 and 11); looked up at run time
    // like the topology calls: FALSE with ERROR_PROC_NOT_FOUND where Windows lacks them.
    // requiredIdCount: the identifiers the process has (FALSE, ERROR_INSUFFICIENT_BUFFER when
    // more than cpuSetIdCount); 0 with TRUE when it has no default CPU sets.
    virtual WinBool GetProcessDefaultCpuSets(Handle process, Dword* cpuSetIds, Dword cpuSetIdCount,
                                             Dword* requiredIdCount) = 0;
    virtual WinBool SetProcessDefaultCpuSets(Handle process, const Dword* cpuSetIds, Dword cpuSetIdCount) = 0;
    virtual WinBool GetProcessInformation(Handle process, Dword processInformationClass, void* processInformation,
                                          Dword processInformationSize) = 0;
    virtual WinBool SetProcessInformation(Handle process, Dword processInformationClass,
                                          const void* processInformation, Dword processInformationSize) = 0;
    // GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name) != NULL: whether Windows has a call.
    virtual bool Kernel32Exports(const char* name) = 0;

    // advapi32
    virtual WinBool OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) = 0;
    virtual WinBool LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) = 0;
    virtual WinBool AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                          const TokenPrivileges* newState, Dword bufferLength,
                                          TokenPrivileges* previousState, Dword* returnLength) = 0;

    // Texts are wide inside the program and ANSI (the system code page) at the calls above.
    virtual std::string WideToAnsi(std::wstring_view text) = 0;
    virtual std::wstring AnsiToWide(std::string_view text) = 0;
    // kernel32 LCMapStringW: the characters written (or, with destinationCount 0, needed),
    // 0 on failure. A count of -1 reads the source up to its NUL.
    virtual int LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount,
                             wchar_t* destination, int destinationCount) = 0;

    // What the runtime provides: the directory holding the executable (ending in "\" only
    // at a drive root) and the text after the program's name on its command line.
    virtual std::wstring ProgramDirectory() = 0;
    virtual std::wstring CommandLineArgs() = 0;

    // kernel32, reading a file. CreateFileW with no security attributes and no template.
    virtual Handle CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                               Dword creationDisposition, Dword flagsAndAttributes) = 0;
    virtual Dword GetFileType(Handle file) = 0;
    virtual WinBool GetFileSizeEx(Handle file, std::int64_t* fileSize) = 0;
    // Synchronous: no OVERLAPPED.
    virtual WinBool ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) = 0;
    virtual void SetLastError(Dword errorCode) = 0;

    // The single-instance objects. CreateMutexW with default security, not owned.
    virtual Handle CreateMutexW(const std::wstring& name) = 0;
    virtual WinBool GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                        Dword tokenInformationLength, Dword* returnLength) = 0;
    virtual WinBool ProcessIdToSessionId(Dword processId, Dword* sessionId) = 0;
    // advapi32, with no domain SID.
    virtual WinBool CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) = 0;
    // Private namespaces (Vista and later; the integrity label Windows 7 and later). Where
    // Windows lacks a call it fails with ERROR_PROC_NOT_FOUND. A boundary descriptor is
    // freed by DeleteBoundaryDescriptor, a namespace closed by ClosePrivateNamespace; neither
    // by CloseHandle. Namespaces are created with default security.
    virtual Handle CreateBoundaryDescriptorW(const std::wstring& name, Dword flags) = 0;
    virtual WinBool AddSIDToBoundaryDescriptor(Handle* boundaryDescriptor, const void* requiredSid) = 0;
    virtual WinBool AddIntegrityLabelToBoundaryDescriptor(Handle* boundaryDescriptor, const void* integrityLabel) = 0;
    virtual void DeleteBoundaryDescriptor(Handle boundaryDescriptor) = 0;
    virtual Handle CreatePrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) = 0;
    virtual Handle OpenPrivateNamespaceW(Handle boundaryDescriptor, const std::wstring& aliasPrefix) = 0;
    virtual WinBool ClosePrivateNamespace(Handle namespaceHandle, Dword flags) = 0;

    // kernel32, files: what the profile doctor looks at besides the profile's bytes.
    // The calling thread's last error code.
    virtual Dword GetLastError() = 0;
    // GetFullPathNameW: a path made full against the current directory; the path itself
    // when the call fails.
    virtual std::wstring GetFullPathNameW(const std::wstring& path) = 0;
    // INVALID_FILE_ATTRIBUTES (and a last error) when the path cannot be examined.
    virtual Dword GetFileAttributesW(const std::wstring& path) = 0;
    // 0 for a file that is no program; otherwise the SCS_* kind in binaryType.
    virtual WinBool GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) = 0;
    // FindFirstFileW, then FindClose: the name of the first directory entry that matches the
    // path, as the file system spells it; nothing when none does.
    virtual std::optional<std::wstring> FindFirstFileName(const std::wstring& path) = 0;
    // The name Windows gives an open file, as the call returns it: the characters written
    // without the NUL, or the size needed with it when the buffer is too small; 0 on failure.
    virtual Dword GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) = 0;

    // advapi32 GetNamedSecurityInfoW on a file or folder (SE_FILE_OBJECT) for the parts in
    // securityInformation, the descriptor copied out in self-relative form and freed. Returns
    // the call's error code (0 on success); the descriptor is untouched on failure.
    virtual Dword GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                        std::vector<std::uint8_t>* selfRelativeDescriptor) = 0;
    // GetVolumeInformationW asking only the file system's flags (FILE_PERSISTENT_ACLS...).
    virtual WinBool GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) = 0;

    // FindFirstFileExW(fileName, FindExInfoBasic, FindExSearchNameMatch, no filter, no flags),
    // then FindNextFileW: each entry's name and the attributes its folder lists for it (a link's
    // own, never its target's). A folder's listing holds "." and ".." first, but at a drive's root.
    // FindFirstFileExW gives INVALID_HANDLE_VALUE when it fails (ERROR_FILE_NOT_FOUND: nothing
    // matches), FindNextFileW FALSE with ERROR_NO_MORE_FILES after the last entry; FindClose,
    // never CloseHandle, ends the search.
    struct FindData {
        Dword attributes = 0;
        std::wstring name;
    };
    virtual Handle FindFirstFileExW(const std::wstring& fileName, FindData* found) = 0;
    virtual WinBool FindNextFileW(Handle search, FindData* found) = 0;
    virtual WinBool FindClose(Handle search) = 0;
    // GetTickCount64: milliseconds since Windows started.
    virtual std::uint64_t GetTickCount64() = 0;

    // advapi32, the registry: each returns the call's result. Keys are opened and created with
    // no options, no class and no security attributes (a new key inherits its parent's
    // rights), no disposition asked, and closed by RegCloseKey, never CloseHandle.
    virtual Lstatus RegOpenKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) = 0;
    virtual Lstatus RegCreateKeyExW(Handle key, const std::wstring& subKey, Dword samDesired, Handle* result) = 0;
    // dataSize: in, the buffer's bytes; out, the value's (with ERROR_MORE_DATA when it does not fit).
    virtual Lstatus RegQueryValueExW(Handle key, const std::wstring& valueName, Dword* type, void* data,
                                     Dword* dataSize) = 0;
    virtual Lstatus RegSetValueExW(Handle key, const std::wstring& valueName, Dword type, const void* data,
                                   Dword dataSize) = 0;
    // With asynchronous TRUE: returns at once, and the event is signalled at the first change
    // the filter names after the call, or when the key is closed. Once: then it must be called again.
    virtual Lstatus RegNotifyChangeKeyValue(Handle key, WinBool watchSubtree, Dword notifyFilter, Handle event,
                                            WinBool asynchronous) = 0;
    virtual Lstatus RegCloseKey(Handle key) = 0;
    // kernel32 CreateEventW: unnamed, default security, closed by CloseHandle; 0 on failure.
    virtual Handle CreateEventW(WinBool manualReset, WinBool initialState) = 0;

    // shell32 SHGetKnownFolderPath: S_OK (0) with the folder's path, or the call's HRESULT with
    // the path untouched. A token of 0 asks for the user the calling thread runs as.
    virtual std::int32_t SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) = 0;

    // ExpandEnvironmentStringsW, for the profile doctor: each %NAME% of a set variable
    // replaced; the text unchanged when the call fails.
    virtual std::wstring ExpandEnvironmentStringsW(const std::wstring& text) = 0;
};

}  // namespace mjr
