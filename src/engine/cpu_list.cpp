#include "engine/cpu_list.h"
#include "common/text.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace mjr {
namespace {

// A topology answer larger than this is no answer (a few thousand processors fit easily).
constexpr Dword kMaxTopologyBytes = 1u << 20;
constexpr Dword kLevel3 = 3;

DwordPtr Bit(int processor) noexcept { return DwordPtr{1} << processor; }

// The bits 0 to count-1, as many as a mask holds.
DwordPtr LowBits(Dword count) noexcept {
    return count >= static_cast<Dword>(kMaskBits) ? ~DwordPtr{0} : Bit(static_cast<int>(count)) - 1;
}

// Copies the records of a topology call into an aligned buffer: asks the size, then reads.
template <typename Call>
std::vector<std::uint64_t> ReadRecords(Platform& platform, Call call) {
    Dword needed = 0;
    if (call(nullptr, &needed) || platform.GetLastError() != kErrorInsufficientBuffer || needed == 0 ||
        needed > kMaxTopologyBytes)
        return {};
    std::vector<std::uint64_t> buffer((needed + 7) / 8);
    Dword length = needed;
    if (!call(buffer.data(), &length) || length > needed) return {};
    buffer.resize((length + 7) / 8);
    std::memset(reinterpret_cast<char*>(buffer.data()) + length, 0, buffer.size() * 8 - length);
    return buffer;
}

// Walks records of varying size: each starts with its Size at sizeOffset.
template <typename Record, typename Visit>
void EachRecord(const std::vector<std::uint64_t>& buffer, std::size_t sizeOffset, Visit visit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    const std::size_t total = buffer.size() * 8;
    for (std::size_t at = 0; at + sizeOffset + sizeof(Dword) <= total;) {
        Dword size = 0;
        std::memcpy(&size, bytes + at + sizeOffset, sizeof size);
        if (size < sizeOffset + sizeof(Dword) || size > total - at) return;  // a broken answer ends the walk
        Record record{};
        std::memcpy(&record, bytes + at, std::min<std::size_t>(size, sizeof record));
        visit(record, bytes + at, static_cast<std::size_t>(size));
        at += size;
    }
}

void ReadEfficiencyClasses(Platform& platform, CpuTopology& topology) {
    const auto call = [&](void* buffer, Dword* length) {
        return platform.GetSystemCpuSetInformation(buffer, buffer ? *length : 0, length, 0, 0);
    };
    const std::vector<std::uint64_t> records = ReadRecords(platform, call);
    std::map<int, DwordPtr> byClass;
    std::vector<std::pair<CpuSetProcessor, int>> sets;  // every group's processors and their classes
    EachRecord<SystemCpuSetInformation>(records, 0, [&](const SystemCpuSetInformation& set, const unsigned char*,
                                                        std::size_t) {
        if (set.Type != kCpuSetInformation || sets.size() > kHighestCpuSetProcessor) return;
        CpuSetProcessor processor;
        processor.Id = set.Id;
        processor.Group = set.Group;
        processor.Index = set.LogicalProcessorIndex;
        processor.EfficiencyClass = set.EfficiencyClass;
        sets.emplace_back(processor, set.EfficiencyClass);
        topology.Groups = std::max<Dword>(topology.Groups, Dword{set.Group} + 1);
        if (set.Group == 0 && set.LogicalProcessorIndex < kMaskBits)
            byClass[set.EfficiencyClass] |= Bit(set.LogicalProcessorIndex);
    });
    // Task Manager's order; the kinds across every group.
    std::sort(sets.begin(), sets.end(), [](const auto& a, const auto& b) {
        return a.first.Group != b.first.Group ? a.first.Group < b.first.Group : a.first.Index < b.first.Index;
    });
    int slowest = 255, fastest = 0;
    for (const auto& [processor, efficiencyClass] : sets) {
        slowest = std::min(slowest, efficiencyClass);
        fastest = std::max(fastest, efficiencyClass);
    }
    for (auto [processor, efficiencyClass] : sets) {
        processor.Performance = efficiencyClass == fastest;
        processor.Efficiency = slowest != fastest && efficiencyClass == slowest;
        topology.CpuSets.push_back(processor);
    }
    if (byClass.size() < 2) return;  // one kind of processor
    topology.EfficiencyMask = byClass.begin()->second;
    topology.PerformanceMask = byClass.rbegin()->second;
}

void ReadLevel3Caches(Platform& platform, CpuTopology& topology) {
    const auto call = [&](void* buffer, Dword* length) {
        if (!buffer) *length = 0;
        return platform.GetLogicalProcessorInformationEx(kRelationCache, buffer, length);
    };
    const std::vector<std::uint64_t> records = ReadRecords(platform, call);
    std::map<Dword, DwordPtr> bySize;  // level-3 size -> the group-0 processors sharing one
    std::map<Dword, std::vector<GroupAffinity>> everyGroupBySize;
    std::size_t caches = 0;
    EachRecord<SystemLogicalProcessorInformationEx>(
        records, offsetof(SystemLogicalProcessorInformationEx, Size),
        [&](const SystemLogicalProcessorInformationEx& info, const unsigned char* raw, std::size_t size) {
            if (info.Relationship != kRelationCache || info.Cache.Level != kLevel3) return;
            ++caches;
            const std::size_t first = offsetof(SystemLogicalProcessorInformationEx, Cache) +
                                      offsetof(CacheRelationship, GroupMask);
            const std::size_t count = std::max<std::size_t>(info.Cache.GroupCount, 1);
            for (std::size_t k = 0; k < count && first + (k + 1) * sizeof(GroupAffinity) <= size; ++k) {
                GroupAffinity mask;
                std::memcpy(&mask, raw + first + k * sizeof(GroupAffinity), sizeof mask);
                topology.Groups = std::max<Dword>(topology.Groups, Dword{mask.Group} + 1);
                if (mask.Group == 0) bySize[info.Cache.CacheSize] |= mask.Mask;
                topology.Level3Caches.push_back({info.Cache.CacheSize, mask.Group, mask.Mask});
                everyGroupBySize[info.Cache.CacheSize].push_back(mask);
            }
        });
    // After "~", C names the processors of the largest caches in every group.
    const bool cachesDiffer = caches >= 2 && everyGroupBySize.size() >= 2;
    for (CpuSetProcessor& processor : topology.CpuSets) {
        processor.BigCache = !cachesDiffer;
        if (cachesDiffer)
            for (const GroupAffinity& mask : everyGroupBySize.rbegin()->second)
                if (mask.Group == processor.Group && processor.Index < kMaskBits && (mask.Mask >> processor.Index & 1))
                    processor.BigCache = true;
    }
    if (caches < 2 || bySize.size() < 2) return;  // one cache, or all of one size
    topology.SmallCacheBytes = bySize.begin()->first;
    topology.BigCacheBytes = bySize.rbegin()->first;
    topology.BigCacheMask = bySize.rbegin()->second;
}

void AppendRun(std::wstring& text, int first, int last) {
    if (!text.empty()) text += L';';
    text += std::to_wstring(first);
    if (last > first) text += L'-' + std::to_wstring(last);
}

}  // namespace

