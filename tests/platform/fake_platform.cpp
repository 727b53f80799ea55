#include "platform/fake_platform.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <new>
#include <stdexcept>

namespace mjr::testing {
namespace {

constexpr Dword kErrorInvalidHandle = 6;
constexpr Dword kErrorNotAllAssigned = 1300;

std::string Hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

// Copies the records into the caller's buffer as Windows does: all of them, or none with
// the size they need.
WinBool Answer(const std::vector<unsigned char>& records, void* buffer, Dword bufferLength,
               Dword* returnedLength, Dword& lastError) {
    *returnedLength = static_cast<Dword>(records.size());
    if (!buffer || bufferLength < records.size()) {
        lastError = kErrorInsufficientBuffer;
        return 0;
    }
    std::memcpy(buffer, records.data(), records.size());
    return 1;
}

template <typename Record>
void Append(std::vector<unsigned char>& records, const Record& record, std::size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    records.insert(records.end(), bytes, bytes + std::min(size, sizeof record));
    records.resize(records.size() + (size > sizeof record ? size - sizeof record : 0), 0);
}

void BreakFirstRecordSize(std::vector<unsigned char>& records, std::size_t sizeOffset, std::optional<Dword> size) {
    if (size && records.size() >= sizeOffset + sizeof *size) std::memcpy(records.data() + sizeOffset, &*size, sizeof *size);
}

// Lower-case letters of Latin-1, Latin Extended-A, Greek and Cyrillic, and how far each one's
// capital lies (step 2: every other code point of the range).
struct CaseRange {
    std::uint32_t first, last, step;
    std::int32_t delta;
};
constexpr CaseRange kCaseRanges[] = {
    {'a', 'z', 1, -32}, {0xE0, 0xF6, 1, -32}, {0xF8, 0xFE, 1, -32}, {0xFF, 0xFF, 1, 0x79}, {0x101, 0x12F, 2, -1},
    {0x131, 0x131, 1, -0xE8}, {0x133, 0x137, 2, -1}, {0x13A, 0x148, 2, -1}, {0x14B, 0x177, 2, -1}, {0x17A, 0x17E, 2, -1}, {0x17F, 0x17F, 1, -0x12C},
    {0x3AC, 0x3AC, 1, -0x26}, {0x3AD, 0x3AF, 1, -0x25}, {0x3B1, 0x3C1, 1, -32}, {0x3C2, 0x3C2, 1, -31},
    {0x3C3, 0x3CB, 1, -32}, {0x3CC, 0x3CC, 1, -0x40}, {0x3CD, 0x3CE, 1, -0x3F}, {0x430, 0x44F, 1, -32},
    {0x450, 0x45F, 1, -80}, {0x461, 0x481, 2, -1}, {0x48B, 0x4BF, 2, -1}, {0x4C2, 0x4CE, 2, -1}, {0x4D1, 0x52F, 2, -1}};

wchar_t SimpleUpper(wchar_t c) {
    const auto u = static_cast<std::uint32_t>(c);
    for (const CaseRange& r : kCaseRanges)
        if (u >= r.first && u <= r.last && (u - r.first) % r.step == 0) return static_cast<wchar_t>(u + r.delta);
    return c;
}

// Upper case, as the file system finds a name whatever its case.
std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) c = SimpleUpper(c);
    return text;
}

// Like Windows: each full right implies its limited one.
Dword WithImplied(Dword access) {
    if (access & kProcessQueryInformation) access |= kProcessQueryLimitedInformation;
    if (access & kProcessSetInformation) access |= kProcessSetLimitedInformation;
    return access;
}

