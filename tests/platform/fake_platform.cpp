// The platform fake's core: its handles and record of calls, the process table and what
// opens, names, starts and ends a process.
#include <algorithm>
#include <cstring>
#include <string>

#include "platform/fake_platform.h"
#include "platform/fake_platform_internal.h"

namespace mjr::testing {
namespace {

// Like Windows: each full right implies its limited one.
Dword WithImplied(Dword access) {
    if (access & kProcessQueryInformation) access |= kProcessQueryLimitedInformation;
    if (access & kProcessSetInformation) access |= kProcessSetLimitedInformation;
    return access;
}

}  // namespace

FakePlatform::FakePlatform() = default;

FakePlatform::HandleInfo FakePlatform::MakeInfo(HandleInfo::Kind kind, Dword pid, Dword access, std::wstring name,
                                                Dword fileType) {
    HandleInfo info;
    info.kind = kind;
    info.pid = pid;
    info.access = access;
    info.name = std::move(name);
    info.fileType = fileType;
    return info;
}

FakeProcess& FakePlatform::AddProcess(Dword pid, std::string path) {
    FakeProcess p;
    p.pid = pid;
    for (char c : path) p.imagePath.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    p.modulePath = std::move(path);
    p.creationTime = ++nextCreationTime_;
    processes.push_back(std::move(p));
    return processes.back();
}

void FakePlatform::ReuseIdentifier(Dword pid, std::wstring newImagePath) {
    FakeProcess* p = Find(pid);
    p->imagePath = std::move(newImagePath);
    p->modulePath = WideToAnsi(p->imagePath);
    p->creationTime = ++nextCreationTime_;
}

FakeProcess* FakePlatform::Find(Dword pid) {
    // A pass asks in listing order: start where the last look-up ended, so the benchmark
    // measures the pass, not this search.
    const std::size_t count = processes.size();
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t i = (findFrom_ + k) % count;
        if (processes[i].pid == pid) {
            findFrom_ = i;
            return &processes[i];
        }
    }
    return nullptr;
}

std::size_t FakePlatform::CallsNamed(const std::string& prefix) const {
    return static_cast<std::size_t>(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) {
        return c.compare(0, prefix.size(), prefix) == 0;
    }));
}

void FakePlatform::ClearRecord() {
    calls.clear();
    enumProcessesCalls = 0;
    enumBufferSizes.clear();
    closeOrder.clear();
    sleeps = 0;
}

void FakePlatform::Record(std::string call) {
    if (onCall) onCall(call);
    calls.push_back(std::move(call));
}

Handle FakePlatform::NewHandle(HandleInfo info) {
    Handle h = nextHandle_;
    nextHandle_ += 4;
    handles_[h] = info;
    ++handlesOpened;
    return h;
}

const FakePlatform::HandleInfo* FakePlatform::Lookup(Handle h, HandleInfo::Kind kind) const {
    auto it = handles_.find(h);
    if (it == handles_.end() || it->second.kind != kind) return nullptr;
    return &it->second;
}

FakeProcess* FakePlatform::ProcessFor(Handle h, Dword neededAccess) {
    const HandleInfo* info = Lookup(h, HandleInfo::Process);
    if (!info || (info->access & neededAccess) != neededAccess) return nullptr;
    FakeProcess* p = Find(info->pid);
    // A handle holds the process it was opened on, not whichever one has its identifier now.
    return (p && !p->exited && p->creationTime == info->creationTime) ? p : nullptr;
}

WinBool FakePlatform::EnumProcesses(Dword* processIds, Dword bufferBytes, Dword* bytesReturned) {
    ++enumProcessesCalls;
    if (recordCalls) enumBufferSizes.push_back(bufferBytes);
    if (recordCalls) Record("EnumProcesses(" + std::to_string(bufferBytes) + ")");
    if (enumProcessesFails) return 0;
    std::size_t fit = std::min<std::size_t>(processes.size(), bufferBytes / 4);
    for (std::size_t i = 0; i < fit; ++i) processIds[i] = processes[i].pid;
    *bytesReturned = static_cast<Dword>(fit * 4);
    return 1;
}

WinBool FakePlatform::EnumProcessModules(Handle process, Handle* modules, Dword bufferBytes, Dword* bytesNeeded) {
    if (recordCalls) Record("EnumProcessModules(" + std::to_string(bufferBytes) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryInformation | kProcessVmRead);
    if (!p || p->moduleListingFails) return 0;
    if (bufferBytes >= sizeof(Handle)) *modules = 0x400000;  // the executable's module comes first
    *bytesNeeded = static_cast<Dword>(sizeof(Handle));
    return 1;
}

