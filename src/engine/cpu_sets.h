#pragma once
// CPU sets: "~" before a processor list. The scheduler keeps the process's threads on the
// named processors while it can, in every processor group, and the hard affinity stays as
// it is. Numbers count across all groups as Task Manager numbers them.
#include <optional>
#include <string_view>
#include <vector>

#include "common/counter.h"
#include "engine/cpu_list.h"
#include "platform/platform.h"

namespace mjr {

// What a "~" list names on this machine: processor numbers and their CPU-set identifiers.
struct CpuSetSelection {
    std::vector<int> numbers;  // ascending
    std::vector<Dword> ids;    // ascending
    std::vector<int> lacking;  // numbers past the machine's last processor: left out
    CpuMaskProblem problem = CpuMaskProblem::None;
};
CpuSetSelection SelectCpuSets(const CpuList& list, const CpuTopology& topology);
CpuSetSelection SelectCpuSets(std::wstring_view cpuText, const CpuTopology& topology);

// The process's default CPU sets, ascending, on a handle open for querying; empty when it has
// none; nothing when they cannot be read (Windows 10's call missing, or refused).
std::optional<std::vector<Dword>> ReadDefaultCpuSets(Platform& platform, Handle process);

struct CpuSetDecision {
    // Unsupported: Windows lacks SetProcessDefaultCpuSets (before Windows 10).
    enum class Action { Keep, Set, Fail, Unsupported } action = Action::Keep;
    std::vector<Dword> ids;  // Set: the identifiers to set
};
// Compares the process's default CPU sets, read on `queried`, with what the text names; an
// unreadable set is set again within the scan budget. Nothing is read for a list that fails
// or names none of this machine's processors.
CpuSetDecision DecideCpuSets(Platform& platform, const CpuTopology& topology, std::wstring_view cpuText,
                             Handle queried);

// Sets the identifiers on a handle open with PROCESS_SET_LIMITED_INFORMATION; a handle of 0
// (a failed open) and a failed set each count one in affinityErrors.
void ApplyCpuSets(Platform& platform, Handle process, const std::vector<Dword>& ids, Counter& affinityErrors);

}  // namespace mjr