bool IsValidPriorityClass(Dword c) {
    switch (c) {
        case 0x20: case 0x40: case 0x80: case 0x100: case 0x4000: case 0x8000: return true;
        default: return false;
    }
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

void FakePlatform::GetSystemInfo(SystemInfo* info) {
    if (recordCalls) Record("GetSystemInfo");
    info->dwNumberOfProcessors = numberOfProcessors;
    info->dwActiveProcessorMask = SystemMask();
}

DwordPtr FakePlatform::SystemMask() const {
    // A 32-bit program sees 32 processors at most, as under WOW64.
    return numberOfProcessors >= sizeof(DwordPtr) * 8 ? ~DwordPtr{0} : (DwordPtr{1} << numberOfProcessors) - 1;
}

void FakePlatform::UseMachine(Machine machine) {
    constexpr Dword MB = 1u << 20;
    efficiencyClasses.clear();
    level3Caches.clear();
    processorGroups = 1;
    firstTopologyRecordSize.reset();
    switch (machine) {
        case Machine::OneKind16:
            numberOfProcessors = 16;
            level3Caches = {{32 * MB, 0xFFFF}};
            break;
        case Machine::Hybrid28:
            numberOfProcessors = 28;
            efficiencyClasses.assign(16, 1);
            efficiencyClasses.resize(28, 0);
            level3Caches = {{30 * MB, 0xFFFFFFF}};
            break;
        case Machine::TwoDie32:
            numberOfProcessors = 32;
            level3Caches = {{96 * MB, 0xFFFF}, {32 * MB, 0xFFFF0000}};
            break;
        case Machine::OneKind64:
            numberOfProcessors = 64;
            for (int die = 0; die < 8; ++die) level3Caches.push_back({32 * MB, 0xFFull << (8 * die)});
            break;
        case Machine::TwoGroups128:
            numberOfProcessors = 64;
            processorGroups = 2;
            level3Caches = {{96 * MB, 0xFFFF}, {32 * MB, 0xFFFF0000}, {32 * MB, 0xFFFFFFFF00000000}};
            level3Caches.push_back({32 * MB, ~std::uint64_t{0}, 1});
            break;
        case Machine::HybridTwoGroups56:
            numberOfProcessors = 28;
            processorGroups = 2;
            efficiencyClasses.assign(16, 1);
            efficiencyClasses.resize(28, 0);
            level3Caches = {{30 * MB, 0xFFFFFFF}, {30 * MB, 0xFFFFFFF, 1}};
            break;
        case Machine::OneKind2:
            numberOfProcessors = 2;
            break;
    }
}

WinBool FakePlatform::GetSystemCpuSetInformation(void* information, Dword bufferLength, Dword* returnedLength,
                                                 Handle, Dword) {
    if (recordCalls) Record("GetSystemCpuSetInformation(" + std::to_string(bufferLength) + ")");
    if (cpuSetCallMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    std::vector<unsigned char> records;
    for (Dword group = 0; group < processorGroups; ++group) {
        for (Dword index = 0; index < numberOfProcessors; ++index) {
            SystemCpuSetInformation set;
            set.Size = sizeof set;
            set.Type = kCpuSetInformation;
            set.Id = 0x100 + group * 64 + index;
            set.Group = static_cast<std::uint16_t>(group);
            set.LogicalProcessorIndex = static_cast<std::uint8_t>(index);
            set.EfficiencyClass = index < efficiencyClasses.size() ? efficiencyClasses[index] : 0;
            Append(records, set, sizeof set);
        }
    }
    BreakFirstRecordSize(records, offsetof(SystemCpuSetInformation, Size), firstTopologyRecordSize);
    return Answer(records, information, bufferLength, returnedLength, lastError);
}

WinBool FakePlatform::GetLogicalProcessorInformationEx(Dword relationshipType, void* buffer, Dword* returnedLength) {
    if (recordCalls) Record("GetLogicalProcessorInformationEx(" + std::to_string(relationshipType) + "," +
                            std::to_string(*returnedLength) + ")");
    if (processorInfoCallMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    std::vector<unsigned char> records;
    std::vector<Cache> caches = level3Caches;
    if (caches.empty()) caches.push_back({8u << 20, SystemMask()});
    const std::size_t size = offsetof(SystemLogicalProcessorInformationEx, Cache) + sizeof(CacheRelationship);
    for (std::size_t k = 0; k < caches.size(); ++k) {
        // A level-1 cache per level-3 one first: the larger, faster-changing list Windows gives.
        for (std::uint8_t level : {std::uint8_t{1}, std::uint8_t{3}}) {
            SystemLogicalProcessorInformationEx info;
            info.Relationship = kRelationCache;
            info.Size = static_cast<Dword>(size);
            info.Cache.Level = level;
            info.Cache.CacheSize = level == 3 ? caches[k].bytes : 48u << 10;
            info.Cache.GroupCount = oldCacheLayout ? 0 : 1;
            info.Cache.GroupMask.Mask = static_cast<DwordPtr>(caches[k].mask);
            info.Cache.GroupMask.Group = caches[k].group;
            Append(records, info, size);
        }
    }
    BreakFirstRecordSize(records, offsetof(SystemLogicalProcessorInformationEx, Size), firstTopologyRecordSize);
    if (relationshipType != kRelationCache) records.clear();
    return Answer(records, buffer, *returnedLength, returnedLength, lastError);
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

Dword FakePlatform::GetLongPathNameW(const wchar_t* shortPath, wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetLongPathNameW(" + std::to_string(size) + ")");
    if (longPathThrows) throw std::runtime_error("GetLongPathNameW");
    std::wstring out = shortPath;
    // "\\?\" passes the path on untidied and comes back on the long form.
    const bool literal = out.rfind(L"\\\\?\\", 0) == 0;
    if (literal) out.erase(0, 4);
    if (auto it = longPaths.find(out); it != longPaths.end()) {
        if (!it->second) {
            lastError = NotFoundError(out);
            return 0;
        }
        out = *it->second;
    }
    if (literal) out.insert(0, L"\\\\?\\");
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

WinBool FakePlatform::GetProcessAffinityMask(Handle process, DwordPtr* processMask, DwordPtr* systemMask) {
    if (recordCalls) Record("GetProcessAffinityMask");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    if (!p || p->getAffinityFails) return Failed(kErrorAccessDenied);
    *processMask = p->affinity;
    *systemMask = SystemMask();
    return 1;
}

WinBool FakePlatform::SetProcessAffinityMask(Handle process, DwordPtr mask) {
    if (recordCalls) Record("SetProcessAffinityMask(" + Hex(mask) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetInformation);
    lastError = kErrorAccessDenied;
    if (!p || p->setAffinityFails || LacksPrivilegeFor(*p)) return 0;
    lastError = kErrorInvalidParameter;
    if (mask == 0 || (mask & ~SystemMask()) != 0) return 0;  // a processor the machine lacks
    p->affinity = mask;
    return p->setAffinityResult;
}

WinBool FakePlatform::GetProcessDefaultCpuSets(Handle process, Dword* cpuSetIds, Dword cpuSetIdCount,
                                               Dword* requiredIdCount) {
    if (recordCalls) Record("GetProcessDefaultCpuSets(" + std::to_string(cpuSetIdCount) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    lastError = getCpuSetsCallMissing ? kErrorProcNotFound : !p ? kErrorAccessDenied : kErrorInsufficientBuffer;
    if (getCpuSetsCallMissing || !p) return 0;
    *requiredIdCount = static_cast<Dword>(p->defaultCpuSets.size());
    if (p->defaultCpuSets.size() > cpuSetIdCount) return 0;
    std::copy(p->defaultCpuSets.begin(), p->defaultCpuSets.end(), cpuSetIds);
    return 1;
}

WinBool FakePlatform::SetProcessDefaultCpuSets(Handle process, const Dword* cpuSetIds, Dword cpuSetIdCount) {
    if (recordCalls) Record("SetProcessDefaultCpuSets(" + std::to_string(cpuSetIdCount) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetLimitedInformation);
    const bool refused = Fails("SetProcessDefaultCpuSets");  // as for an identifier Windows does not know
    lastError = setCpuSetsCallMissing ? kErrorProcNotFound : !p ? kErrorAccessDenied : kErrorInvalidParameter;
    if (setCpuSetsCallMissing || !p || refused || LacksPrivilegeFor(*p)) return 0;
    for (Dword k = 0; k < cpuSetIdCount; ++k) {
        const Dword index = cpuSetIds[k] - 0x100;
        if (cpuSetIds[k] < 0x100 || index / 64 >= processorGroups || index % 64 >= numberOfProcessors) return 0;
    }
    p->defaultCpuSets.assign(cpuSetIds, cpuSetIds + cpuSetIdCount);
    return 1;
}

WinBool FakePlatform::GetProcessInformation(Handle process, Dword processInformationClass, void* processInformation,
                                            Dword processInformationSize) {
    if (recordCalls) Record("GetProcessInformation(" + std::to_string(processInformationClass) + ")");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    const bool known = processInformationClass == kProcessPowerThrottling &&
                       processInformationSize == sizeof(ProcessPowerThrottlingState) && !powerReadRefused;
    lastError = getProcessInformationMissing ? kErrorProcNotFound : !known ? kErrorInvalidParameter : kErrorAccessDenied;
    if (getProcessInformationMissing || !known || !p) return 0;
    std::memcpy(processInformation, &p->power, sizeof p->power);
    return 1;
}

WinBool FakePlatform::SetProcessInformation(Handle process, Dword processInformationClass,
                                            const void* processInformation, Dword processInformationSize) {
    ProcessPowerThrottlingState state;
    if (processInformationSize == sizeof state) std::memcpy(&state, processInformation, sizeof state);
    if (recordCalls) Record("SetProcessInformation(" + std::to_string(processInformationClass) + "," +
                            Hex(state.ControlMask) + "," + Hex(state.StateMask) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetInformation);
    const bool valid = processInformationClass == kProcessPowerThrottling && processInformationSize == sizeof state &&
                       state.Version == kPowerThrottlingCurrentVersion &&
                       !(timerResolutionRefused && (state.ControlMask & kPowerThrottlingIgnoreTimerResolution));
    lastError = powerSetError ? powerSetError : !valid ? kErrorInvalidParameter : kErrorAccessDenied;
    if (powerSetError || !valid || !p || LacksPrivilegeFor(*p)) return 0;
    p->power = state;
    return 1;
}

bool FakePlatform::Kernel32Exports(const char* name) {
    const std::string call = name;
    if (call == "GetSystemCpuSetInformation") return !cpuSetCallMissing;
    if (call == "GetProcessDefaultCpuSets") return !getCpuSetsCallMissing;
    if (call == "SetProcessDefaultCpuSets") return !setCpuSetsCallMissing;
    if (call == "GetProcessInformation") return !getProcessInformationMissing;
    return true;
}

Dword FakePlatform::GetPriorityClass(Handle process) {
    if (recordCalls) Record("GetPriorityClass");
    FakeProcess* p = ProcessFor(process, kProcessQueryLimitedInformation);
    if (!p || p->getPriorityFails) return Failed(kErrorAccessDenied);
    return p->priority;
}

WinBool FakePlatform::SetPriorityClass(Handle process, Dword priorityClass) {
    if (recordCalls) Record("SetPriorityClass(" + Hex(priorityClass) + ")");
    FakeProcess* p = ProcessFor(process, kProcessSetInformation);
    lastError = p && !p->setPriorityFails ? kErrorInvalidParameter : kErrorAccessDenied;
    if (!p || p->setPriorityFails || !IsValidPriorityClass(priorityClass) || LacksPrivilegeFor(*p)) return 0;
    // Without the right to raise scheduling priority, Windows makes Real High, and says nothing.
    p->priority = priorityClass == 0x100 && !tokenPrivileges.count(14) ? 0x80 : priorityClass;
    return 1;
}

int FakePlatform::Failed(Dword error) {
    lastError = error;
    return 0;
}

bool FakePlatform::LacksPrivilegeFor(const FakeProcess& process) {
    const Dword luid = process.setsNeedPrivilege;
    const auto held = tokenPrivileges.find(luid);
    const Dword attributes = held == tokenPrivileges.end() ? 0 : luid == 20 ? privilegeAttributes_ : held->second;
    if (luid == 0 || (attributes & kSePrivilegeEnabled)) return false;
    lastError = kErrorPrivilegeNotHeld;
    return true;
}

void FakePlatform::Sleep(Dword milliseconds) {
    if (recordCalls) Record("Sleep(" + std::to_string(milliseconds) + ")");
    ++sleeps;
}

WinBool FakePlatform::OpenProcessToken(Handle process, Dword desiredAccess, Handle* token) {
    if (recordCalls) Record("OpenProcessToken(" + Hex(desiredAccess) + ")");
    if (openTokenFails || !Lookup(process, HandleInfo::Process)) return 0;
    *token = NewHandle(MakeInfo(HandleInfo::Token, currentProcessId, desiredAccess));
    return 1;
}

WinBool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid* luid) {
    if (recordCalls) Record(std::string("LookupPrivilegeValueA(") + (systemName ? systemName : "null") + "," + name + ")");
    const bool debug = std::strcmp(name, "SeDebugPrivilege") == 0;
    if (lookupPrivilegeFails || (!debug && std::strcmp(name, "SeIncreaseBasePriorityPrivilege") != 0)) return 0;
    luid->LowPart = debug ? 20 : 14;  // their LUIDs on Windows
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
    // Success either way; a privilege the token lacks is only named in the last error.
    lastError = tokenPrivileges.count(newState->Privileges[0].Luid.LowPart) ? 0 : kErrorNotAllAssigned;
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
    std::wstring out(text.size(), L'\0');  // no push_back: the benchmark measures the loader, not this
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<wchar_t>(static_cast<unsigned char>(text[i]));
    return out;
}

int FakePlatform::LCMapStringW(Dword locale, Dword mapFlags, const wchar_t* source, int sourceCount,
                               wchar_t* destination, int destinationCount) {
    if (recordCalls) Record("LCMapStringW");
    if (locale != kLocaleInvariant || mapFlags != kLcmapUppercase || !source || sourceCount < -1) return 0;
    const std::size_t count = sourceCount == -1 ? std::wcslen(source) + 1 : static_cast<std::size_t>(sourceCount);
    if (destinationCount == 0) return static_cast<int>(count);
    if (destinationCount < 0 || static_cast<std::size_t>(destinationCount) < count) {
        lastError = kErrorInsufficientBuffer;
        return 0;
    }
    // A failed mapping leaves the buffer as it pleases: here, nothing of the text.
    if (Fails("LCMapStringW")) {
        std::fill(destination, destination + count, L'?');
        return 0;
    }
    for (std::size_t i = 0; i < count; ++i) destination[i] = SimpleUpper(source[i]);
    return static_cast<int>(count);
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

Handle FakePlatform::CreateFileW(const std::wstring& fileName, Dword desiredAccess, Dword shareMode,
                                 Dword creationDisposition, Dword flagsAndAttributes) {
    if (recordCalls) Record("CreateFileW(" + Hex(desiredAccess) + "," + Hex(shareMode) + "," + Hex(flagsAndAttributes) + ")");
    if (auto error = fileReadErrors.find(fileName); error != fileReadErrors.end()) {
        lastError = error->second;
        return kInvalidHandleValue;
    }
    if (auto type = fileTypes.find(fileName); type != fileTypes.end())
        return NewHandle(MakeInfo(HandleInfo::File, 0, desiredAccess, fileName, type->second));
    // A program, or a name Windows resolves, opens for asking its name.
    bool program = finalPaths.count(fileName) > 0;
    for (const auto& entry : programFiles) program = program || Folded(entry.first) == Folded(fileName);
    if (program && desiredAccess == 0 && creationDisposition == kOpenExisting)
        return NewHandle(MakeInfo(HandleInfo::File, 0, 0, fileName, kFileTypeDisk));
    if (creationDisposition != kOpenExisting || !files.count(fileName)) {
        const Dword attributes = AttributesOf(fileName);
        lastError = attributes != kInvalidFileAttributes && (attributes & kFileAttributeDirectory) ? kErrorAccessDenied
                                                                                                : NotFoundError(fileName);
        return kInvalidHandleValue;
    }
    if (auto held = heldFiles.find(fileName); held != heldFiles.end()) {
        // Each open must allow what the other asks: read with FILE_SHARE_READ, write with FILE_SHARE_WRITE.
        constexpr Dword kWrite = 0x40000000;
        const FileHolder& h = held->second;
        const auto clash = [](Dword access, Dword share) {
            return ((access & kGenericRead) && !(share & kFileShareRead)) || ((access & kWrite) && !(share & kFileShareWrite));
        };
        if (clash(desiredAccess, h.shareMode) || clash(h.access, shareMode)) {
            lastError = kErrorSharingViolation;
            return kInvalidHandleValue;
        }
    }
    return NewHandle(MakeInfo(HandleInfo::File, 0, desiredAccess, fileName, kFileTypeDisk));
}

Dword FakePlatform::GetFileType(Handle file) {
    if (recordCalls) Record("GetFileType");
    auto it = handles_.find(file);
    return it != handles_.end() && it->second.kind == HandleInfo::File ? it->second.fileType : kFileTypeUnknown;
}

WinBool FakePlatform::GetFileSizeEx(Handle file, std::int64_t* fileSize) {
    if (recordCalls) Record("GetFileSizeEx");
    const HandleInfo* info = Lookup(file, HandleInfo::File);
    if (!info || info->fileType != kFileTypeDisk) return 0;
    const auto reported = fileSizes.find(info->name);
    *fileSize = reported != fileSizes.end() ? reported->second : static_cast<std::int64_t>(files[info->name].size());
    return 1;
}

WinBool FakePlatform::ReadFile(Handle file, void* buffer, Dword bytesToRead, Dword* bytesRead) {
    if (recordCalls) Record("ReadFile");
    auto it = handles_.find(file);
    if (it == handles_.end() || it->second.kind != HandleInfo::File) return 0;
    const std::string& content = files[it->second.name];
    const std::size_t n = std::min<std::size_t>(bytesToRead, content.size() - std::min(content.size(), it->second.offset));
    if (n) std::memcpy(buffer, content.data() + it->second.offset, n);
    it->second.offset += n;
    *bytesRead = static_cast<Dword>(n);
    return 1;
}

void FakePlatform::SetLastError(Dword errorCode) { lastError = errorCode; }

Handle FakePlatform::CreateMutexW(const std::wstring& name) {
    if (recordCalls) Record("CreateMutexW");
    if (Fails("CreateMutexW")) return 0;
    std::wstring object = name;
    const std::size_t slash = name.find(L'\\');
    if (slash != std::wstring::npos && name.compare(0, slash, L"Local") != 0 && name.compare(0, slash, L"Global") != 0) {
        // A private namespace's alias, known only to the process that opened that namespace.
        const std::wstring alias = name.substr(0, slash);
        const auto ns = std::find_if(handles_.begin(), handles_.end(), [&](const auto& h) {
            return h.second.kind == HandleInfo::Namespace && h.second.alias == alias;
        });
        if (ns == handles_.end()) {
            lastError = kErrorPathNotFound;
            return 0;
        }
        object = ns->second.name + name.substr(slash);
    }
    if (deniedObjects.count(object) || deniedObjects.count(name)) {
        lastError = kErrorAccessDenied;
        return 0;
    }
    int& holders = namedObjects[object];
    lastError = holders > 0 ? kErrorAlreadyExists : 0;
    ++holders;
    return NewHandle(MakeInfo(HandleInfo::Mutex, 0, 0, object));
}

WinBool FakePlatform::GetTokenInformation(Handle token, Dword tokenInformationClass, void* tokenInformation,
                                          Dword tokenInformationLength, Dword* returnLength) {
    if (recordCalls) Record("GetTokenInformation(" + std::to_string(tokenInformationClass) + ")");
    const HandleInfo* info = Lookup(token, HandleInfo::Token);
    if (Fails("GetTokenInformation") || Fails("GetTokenInformation(" + std::to_string(tokenInformationClass) + ")") ||
        !info || !(info->access & kTokenQuery))
        return Failed(!info ? kErrorInvalidHandle : kErrorAccessDenied);
    if (tokenInformationClass == kTokenPrivilegesClass) {
        std::vector<LuidAndAttributes> entries;
        for (const auto& [luid, attributes] : tokenPrivileges)
            entries.push_back({Luid{luid, 0}, luid == 20 ? privilegeAttributes_ : attributes});
        const Dword count = static_cast<Dword>(entries.size());
        *returnLength = static_cast<Dword>(sizeof count + count * sizeof(LuidAndAttributes));
        lastError = kErrorInsufficientBuffer;
        if (tokenInformationLength < *returnLength) return 0;
        std::memcpy(tokenInformation, &count, sizeof count);
        if (count) std::memcpy(static_cast<char*>(tokenInformation) + sizeof count, entries.data(), count * sizeof entries[0]);
        return 1;
    }
    if (tokenInformationClass == kTokenUserClass) {
        // TOKEN_USER: the SID's address and its attributes, then the SID it points at.
        std::vector<std::uint8_t> sid{1, static_cast<std::uint8_t>(tokenUser.size()), 0, 0, 0, 0, 0, 5};
        for (Dword part : tokenUser) sid.insert(sid.end(), {std::uint8_t(part), std::uint8_t(part >> 8), 0, 0});
        struct { const void* sid; Dword attributes; } head{static_cast<char*>(tokenInformation) + sizeof head, 0};
        if (tokenInformationLength < (*returnLength = static_cast<Dword>(sizeof head + sid.size())))
            return Failed(kErrorInsufficientBuffer);
        std::memcpy(tokenInformation, &head, sizeof head);
        std::memcpy(static_cast<char*>(tokenInformation) + sizeof head, sid.data(), sid.size());
        return 1;
    }
    if (tokenInformationClass != kTokenElevationClass) return Failed(kErrorInvalidParameter);
    *returnLength = sizeof(Dword);
    if (tokenInformationLength < sizeof(Dword)) return Failed(kErrorInsufficientBuffer);
    const Dword isElevated = elevated ? 1 : 0;
    std::memcpy(tokenInformation, &isElevated, sizeof isElevated);
    return 1;
}

WinBool FakePlatform::ProcessIdToSessionId(Dword processId, Dword* session) {
    if (recordCalls) Record("ProcessIdToSessionId");
    if (Fails("ProcessIdToSessionId") || processId != currentProcessId) return 0;
    *session = sessionId;
    return 1;
}

WinBool FakePlatform::CreateWellKnownSid(Dword wellKnownSidType, void* sid, Dword* sidSize) {
    if (recordCalls) Record("CreateWellKnownSid(" + std::to_string(wellKnownSidType) + ")");
    // S-1-5-32-544 and S-1-16-12288, as Windows lays them out.
    static const unsigned char admins[] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 2, 0, 0};
    static const unsigned char high[] = {1, 1, 0, 0, 0, 0, 0, 16, 0, 0x30, 0, 0};
    const unsigned char* bytes = wellKnownSidType == kWinBuiltinAdministratorsSid ? admins
                                 : wellKnownSidType == kWinHighLabelSid         ? high
                                                                                 : nullptr;
    const Dword size = bytes == admins ? sizeof admins : sizeof high;
    if (Fails("CreateWellKnownSid") || !bytes || *sidSize < size) return 0;
    std::memcpy(sid, bytes, size);
    *sidSize = size;
    return 1;
}

Handle FakePlatform::CreateBoundaryDescriptorW(const std::wstring& name, Dword) {
    if (recordCalls) Record("CreateBoundaryDescriptorW");
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    if (Fails("CreateBoundaryDescriptorW")) return 0;
    return NewHandle(MakeInfo(HandleInfo::Boundary, 0, 0, name));
}

namespace {
// A SID's bytes as text: 8 bytes of header, then 4 per sub-authority.
std::wstring SidText(const void* sid) {
    const auto* b = static_cast<const unsigned char*>(sid);
    std::wstring text;
    for (std::size_t i = 0; i < 8u + 4u * b[1]; ++i) text += static_cast<wchar_t>(L'A' + b[i] % 26) ;
    return text;
}
}  // namespace

WinBool FakePlatform::AddSIDToBoundaryDescriptor(Handle* boundary, const void* requiredSid) {
    if (recordCalls) Record("AddSIDToBoundaryDescriptor");
    auto it = handles_.find(*boundary);
    if (Fails("AddSIDToBoundaryDescriptor") || it == handles_.end() || it->second.kind != HandleInfo::Boundary) return 0;
    it->second.name += L"|sid:" + SidText(requiredSid);
    return 1;
}

WinBool FakePlatform::AddIntegrityLabelToBoundaryDescriptor(Handle* boundary, const void* integrityLabel) {
    if (recordCalls) Record("AddIntegrityLabelToBoundaryDescriptor");
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    auto it = handles_.find(*boundary);
    if (Fails("AddIntegrityLabelToBoundaryDescriptor") || it == handles_.end() || it->second.kind != HandleInfo::Boundary)
        return 0;
    it->second.name += L"|label:" + SidText(integrityLabel);
    return 1;
}

void FakePlatform::DeleteBoundaryDescriptor(Handle boundary) {
    if (recordCalls) Record("DeleteBoundaryDescriptor");
    auto it = handles_.find(boundary);
    if (it == handles_.end() || it->second.kind != HandleInfo::Boundary) {
        ++badCloses;
        return;
    }
    handles_.erase(it);
    ++handlesClosed;
}

Handle FakePlatform::OpenNamespace(Handle boundary, const std::wstring& aliasPrefix, bool create) {
    if (privateNamespaceCallsMissing) {
        lastError = kErrorProcNotFound;
        return 0;
    }
    const HandleInfo* info = Lookup(boundary, HandleInfo::Boundary);
    if (!info) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    // Only a token holding the boundary's SIDs at its integrity level gets in: an elevated one.
    const bool needsElevation = info->name.find(L"|") != std::wstring::npos;
    if (needsElevation && !elevated) {
        lastError = kErrorAccessDenied;
        return 0;
    }
    int& holders = namespaces_[info->name];
    if (create && holders > 0) {
        lastError = kErrorAlreadyExists;
        return 0;
    }
    if (!create && holders == 0) {
        lastError = kErrorFileNotFound;
        return 0;
    }
    ++holders;
    HandleInfo ns = MakeInfo(HandleInfo::Namespace, 0, 0, L"ns:" + info->name);
    ns.alias = aliasPrefix;
    return NewHandle(ns);
}

Handle FakePlatform::CreatePrivateNamespaceW(Handle boundary, const std::wstring& aliasPrefix) {
    if (recordCalls) Record("CreatePrivateNamespaceW");
    if (Fails("CreatePrivateNamespaceW")) return 0;
    return OpenNamespace(boundary, aliasPrefix, true);
}

Handle FakePlatform::OpenPrivateNamespaceW(Handle boundary, const std::wstring& aliasPrefix) {
    if (recordCalls) Record("OpenPrivateNamespaceW");
    if (Fails("OpenPrivateNamespaceW")) return 0;
    return OpenNamespace(boundary, aliasPrefix, false);
}

WinBool FakePlatform::ClosePrivateNamespace(Handle namespaceHandle, Dword) {
    if (recordCalls) Record("ClosePrivateNamespace");
    auto it = handles_.find(namespaceHandle);
    if (it == handles_.end() || it->second.kind != HandleInfo::Namespace) {
        ++badCloses;
        return 0;
    }
    if (--namespaces_[it->second.name.substr(3)] == 0) namespaces_.erase(it->second.name.substr(3));
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

Dword FakePlatform::GetLastError() { return lastError; }

std::wstring FakePlatform::GetFullPathNameW(const std::wstring& path) {
    const bool full = (path.size() >= 2 && path[1] == L':') || path.rfind(L"\\\\", 0) == 0;
    return full ? path : currentDirectory + L"\\" + path;
}

Dword FakePlatform::AttributesOf(const std::wstring& path) const {
    if (path.rfind(L"\\\\?\\", 0) == 0) return AttributesOf(path.substr(4));  // the same name, unparsed
    if (reparsePoints.count(path))
        return (files.count(path) || programFiles.count(path) ? 0x20 : kFileAttributeDirectory) | kFileAttributeReparsePoint;
    if (directories.count(path) || (path.size() == 3 && path[1] == L':' && path[2] == L'\\'))
        return kFileAttributeDirectory;
    if (files.count(path)) return 0x20;  // FILE_ATTRIBUTE_ARCHIVE
    const std::wstring folder = Folded(path) + L"\\";
    for (const auto& entry : programFiles)  // names are found whatever their letter case
        if (Folded(entry.first) == Folded(path)) return 0x20;
    const auto holds = [&](const auto& names) {
        for (const auto& entry : names)
            if (Folded(entry.first).rfind(folder, 0) == 0) return true;
        return false;
    };
    if (holds(files) || holds(programFiles)) return kFileAttributeDirectory;
    if (auto below = directories.lower_bound(path + L"\\"); below != directories.end() && below->rfind(path + L"\\", 0) == 0)
        return kFileAttributeDirectory;
    return kInvalidFileAttributes;
}

Dword FakePlatform::NotFoundError(const std::wstring& path) const {
    const std::size_t slash = path.find_last_of(L'\\');
    if (slash == std::wstring::npos) return kErrorFileNotFound;
    const Dword parent = AttributesOf(path.substr(0, slash == 2 && path[1] == L':' ? 3 : slash));
    return parent != kInvalidFileAttributes && (parent & kFileAttributeDirectory) ? kErrorFileNotFound : kErrorPathNotFound;
}

Dword FakePlatform::GetFileAttributesW(const std::wstring& path) {
    if (recordCalls) Record("GetFileAttributesW " + WideToAnsi(path));
    const Dword attributes = AttributesOf(path);
    if (attributes == kInvalidFileAttributes) lastError = NotFoundError(path);
    return attributes;
}

Handle FakePlatform::FindFirstFileExW(const std::wstring& fileName, FindData* found) {
    if (recordCalls) Record("FindFirstFileExW " + WideToAnsi(fileName));
    if (Fails("FindFirstFileExW")) return kInvalidHandleValue;
    // Only the listing of a whole folder ("folder\*") is modelled.
    const std::size_t star = fileName.size() - 1;
    if (fileName.size() < 2 || fileName[star] != L'*' || fileName[star - 1] != L'\\') {
        lastError = kErrorInvalidParameter;
        return kInvalidHandleValue;
    }
    const std::wstring prefix = fileName.substr(0, star);
    const bool root = prefix.size() == 3 && prefix[1] == L':';
    const Dword folderAttributes = root ? kFileAttributeDirectory : AttributesOf(prefix.substr(0, star - 1));
    if (folderAttributes == kInvalidFileAttributes || !(folderAttributes & kFileAttributeDirectory)) {
        lastError = folderAttributes == kInvalidFileAttributes ? NotFoundError(fileName) : kErrorDirectory;
        return kInvalidHandleValue;
    }
    std::map<std::wstring, Dword> below;
    const auto add = [&](const std::wstring& path, Dword attributes) {
        const std::size_t end = path.find(L'\\', prefix.size());
        const bool link = reparsePoints.count(path.substr(0, end)) != 0;
        below.emplace(path.substr(prefix.size(), end - prefix.size()),
                      (end == std::wstring::npos ? attributes : kFileAttributeDirectory) | (link ? kFileAttributeReparsePoint : 0));
    };
    for (const auto* folders : {&directories, &reparsePoints})
        for (auto it = folders->lower_bound(prefix); it != folders->end() && it->rfind(prefix, 0) == 0; ++it)
            if (!files.count(*it) && !programFiles.count(*it)) add(*it, kFileAttributeDirectory);
    const auto addAll = [&](const auto& names) {
        for (const auto& entry : names)
            if (entry.first.rfind(prefix, 0) == 0) add(entry.first, 0x20);
    };
    addAll(files);
    addAll(programFiles);
    HandleInfo search = MakeInfo(HandleInfo::Search, 0, 0, fileName);
    if (!root) search.listing = {{kFileAttributeDirectory, L"."}, {kFileAttributeDirectory, L".."}};
    for (const auto& [name, attributes] : below) search.listing.push_back(FindData{attributes, name});
    if (search.listing.empty()) {
        lastError = kErrorFileNotFound;
        return kInvalidHandleValue;
    }
    *found = search.listing[0];
    search.offset = 1;
    return NewHandle(std::move(search));
}

WinBool FakePlatform::FindNextFileW(Handle search, FindData* found) {
    if (recordCalls) Record("FindNextFileW");
    if (Fails("FindNextFileW")) return 0;  // as a network folder that goes away mid-listing
    const auto it = handles_.find(search);
    if (it == handles_.end() || it->second.kind != HandleInfo::Search) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    if (it->second.offset >= it->second.listing.size()) {
        lastError = kErrorNoMoreFiles;
        return 0;
    }
    *found = it->second.listing[it->second.offset++];
    return 1;
}

WinBool FakePlatform::FindClose(Handle search) {
    if (recordCalls) Record("FindClose");
    const auto it = handles_.find(search);
    if (it == handles_.end() || it->second.kind != HandleInfo::Search) {
        ++badCloses;
        lastError = kErrorInvalidHandle;
        return 0;
    }
    handles_.erase(it);
    ++handlesClosed;
    return 1;
}

std::uint64_t FakePlatform::GetTickCount64() {
    const std::uint64_t now = tickCount;
    tickCount += tickStep;
    return now;
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
    const auto fold = Folded;
    for (const auto& entry : programFiles) {
        const std::wstring& full = entry.first;
        if (full.size() < path.size() || fold(full.substr(0, path.size())) != fold(path)) continue;
        if (full.size() > path.size() && full[path.size()] != L'\\') continue;
        const std::size_t slash = path.find_last_of(L'\\');
        return full.substr(slash + 1, path.size() - slash - 1);
    }
    return std::nullopt;
}

Dword FakePlatform::GetFinalPathNameByHandleW(Handle file, wchar_t* buffer, Dword size, Dword flags) {
    if (recordCalls) Record("GetFinalPathNameByHandleW(" + std::to_string(flags) + ")");
    const HandleInfo* info = Lookup(file, HandleInfo::File);
    if (!info) return 0;
    std::wstring name;
    if (auto it = finalPaths.find(info->name); it != finalPaths.end()) name = it->second;
    for (const auto& entry : programFiles)
        if (name.empty() && Folded(entry.first) == Folded(info->name)) name = L"\\\\?\\" + entry.first;
    if (name.empty()) return 0;
    if (name.size() + 1 > size) return static_cast<Dword>(name.size() + 1);
    std::copy(name.c_str(), name.c_str() + name.size() + 1, buffer);
    return static_cast<Dword>(name.size());
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


std::vector<std::uint8_t> SecurityDescriptor(const std::string& ownerSid, std::optional<std::vector<FakeAce>> dacl) {
    std::vector<std::uint8_t> sd{1, 0, 0, 0};
    const auto put = [&sd](std::uint32_t value, int width) {
        for (int k = 0; k < width; ++k) sd.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
    };
    const auto putSid = [&](const std::string& text) {  // "S-1-<authority>-<sub>-<sub>..."
        const std::size_t authority = text.find('-', 2) + 1, subs = text.find('-', authority);
        sd.insert(sd.end(), {1, static_cast<std::uint8_t>(std::count(text.begin(), text.end(), '-') - 2), 0, 0, 0, 0, 0,
                             static_cast<std::uint8_t>(std::stoul(text.substr(authority)))});
        for (std::size_t at = subs; at != std::string::npos; at = text.find('-', at + 1))
            put(static_cast<std::uint32_t>(std::stoul(text.substr(at + 1))), 4);
    };
    const auto patch = [&sd](std::size_t at, std::size_t value, int width) {
        for (int k = 0; k < width; ++k) sd[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
    };
    put(20, 4);  // the owner, right after the header
    sd.resize(20, 0);  // no group, no SACL, the DACL's place once known
    putSid(ownerSid);
    patch(2, 0x8000 | (dacl ? 0x4 : 0), 2);  // self-relative; DACL present
    if (!dacl) return sd;
    const std::size_t acl = sd.size();
    patch(16, acl, 4);
    sd.insert(sd.end(), {2, 0, 0, 0, 0, 0, 0, 0});  // revision; size and count follow
    for (const FakeAce& ace : *dacl) {
        const std::size_t at = sd.size();
        sd.insert(sd.end(), {ace.type, ace.flags, 0, 0});
        put(ace.mask, 4);
        if (ace.type == 5 || ace.type == 6 || ace.type == 11 || ace.type == 12) {
            put(ace.guids == 2 ? 3 : ace.guids, 4);  // ACE_OBJECT_TYPE_PRESENT, ACE_INHERITED_OBJECT_TYPE_PRESENT
            sd.insert(sd.end(), 16 * ace.guids, 0xA5);
        }
        putSid(ace.sid);
        patch(at + 2, sd.size() - at, 2);
    }
    patch(acl + 2, sd.size() - acl, 2);
    patch(acl + 4, dacl->size(), 2);
    return sd;
}

Dword FakePlatform::GetNamedSecurityInfoW(const std::wstring& objectName, Dword securityInformation,
                                          std::vector<std::uint8_t>* selfRelativeDescriptor) {
    if (recordCalls) Record("GetNamedSecurityInfoW(" + std::to_string(securityInformation) + ") " + WideToAnsi(objectName));
    if (Fails("GetNamedSecurityInfoW")) return kErrorAccessDenied;
    if (AttributesOf(objectName) == kInvalidFileAttributes) return NotFoundError(objectName);
    // Absent: as Program Files, administrators change it, users read and run.
    const auto it = securityDescriptors.find(objectName);
    *selfRelativeDescriptor = it != securityDescriptors.end() ? it->second : SecurityDescriptor("S-1-5-32-544",
        std::vector<FakeAce>{{0, 0, 0x1F01FF, "S-1-5-32-544"}, {0, 0, 0x1200A9, "S-1-5-32-545"}});
    if (!(securityInformation & kOwnerSecurityInformation)) std::fill_n(selfRelativeDescriptor->begin() + 4, 4, 0);  // no owner
    return 0;
}

WinBool FakePlatform::GetVolumeInformationW(const wchar_t* rootPathName, Dword* fileSystemFlags) {
    if (recordCalls) Record("GetVolumeInformationW");
    const auto it = volumeFlags.find(rootPathName);
    if (it != volumeFlags.end() && it->second == kInvalidFileAttributes) return 0;
    *fileSystemFlags = it != volumeFlags.end() ? it->second : 0x3E706FF;  // NTFS
    return 1;
}

Dword FakePlatform::GetSystemDirectoryW(wchar_t* buffer, Dword size) {
    if (recordCalls) Record("GetSystemDirectoryW(" + std::to_string(size) + ")");
    if (Fails("GetSystemDirectoryW")) return 0;
    if (systemDirectory.size() + 1 > size) return static_cast<Dword>(systemDirectory.size() + 1);
    std::copy(systemDirectory.c_str(), systemDirectory.c_str() + systemDirectory.size() + 1, buffer);
    return static_cast<Dword>(systemDirectory.size());
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

std::int32_t FakePlatform::ReadScheduledTask(const std::wstring& name, ScheduledTaskRecord* record) {
    if (recordCalls) Record("ReadScheduledTask(" + WideToAnsi(name) + ")");
    if (scheduledTaskReadError) return HresultFromWin32(scheduledTaskReadError);
    if (!scheduledTask) return HresultFromWin32(kErrorFileNotFound);
    *record = *scheduledTask;
    return 0;
}

std::int32_t FakePlatform::SHGetKnownFolderPath(const Guid& folderId, Dword flags, Handle token, std::wstring* path) {
    if (recordCalls) Record("SHGetKnownFolderPath(" + Hex(folderId.Data1) + "," + Hex(flags) + ")");
    const auto found = knownFolders.find(folderId.Data1);
    // E_FAIL, as for a user without a profile; only the caller's own user is modelled.
    if (token != 0 || found == knownFolders.end()) return static_cast<std::int32_t>(0x80004005);
    *path = found->second;
    return 0;
}

}  // namespace mjr::testing
