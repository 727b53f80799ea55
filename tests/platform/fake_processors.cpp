// The platform fake's processors: the machine's topology as the two topology calls report it,
// and what a process may run on: its affinity, CPU sets, power throttling and priority class.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "platform/fake_platform.h"
#include "platform/fake_platform_internal.h"

namespace mjr::testing {
namespace {

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

bool IsValidPriorityClass(Dword c) {
    switch (c) {
        case 0x20: case 0x40: case 0x80: case 0x100: case 0x4000: case 0x8000: return true;
        default: return false;
    }
}

}  // namespace

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

bool FakePlatform::LacksPrivilegeFor(const FakeProcess& process) {
    const Dword luid = process.setsNeedPrivilege;
    const auto held = tokenPrivileges.find(luid);
    const Dword attributes = held == tokenPrivileges.end() ? 0 : luid == 20 ? privilegeAttributes_ : held->second;
    if (luid == 0 || (attributes & kSePrivilegeEnabled)) return false;
    lastError = kErrorPrivilegeNotHeld;
    return true;
}

}  // namespace mjr::testing