std::uint64_t ProcessorsAMaskMayStandFor(std::uint64_t allMask, int maskBits) noexcept {
    const std::uint64_t full = maskBits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << maskBits) - 1;
    return allMask == full ? ~std::uint64_t{0} : allMask;
}

CpuTopology ReadCpuTopology(Platform& platform) {
    CpuTopology topology;
    SystemInfo info{};
    platform.GetSystemInfo(&info);
    topology.Processors = info.dwNumberOfProcessors;
    topology.AllMask = info.dwActiveProcessorMask != 0 ? info.dwActiveProcessorMask : LowBits(info.dwNumberOfProcessors);
    ReadEfficiencyClasses(platform, topology);
    ReadLevel3Caches(platform, topology);
    topology.CpuSetsSettable = platform.Kernel32Exports("SetProcessDefaultCpuSets");
    topology.PresentMask = topology.AllMask;
    for (const CpuSetProcessor& processor : topology.CpuSets)
        if (processor.Group == 0 && processor.Index < 64) topology.PresentMask |= std::uint64_t{1} << processor.Index;
    topology.MachineProcessors = static_cast<Dword>(topology.CpuSets.size());
    if (topology.CpuSets.empty()) {
        // Before Windows 10: a full mask may hide more processors (a 32-bit program sees 32 at most).
        topology.PresentMask = ProcessorsAMaskMayStandFor(topology.AllMask);
        topology.MachineProcessors = topology.Groups > 1 ? topology.Groups * 64 : topology.Processors;
    }
    topology.PerformanceMask &= topology.AllMask;
    topology.EfficiencyMask &= topology.AllMask;
    topology.BigCacheMask &= topology.AllMask;
    // Past one group the program cannot tell which group a process runs in: the names
    // fall back as on a machine of one kind.
    if (topology.Groups > 1 || topology.PerformanceMask == 0 || topology.EfficiencyMask == 0)
        topology.PerformanceMask = topology.EfficiencyMask = 0;
    if (topology.Groups > 1 || topology.BigCacheMask == topology.AllMask) {
        topology.BigCacheMask = 0;
        topology.BigCacheBytes = topology.SmallCacheBytes = 0;
    }
    return topology;
}

