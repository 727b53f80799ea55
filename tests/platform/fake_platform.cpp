#include "platform/fake_platform.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace mjr::testing {
namespace {

std::string Hex(Dword v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%X", static_cast<unsigned>(v));
    return buf;
}

// ASCII letters in lower case: how the file system finds a name whatever its case.
std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
    return text;
}

// Like Windows: the right to query implies the limited right to query.
Dword WithImplied(Dword access) {
    return (access & kProcessQueryInformation) ? (access | kProcessQueryLimitedInformation) : access;
}

bool IsValidPriorityClass(Dword c) {
    switch (c) {
        case 0x20: case 0x40: case 0x80: case 0x100: case 0x4000: case 0x8000: return true;
        default: return false;
    }
}

}  // namespace

FakePlatform::FakePlatform() = default;

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
    for (auto& p : processes)
        if (p.pid == pid) return &p;
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
    if (processId == currentProcessId && ownProcessOpenFails) return 0;
    if (!own && (!p || p->exited || (WithImplied(p->grantedAccess) & desiredAccess) != desiredAccess)) return 0;
    return NewHandle({HandleInfo::Process, processId, WithImplied(desiredAccess), p ? p->creationTime : 0});
}

WinBool FakePlatform::CloseHandle(Handle object) {
    if (recordCalls) Record("CloseHandle");
    closeOrder.push_back(object);
    auto it = handles_.find(object);
    if (it == handles_.end()) {
        ++badCloses;
        return 0;
    }
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

Dword FakePlatform::GetCurrentProcessId() {
    if (recordCalls) Record("GetCurrentProcessId");
    return currentProcessId;
}

void FakePlatform::GetSystemInfo(SystemInfo* info) {
    if (recordCalls) Record("GetSystemInfo");
    info->dwNumberOfProcessors = numberOfProcessors;
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

Dword FakePlatform::GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetLongPathNameW(" + std::to_string(size) + ")");
    if (longPathThrows) throw std::runtime_error("GetLongPathNameW");
    std::wstring out = shortPath;
    if (auto it = longPaths.find(out); it != longPaths.end()) {
        if (!it->second) return 0;
        out = *it->second;
    }
    if (out.size() + 1 > size) return static_cast<Dword>(out.size() + 1);  // needed size, nothing written
    std::copy(out.c_str(), out.c_str() + out.size() + 1, buffer);
    return static_cast<Dword>(out.size());
}

Dword FakePlatform::GetDriveTypeW(const wchar_t* rootPathName) {
    const std::wstring root = rootPathName ? rootPathName : L"";
    if (recordCalls) Record("GetDriveTypeW(" + WideToAnsi(root) + ")");
    if (auto it = driveTypes.find(root); it != driveTypes.end()) return it->second;
    const bool letterRoot = root.size() == 3 && root[1] == L':' && root[2] == L'\\';
    return letterRoot ? kDriveFixed : kDriveNoRootDir;
}

Dword FakePlatform::GetWindowsDirectoryW(wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetWindowsDirectoryW(" + std::to_string(size) + ")");
    if (windowsDirectoryFails) return 0;
    if (windowsDirectory.size() + 1 > size) return static_cast<Dword>(windowsDirectory.size() + 1);
    std::copy(windowsDirectory.c_str(), windowsDirectory.c_str() + windowsDirectory.size() + 1, buffer);
    return static_cast<Dword>(windowsDirectory.size());
}

WinBool FakePlatform::GetProcessAffinityMask(Handle process, Dword* processMask, Dword* systemMask) {
    if (recordCalls) Record("GetProcessAffinityMask");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    if (!p || p->getAffinityFails) return 0;
    *processMask = p->affinity;
    *systemMask = numberOfProcessors >= 32 ? 0xFFFFFFFFu : ((1u << numberOfProcessors) - 1);
    return 1;
}

WinBool FakePlatform::SetProcessAffinityMask(Handle process, Dword mask) {
    if (recordCalls) Record("SetProcessAffinityMask(" + Hex(mask) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetInformation);
    if (!p || p->setAffinityFails) return 0;
    Dword system = numberOfProcessors >= 32 ? 0xFFFFFFFFu : ((1u << numberOfProcessors) - 1);
    if (mask == 0 || (mask & ~system) != 0) return 0;  // a processor the machine lacks
    p->affinity = mask;
    return p->setAffinityResult;
}

Dword FakePlatform::GetPriorityClass(Handle process) {
    if (recordCalls) Record("GetPriorityClass");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    if (!p || p->getPriorityFails) return 0;
    return p->priority;
}

WinBool FakePlatform::SetPriorityClass(Handle process, Dword priorityClass) {
    if (recordCalls) Record("SetPriorityClass(" + Hex(priorityClass) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetInformation);
    if (!p || p->setPriorityFails || !IsValidPriorityClass(priorityClass)) return 0;
    p->priority = priorityClass;
    return 1;
}

void FakePlatform::Sleep(Dword milliseconds) {
    if (recordCalls) Record("Sleep(" + std::to_string(milliseconds) + ")");
    ++sleeps;
}

WinBool FakePlatform::OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
    if (recordCalls) Record("OpenProcessToken(" + Hex(desiredAccess) + ")");
    if (openTokenFails || !Lookup(process, HandleInfo::Process)) return 0;
    *token = NewHandle({HandleInfo::Token, currentProcessId, desiredAccess});
    return 1;
}

WinBool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
    if (recordCalls) Record(std::string("LookupPrivilegeValueA(") + (systemName ? systemName : "null") + "," + name + ")");
    if (lookupPrivilegeFails || std::strcmp(name, "SeDebugPrivilege") != 0) return 0;
    luid->LowPart = 20;  // the debug privilege's LUID on Windows
    luid->HighPart = 0;
    return 1;
}