Dword FakePlatform::GetModuleFileNameExA(Handle process, Handle module, char* buffer, Dword size) {
    if (recordCalls) Record("GetModuleFileNameExA(" + std::to_string(size) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryInformation | kProcessVmRead);
    // Like Windows, module 0 names the process's executable too.
    if (!p || p->fileNameFails || (module != 0x400000 && module != 0) || size == 0) return 0;
    // Like Windows: a name that does not fit is cut and NUL-terminated.
    std::size_t n = std::min<std::size_t>(p->modulePath.size(), size - 1);
    std::memcpy(buffer, p->modulePath.data(), n);
    buffer[n] = '\0';
    return static_cast<Dword>(n);
}

Handle FakePlatform::OpenProcess(Dword desiredAccess, WinBool inheritHandle, Dword processId) {
    if (recordCalls) Record("OpenProcess(" + Hex(desiredAccess) + "," + std::to_string(inheritHandle) + "," +
           std::to_string(processId) + ")");
    FakeProcess* p = Find(processId);
    bool own = processId == currentProcessId && !ownProcessOpenFails;
    const bool gone = processId != currentProcessId && (!p || p->exited);
    if ((processId == currentProcessId && ownProcessOpenFails) ||
        (!own && (gone || (WithImplied(p->grantedAccess) & desiredAccess) != desiredAccess))) {
        // No such process: ERROR_INVALID_PARAMETER; one that shuts the caller out: ERROR_ACCESS_DENIED.
        lastError = gone ? kErrorInvalidParameter : kErrorAccessDenied;
        return 0;
    }
    HandleInfo info = MakeInfo(HandleInfo::Process, processId, WithImplied(desiredAccess));
    info.creationTime = p ? p->creationTime : 0;
    return NewHandle(info);
}

