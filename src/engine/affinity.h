#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/counter.h"
#include "engine/cpu_list.h"
#include "platform/platform.h"

namespace mjr {

struct CpuTable {
    std::vector<std::int32_t> CpuBits;  // entry d: the mask of processor d alone
    std::int32_t MaxCpuIndex = 0;        // highest digit AffinityMaskToDigits reports
    CpuTopology Topology = {};           // what processor lists name on this machine
};

// The single-bit values set in the mask, lowest first; empty for 0.
std::vector<std::int32_t> MaskToBitList(std::int32_t mask);
std::vector<std::int32_t> BuildCpuBits();

// The processor count less one, capped at 7.
std::int32_t MaxCpuIndexFor(Dword numberOfProcessors) noexcept;

// The mask built from CPU digits: the OR of each character's entry, non-digits and the
// empty text selecting processor 0. A digit past the table selects that processor alone.
std::int32_t DigitsToMask(const CpuTable& cpu, std::wstring_view digits) noexcept;

// The whole affinity mask of the process a handle open for querying holds; 0 when it cannot
// be read.
DwordPtr ReadAffinityMask(Platform& platform, Handle process);
// Digits of the mask's low bits: processors 0 to maxCpuIndex.
std::wstring AffinityMaskToDigits(DwordPtr mask, std::int32_t maxCpuIndex);
// Sets the mask of the digits on a handle open for setting; a handle of 0 (a failed open)
// and a failed set each count one in affinityErrors.
void ApplyAffinity(Platform& platform, const CpuTable& cpu, Handle process, std::wstring_view digits,
                   Counter& affinityErrors);

// What a favourite's CPU text asks of a process whose mask reads `current`.
struct AffinityDecision {
    enum class Action { Keep, Set, Fail } action = Action::Keep;
    DwordPtr mask = 0;  // Set: the mask to set
};
// Digits compare as text and set what the digits build; a list compares masks, and one
// that cannot be set (refused, beyond this build) fails each time. "Default", and a list
// naming none of this machine's processors, keep whatever the process has.
AffinityDecision DecideAffinity(const CpuTable& cpu, std::wstring_view cpuText, DwordPtr current);

// Sets a mask on a handle open for setting, counted as ApplyAffinity counts.
void ApplyAffinityMask(Platform& platform, Handle process, DwordPtr mask, Counter& affinityErrors);

}  // namespace mjr