WinBool FakePlatform::AdjustTokenPrivileges(Handle token, WinBool disableAllPrivileges,
                                            const TokenPrivileges* newState, Dword bufferLength,
                                            TokenPrivileges* previousState, Dword* returnLength) {
    if (recordCalls) Record("AdjustTokenPrivileges(" + std::to_string(disableAllPrivileges) + "," + std::to_string(bufferLength) + ")");
    const HandleInfo* info = Lookup(token, HandleInfo::Token);
    if (!info || (info->access & kTokenAdjustPrivileges) == 0) return 0;
    lastAdjustment = *newState;
    lastAdjustBufferLength = bufferLength;
    if (adjustTokenResult == 0) return 0;
    if (previousState && bufferLength >= sizeof(TokenPrivileges)) {
        previousState->PrivilegeCount = 1;
        previousState->Privileges[0].Luid = newState->Privileges[0].Luid;
        previousState->Privileges[0].Attributes = privilegeAttributes_;
    }
    if (returnLength) *returnLength = sizeof(TokenPrivileges);
    privilegeAttributes_ = newState->Privileges[0].Attributes;
    return adjustTokenResult;
}

std::string FakePlatform::WideToAnsi(std::wstring_view text) {
    if (wideToAnsiThrows) throw std::bad_alloc();
    // A single-byte code page: Latin-1, with '?' for what it cannot hold.
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) out.push_back(static_cast<unsigned>(c) <= 0xFF ? static_cast<char>(c) : '?');
    return out;
}

std::wstring FakePlatform::AnsiToWide(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    return out;
}

std::wstring FakePlatform::ProgramDirectory() { return programDirectory; }
std::wstring FakePlatform::CommandLineArgs() {
    if (recordCalls) Record("CommandLineArgs");
    return commandLine;
}
bool FakePlatform::PreviousInstanceRunning() {
    if (recordCalls) Record("PreviousInstanceRunning");
    return previousInstance;
}

std::optional<std::string> FakePlatform::ReadWholeFile(const std::wstring& path) {
    if (recordCalls) Record("ReadWholeFile");
    if (auto error = fileReadErrors.find(path); error != fileReadErrors.end()) {
        lastError = error->second;
        return std::nullopt;
    }
    auto it = files.find(path);
    if (it == files.end()) {
        lastError = directories.count(path) ? kErrorAccessDenied : kErrorFileNotFound;
        return std::nullopt;
    }
    return it->second;
}

Dword FakePlatform::GetLastError() { return lastError; }

std::wstring FakePlatform::GetFullPathNameW(const std::wstring& path) {
    const bool full = (path.size() >= 2 && path[1] == L':') || path.rfind(L"\\\\", 0) == 0;
    return full ? path : currentDirectory + L"\\" + path;
}

Dword FakePlatform::GetFileAttributesW(const std::wstring& path) {
    if (recordCalls) Record("GetFileAttributesW");
    if (directories.count(path)) return kFileAttributeDirectory;
    if (files.count(path)) return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    for (const auto& entry : programFiles)  // names are found whatever their letter case
        if (Folded(entry.first) == Folded(path)) return 0x20;
    lastError = kErrorFileNotFound;
    return kInvalidFileAttributes;
}

WinBool FakePlatform::GetBinaryTypeW(const std::wstring& applicationName, Dword* binaryType) {
    if (recordCalls) Record("GetBinaryTypeW");
    auto it = programFiles.find(applicationName);
    if (it == programFiles.end()) return 0;
    *binaryType = it->second;
    return 1;
}

std::optional<std::wstring> FakePlatform::FindFirstFileName(const std::wstring& path) {
    if (recordCalls) Record("FindFirstFileName");
    // Any program, or any folder above one, whose path equals this one but for letter case.
    const auto fold = [](std::wstring t) {
        for (wchar_t& c : t) if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        return t;
    };
    for (const auto& entry : programFiles) {
        const std::wstring& full = entry.first;
        if (full.size() < path.size() || fold(full.substr(0, path.size())) != fold(path)) continue;
        if (full.size() > path.size() && full[path.size()] != L'\\') continue;
        const std::size_t slash = path.find_last_of(L'\\');
        return full.substr(slash + 1, path.size() - slash - 1);
    }
    return std::nullopt;
}

std::optional<std::wstring> FakePlatform::FinalPathName(const std::wstring& path) {
    if (recordCalls) Record("FinalPathName");
    if (auto it = finalPaths.find(path); it != finalPaths.end()) return it->second;
    const auto fold = [](std::wstring t) {
        for (wchar_t& c : t) if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + 32);
        return t;
    };
    for (const auto& entry : programFiles)
        if (fold(entry.first) == fold(path)) return L"\\\\?\\" + entry.first;
    return std::nullopt;
}

std::wstring FakePlatform::ExpandEnvironmentStringsW(const std::wstring& text) {
    if (recordCalls) Record("ExpandEnvironmentStringsW");
    std::wstring out = text;  // an unset %NAME% stays, as on Windows
    for (const auto& [name, value] : environment) {
        for (std::size_t at = out.find(L"%" + name + L"%"); at != std::wstring::npos;
             at = out.find(L"%" + name + L"%", at + value.size()))
            out.replace(at, name.size() + 2, value);
    }
    return out;
}

WinBool FakePlatform::GetTokenElevation(Handle token, Dword* tokenIsElevated) {
    if (recordCalls) Record("GetTokenElevation");
    const HandleInfo* info = Lookup(token, HandleInfo::Token);
    if (!info || (info->access & kTokenQuery) == 0) return 0;
    *tokenIsElevated = elevated ? 1 : 0;
    return 1;
}

}  // namespace mjr::testing