WinBool FakePlatform::CloseHandle(Handle object) {
    if (recordCalls) Record("CloseHandle");
    closeOrder.push_back(object);
    auto it = handles_.find(object);
    if (it == handles_.end() || it->second.kind == HandleInfo::Boundary || it->second.kind == HandleInfo::Namespace ||
        it->second.kind == HandleInfo::Search || it->second.kind == HandleInfo::RegKey) {
        ++badCloses;
        return 0;
    }
    if (it->second.kind == HandleInfo::Mutex && --namedObjects[it->second.name] == 0) namedObjects.erase(it->second.name);
    if (it->second.kind == HandleInfo::Job && it->second.killOnClose)
        for (Dword pid : it->second.members)
            if (FakeProcess* member = Find(pid)) member->exited = true;
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

Dword FakePlatform::GetCurrentProcessId() {
    if (recordCalls) Record("GetCurrentProcessId");
    return currentProcessId;
}

WinBool FakePlatform::QueryFullProcessImageNameW(Handle process, Dword flags, wchar_t* buffer, Dword* size) {
    if (recordCalls) Record("QueryFullProcessImageNameW(" + std::to_string(flags) + "," + std::to_string(*size) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    if (!p || p->imageNameFails || p->imagePath.empty()) {
        lastError = kErrorAccessDenied;
        return 0;
    }
    if (p->imagePath.size() + 1 > *size) {
        lastError = kErrorInsufficientBuffer;
        return 0;
    }
    std::copy(p->imagePath.begin(), p->imagePath.end(), buffer);
    buffer[p->imagePath.size()] = L'\0';
    *size = static_cast<Dword>(p->imagePath.size());
    return 1;
}

WinBool FakePlatform::GetProcessTimes(Handle process, FileTime* creationTime, FileTime* exitTime,
                                      FileTime* kernelTime, FileTime* userTime) {
    if (recordCalls) Record("GetProcessTimes");
    // Answers for the process the handle holds, even one that has ended since.
    const HandleInfo* info = Lookup(process, HandleInfo::Process);
    if (!info || (info->access & kProcessQueryLimitedInformation) == 0) return 0;
    *creationTime = FileTime{static_cast<Dword>(info->creationTime), static_cast<Dword>(info->creationTime >> 32)};
    *exitTime = FileTime{};
    *kernelTime = FileTime{};
    *userTime = FileTime{};
    return 1;
}

std::int32_t FakePlatform::NtQueryInformationProcess(Handle process, Dword processInformationClass,
                                                    void* processInformation, Dword processInformationLength,
                                                    Dword* returnLength) {
    if (recordCalls) Record("NtQueryInformationProcess(" + std::to_string(processInformationClass) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    // Only the basic record, whole; STATUS_ACCESS_DENIED otherwise.
    if (!p || p->parentReadFails || processInformationClass != kProcessBasicInformation ||
        processInformationLength != sizeof(ProcessBasicInformation))
        return static_cast<std::int32_t>(0xC0000022);
    *static_cast<ProcessBasicInformation*>(processInformation) = {0, 0, 0, 0, p->pid, p->parentPid};
    *returnLength = sizeof(ProcessBasicInformation);
    return 0;
}

int FakePlatform::Failed(Dword error) {
    lastError = error;
    return 0;
}

void FakePlatform::Sleep(Dword milliseconds) {
    if (recordCalls) Record("Sleep(" + std::to_string(milliseconds) + ")");
    ++sleeps;
}

std::wstring FakePlatform::ProgramDirectory() { return programDirectory; }
std::wstring FakePlatform::CommandLineArgs() {
    if (recordCalls) Record("CommandLineArgs");
    return commandLine;
}
bool FakePlatform::IsMissing(const std::string& call) {
    if (!missingCalls.count(call)) return false;
    lastError = kErrorProcNotFound;
    return true;
}

bool FakePlatform::Fails(const std::string& call) {
    if (!failingCalls.count(call)) return false;
    lastError = kErrorAccessDenied;
    return true;
}

void FakePlatform::SetLastError(Dword errorCode) { lastError = errorCode; }

Dword FakePlatform::GetLastError() { return lastError; }

std::uint64_t FakePlatform::GetTickCount64() {
    const std::uint64_t now = tickCount;
    tickCount += tickStep;
    return now;
}

WinBool FakePlatform::CreateProcessW(const std::wstring& applicationName, const std::wstring& commandLine,
                                     Dword creationFlags, ProcessInformation* information) {
    if (recordCalls)
        Record("CreateProcessW(" + WideToAnsi(applicationName) + "|" + WideToAnsi(commandLine) + "," + Hex(creationFlags) + ")");
    if (Fails("CreateProcessW")) return 0;
    FakeProcess& child = AddProcess(nextChildPid++, WideToAnsi(applicationName));
    HandleInfo process = MakeInfo(HandleInfo::Process, child.pid, 0xFFFFFFFF);
    process.creationTime = child.creationTime;
    information->hProcess = NewHandle(process);
    information->hThread = NewHandle(MakeInfo(HandleInfo::Thread, child.pid, 0xFFFFFFFF));
    information->dwProcessId = child.pid;
    information->dwThreadId = child.pid + 1;
    return 1;
}

WinBool FakePlatform::TerminateProcess(Handle process, Dword exitCode) {
    if (recordCalls) Record("TerminateProcess(" + std::to_string(exitCode) + ")");
    FakeProcess* p = ProcessFor(process, 0x1);  // PROCESS_TERMINATE
    if (!p) return 0;
    p->exited = true;
    return 1;
}

Handle FakePlatform::CreateJobObjectW() {
    if (recordCalls) Record("CreateJobObjectW");
    if (IsMissing("CreateJobObjectW") || Fails("CreateJobObjectW")) return 0;
    return NewHandle(MakeInfo(HandleInfo::Job, 0, 0));
}

WinBool FakePlatform::SetJobKillOnClose(Handle job) {
    if (recordCalls) Record("SetJobKillOnClose");
    auto it = handles_.find(job);
    if (Fails("SetJobKillOnClose") || it == handles_.end() || it->second.kind != HandleInfo::Job) return 0;
    it->second.killOnClose = true;
    return 1;
}

WinBool FakePlatform::AssignProcessToJobObject(Handle job, Handle process) {
    if (recordCalls) Record("AssignProcessToJobObject");
    auto it = handles_.find(job);
    FakeProcess* p = ProcessFor(process, 0x101);  // PROCESS_SET_QUOTA | PROCESS_TERMINATE
    if (Fails("AssignProcessToJobObject") || it == handles_.end() || it->second.kind != HandleInfo::Job || !p) return 0;
    it->second.members.push_back(p->pid);
    return 1;
}

std::wstring FakePlatform::SystemMessage(Dword error) {
    const auto it = systemMessages.find(error);
    return it != systemMessages.end() ? it->second : std::wstring();
}

}  // namespace mjr::testing
