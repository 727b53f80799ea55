#pragma once
// Processor lists: "8-15", "0;2;4-6", "12;", "P", "C;24-31". A CPU text holding ';' or '-',
// or a name standing alone, is a list; every other text is CPU digits as ever.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "profile/cpu_words.h"

namespace mjr {

// How many processors a mask of this build holds (64 in the 64-bit program, 32 in the
// 32-bit one).
inline constexpr int kMaskBits = static_cast<int>(sizeof(DwordPtr) * 8);

// One processor as CPU sets name it.
struct CpuSetProcessor {
    Dword Id = 0;
    std::uint16_t Group = 0;
    std::uint8_t Index = 0;     // within the group
    bool Performance = false;   // what P names after "~": the fastest kind, or every processor
    bool Efficiency = false;    // what E names after "~": the slowest kind on a hybrid machine
    bool BigCache = false;      // what C names after "~": the largest level-3 cache, or every processor
    std::uint8_t EfficiencyClass = 0;  // as Windows reports it: higher is faster
};

// One level-3 cache's share of one group, as Windows reports it.
struct Level3Cache {
    Dword Bytes = 0;
    std::uint16_t Group = 0;
    DwordPtr Mask = 0;  // the group's processors it serves
};

// The machine's processors, read once at start. Masks are within the program's processor
// group and clipped to what a mask of this build holds.
struct CpuTopology {
    Dword Processors = 0;       // as GetSystemInfo counts them
    DwordPtr AllMask = 0;       // every processor: the system mask
    DwordPtr PerformanceMask = 0;  // the fastest efficiency class; 0 on a machine of one kind
    DwordPtr EfficiencyMask = 0;   // the slowest efficiency class; 0 on a machine of one kind
    DwordPtr BigCacheMask = 0;     // sharing the largest level-3 cache; 0 when the caches are alike
    Dword BigCacheBytes = 0;
    Dword SmallCacheBytes = 0;
    Dword Groups = 1;              // processor groups (more than one past 64 processors)
    // Every processor of every group in Task Manager's order (group 0 first): "~" numbers
    // index it. Empty where Windows cannot say (before Windows 10).
    std::vector<CpuSetProcessor> CpuSets;
    bool CpuSetsSettable = false;  // SetProcessDefaultCpuSets exists
    // The processors of the program's group that exist, those past what a mask of this build
    // holds included; where Windows cannot say and the mask is full, every processor past it.
    std::uint64_t PresentMask = 0;
    // Processors in every group: a number not present in the program's group but below this
    // lies in another group, which a hard affinity cannot reach.
    Dword MachineProcessors = 0;
    std::vector<Level3Cache> Level3Caches;  // every one Windows reports, in its order

    bool Hybrid() const noexcept { return PerformanceMask != 0; }
};

// Where Windows lists no CPU sets (before Windows 10), the processors of the program's group
// that may exist: a mask full for a build of `maskBits` may stand for more (a 32-bit program
// sees 32 of a larger machine's processors), so then every processor past it counts too.
std::uint64_t ProcessorsAMaskMayStandFor(std::uint64_t allMask, int maskBits = kMaskBits) noexcept;

// GetSystemInfo, GetSystemCpuSetInformation and GetLogicalProcessorInformationEx(RelationCache),
// and whether Windows has SetProcessDefaultCpuSets;
// where a call is missing or fails, the names fall back as on a machine of one kind.
CpuTopology ReadCpuTopology(Platform& platform);

enum class CpuMaskProblem {
    None,
    Refused,        // the text does not read as a list
    Unexpressible,  // names a processor beyond what a mask of this build holds
    Empty,          // names no processor this machine has ("E" without efficiency cores): left alone
};

// Processors another PC has are left out, so that one profile serves PCs of every size.
struct CpuListMask {
    DwordPtr mask = 0;
    CpuMaskProblem problem = CpuMaskProblem::None;
    std::uint64_t leftOut = 0;  // the numbers this machine does not have
};

// The mask of one name on this machine.
DwordPtr CpuNameMask(wchar_t name, const CpuTopology& topology) noexcept;
// The mask a list asks for on this machine; a problem instead when it cannot be set, or Empty
// when nothing of it is on this machine.
CpuListMask CpuListToMask(const CpuList& list, const CpuTopology& topology);
CpuListMask CpuListToMask(std::wstring_view text, const CpuTopology& topology);

// A mask as list text, ascending, runs of two or more as ranges: "0-3;8;10-11"; "" for 0.
std::wstring FormatCpuList(std::uint64_t mask);
// Ascending processor numbers in the same form.
std::wstring FormatProcessorNumbers(const std::vector<int>& numbers);

}  // namespace mjr
