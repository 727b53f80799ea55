#include "engine/cpu_sets.h"

#include <algorithm>

namespace mjr {
namespace {

// More identifiers than Windows counts processors is no answer.
constexpr Dword kMostCpuSets = kHighestCpuSetProcessor + 1;

bool NamedBy(wchar_t name, const CpuSetProcessor& processor) noexcept {
    switch (name) {
        case L'P': return processor.Performance;
        case L'E': return processor.Efficiency;
        default: return processor.BigCache;
    }
}

}  // namespace

CpuSetSelection SelectCpuSets(const CpuList& list, const CpuTopology& topology) {
    CpuSetSelection selection;
    if (!list.Ok()) {
        selection.problem = CpuMaskProblem::Refused;
        return selection;
    }
    const std::vector<CpuSetProcessor>& all = topology.CpuSets;
    std::vector<bool> chosen(all.size(), false);
    for (const CpuListItem& item : list.items) {
        if (item.kind == CpuListItem::Kind::Name) {
            for (std::size_t n = 0; n < all.size(); ++n) chosen[n] = chosen[n] || NamedBy(item.name, all[n]);
            continue;
        }
        for (int number = item.first; number <= item.last; ++number) {
            if (static_cast<std::size_t>(number) < all.size()) {
                chosen[static_cast<std::size_t>(number)] = true;
            } else if (std::find(selection.lacking.begin(), selection.lacking.end(), number) == selection.lacking.end()) {
                selection.lacking.push_back(number);
            }
        }
    }
    for (std::size_t n = 0; n < all.size(); ++n) {
        if (!chosen[n]) continue;
        selection.numbers.push_back(static_cast<int>(n));
        selection.ids.push_back(all[n].Id);
    }
    std::sort(selection.ids.begin(), selection.ids.end());
    std::sort(selection.lacking.begin(), selection.lacking.end());
    if (selection.ids.empty()) selection.problem = CpuMaskProblem::Empty;
    return selection;
}

CpuSetSelection SelectCpuSets(std::wstring_view cpuText, const CpuTopology& topology) {
    return SelectCpuSets(ParseCpuList(CpuSetListText(cpuText), kHighestCpuSetProcessor), topology);
}

std::optional<std::vector<Dword>> ReadDefaultCpuSets(Platform& platform, Handle process) {
    if (process == 0) return std::nullopt;
    Dword required = 0;
    if (platform.GetProcessDefaultCpuSets(process, nullptr, 0, &required)) return std::vector<Dword>{};
    if (platform.GetLastError() != kErrorInsufficientBuffer || required == 0 || required > kMostCpuSets)
        return std::nullopt;
    std::vector<Dword> ids(required);
    Dword written = 0;
    if (!platform.GetProcessDefaultCpuSets(process, ids.data(), required, &written) || written > required)
        return std::nullopt;
    ids.resize(written);
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

CpuSetDecision DecideCpuSets(Platform& platform, const CpuTopology& topology, std::wstring_view cpuText,
                             Handle queried) {
    CpuSetDecision decision;
    if (!topology.CpuSetsSettable) {
        decision.action = CpuSetDecision::Action::Unsupported;
        return decision;
    }
    CpuSetSelection wanted = SelectCpuSets(cpuText, topology);
    if (wanted.problem == CpuMaskProblem::Empty) return decision;
    if (wanted.problem != CpuMaskProblem::None) {
        decision.action = CpuSetDecision::Action::Fail;
        return decision;
    }
    if (ReadDefaultCpuSets(platform, queried) == wanted.ids) return decision;
    decision.action = CpuSetDecision::Action::Set;
    decision.ids = std::move(wanted.ids);
    return decision;
}

void ApplyCpuSets(Platform& platform, Handle process, const std::vector<Dword>& ids, Counter& affinityErrors) {
    if (process == 0 || !platform.SetProcessDefaultCpuSets(process, ids.data(), static_cast<Dword>(ids.size())))
        affinityErrors.Increment();
}

}  // namespace mjr