DwordPtr CpuNameMask(wchar_t name, const CpuTopology& topology) noexcept {
    switch (AsciiUpper(name)) {
        case L'P': return topology.Hybrid() ? topology.PerformanceMask : topology.AllMask;
        case L'E': return topology.Hybrid() ? topology.EfficiencyMask : 0;
        case L'C': return topology.BigCacheMask != 0 ? topology.BigCacheMask : topology.AllMask;
        default: return 0;
    }
}

CpuListMask CpuListToMask(const CpuList& list, const CpuTopology& topology) {
    CpuListMask result;
    if (!list.Ok()) {
        result.problem = CpuMaskProblem::Refused;
        return result;
    }
    for (const CpuListItem& item : list.items) {
        if (item.kind == CpuListItem::Kind::Name) {
            result.mask |= CpuNameMask(item.name, topology);
            continue;
        }
        for (int processor = item.first; processor <= item.last; ++processor) {
            const std::uint64_t bit = std::uint64_t{1} << processor;
            // Another group's processors stay, for Windows to refuse as ever.
            if (!(topology.PresentMask & bit) && static_cast<Dword>(processor) >= topology.MachineProcessors) {
                result.leftOut |= bit;
            } else if (processor >= kMaskBits) {
                result.mask = 0;
                result.problem = CpuMaskProblem::Unexpressible;
                return result;
            } else {
                result.mask |= Bit(processor);
            }
        }
    }
    if (result.mask == 0) result.problem = CpuMaskProblem::Empty;
    return result;
}

CpuListMask CpuListToMask(std::wstring_view text, const CpuTopology& topology) {
    return CpuListToMask(ParseCpuList(text), topology);
}

std::wstring FormatCpuList(std::uint64_t mask) {
    std::vector<int> numbers;
    for (int processor = 0; processor < 64; ++processor)
        if (mask >> processor & 1) numbers.push_back(processor);
    return FormatProcessorNumbers(numbers);
}

std::wstring FormatProcessorNumbers(const std::vector<int>& numbers) {
    std::wstring text;
    for (std::size_t k = 0; k < numbers.size();) {
        std::size_t end = k;
        while (end + 1 < numbers.size() && numbers[end + 1] == numbers[end] + 1) ++end;
        AppendRun(text, numbers[k], numbers[end]);
        k = end + 1;
    }
    return text;
}

}  // namespace mjr
