#include "doctor/cpu_list_findings.h"

#include "doctor/report_text.h"
#include "engine/cpu_list.h"

namespace mjr::doctor {
namespace {

constexpr wchar_t kFailsEveryScan[] = L": the program sets nothing and counts a failure on every scan";

std::wstring Megabytes(Dword bytes) { return std::to_wstring(bytes >> 20) + L" MB"; }

// "processor 12" or "processors 0-3;8".
std::wstring ProcessorsShown(std::uint64_t mask) {
    const std::wstring list = FormatCpuList(mask);
    const bool one = mask != 0 && (mask & (mask - 1)) == 0;
    return (one ? L"processor " : L"processors ") + list;
}

// The numbers of a list that name processors, names left out.
std::uint64_t NumberedMask(const CpuList& list) {
    std::uint64_t mask = 0;
    for (const CpuListItem& item : list.items)
        if (item.kind != CpuListItem::Kind::Name)
            for (int processor = item.first; processor <= item.last; ++processor) mask |= std::uint64_t{1} << processor;
    return mask;
}

bool NamesE(const CpuList& list) {
    for (const CpuListItem& item : list.items)
        if (item.kind == CpuListItem::Kind::Name && item.name == L'E') return true;
    return false;
}

std::wstring WhyRefused(const CpuList& list) {
    const std::wstring item = Quoted(list.badItem);
    switch (list.error) {
        case CpuListError::Backwards: {
            const std::size_t dash = list.badItem.find(L'-');
            return L"the range " + item + L" is written backwards (write " +
                   Quoted(list.badItem.substr(dash + 1) + L"-" + list.badItem.substr(0, dash)) + L")";
        }
        case CpuListError::BeyondLimit:
            return item + L" goes past 63, the highest processor a list can name";
        case CpuListError::UnknownName:
            return item + L" is no name the program knows (P, E or C)";
        case CpuListError::NotAnItem:
        case CpuListError::None: break;
    }
    return item + L" is neither a processor number (0 to 63), a range N-M nor a name (P, E, C); "
                  L"items are separated by \";\"";
}

// Two digits that also read as one processor number on this machine: "10", "12".
bool LooksLikeOneNumber(const std::wstring& text, const Machine& machine) {
    if (text.size() != 2 || text[0] < L'1' || text[0] > L'9' || text[1] < L'0' || text[1] > L'9') return false;
    const Dword number = static_cast<Dword>((text[0] - L'0') * 10 + (text[1] - L'0'));
    return number < machine.Processors;
}

}  // namespace

std::wstring MachineLine(const Machine& machine) {
    const CpuTopology& t = machine.Cpu.Topology;
    std::wstring line = L"Machine: ";
    if (t.Groups > 1) {
        line += std::to_wstring(t.Groups) + L" processor groups, " + std::to_wstring(machine.Processors) +
                L" processors in this one (a list applies within the group a program runs in; there P and C name "
                L"all of it, E nothing)";
    } else {
        line += std::to_wstring(machine.Processors) + L" processors";
        if (t.Hybrid())
            line += L" (performance " + FormatCpuList(t.PerformanceMask) + L", efficiency " +
                    FormatCpuList(t.EfficiencyMask) + L")";
        if (t.BigCacheMask != 0)
            line += L" (the larger level-3 cache, " + Megabytes(t.BigCacheBytes) + L", serves " +
                    FormatCpuList(t.BigCacheMask) + L"; " + Megabytes(t.SmallCacheBytes) + L" the others)";
    }
    return line + L"; the program reads back CPU digits 0 to " + std::to_wstring(machine.Cpu.MaxCpuIndex) + L".";
}

std::vector<std::wstring> ListExplanations(const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines, const Machine& machine) {
    std::vector<std::wstring> lines;
    const std::vector<FavoriteRecord>& records = favorites.Records();
    for (std::size_t i = 0; i < records.size() && i < favoriteLines.size(); ++i) {
        const std::wstring& text = records[i].Affinity;
        if (!IsCpuList(text)) continue;
        const CpuListMask wanted = CpuListToMask(text, machine.Cpu.Topology);
        std::wstring says;
        switch (wanted.problem) {
            case CpuMaskProblem::None: says = ProcessorsShown(wanted.mask); break;
            case CpuMaskProblem::Refused: says = L"no processors: the list does not read"; break;
            case CpuMaskProblem::Unexpressible:
                says = L"no processors: it names processors beyond the " + std::to_wstring(kMaskBits) +
                       L" this program can set";
                break;
            case CpuMaskProblem::Empty: says = L"no processors on this machine"; break;
        }
        if (wanted.problem == CpuMaskProblem::None && machine.Cpu.Topology.Groups > 1)
            says += L" of the group the program runs in";
        lines.push_back(L"  line " + std::to_wstring(favoriteLines[i]) + L": CPUs " + Quoted(text) + L": " + says);
    }
    if (!lines.empty()) lines.insert(lines.begin(), L"Processor lists, as this machine reads them:");
    return lines;
}

bool CpuTextWarnings(const std::wstring& cpuText, const Machine& machine,
                     const std::function<void(const std::wstring&)>& emit) {
    const std::wstring shown = L"CPUs " + Quoted(cpuText);
    if (!IsCpuList(cpuText)) {
        if (!LooksLikeOneNumber(cpuText, machine)) return false;
        const DwordPtr mask = static_cast<std::uint32_t>(DigitsToMask(machine.Cpu, cpuText));
        const std::wstring settled = AffinityMaskToDigits(mask, machine.Cpu.MaxCpuIndex);
        std::wstring line = shown + L" are CPU digits, one processor each: " + ProcessorsShown(mask);
        if (settled != cpuText && !settled.empty()) line += L", written " + Quoted(settled);
        emit(line + L"; for processor " + cpuText + L" alone write " + Quoted(cpuText + L";"));
        // Digits past what is read back keep their own warning as well.
        return cpuText[0] - L'0' <= machine.Cpu.MaxCpuIndex && cpuText[1] - L'0' <= machine.Cpu.MaxCpuIndex;
    }
    const CpuList list = ParseCpuList(cpuText);
    if (!list.Ok()) {
        emit(shown + L": " + WhyRefused(list) + kFailsEveryScan);
        return true;
    }
    const CpuTopology& t = machine.Cpu.Topology;
    const CpuListMask wanted = CpuListToMask(list, t);
    const std::uint64_t numbered = NumberedMask(list);
    if (wanted.problem == CpuMaskProblem::Unexpressible) {
        emit(shown + L" names processors from " + std::to_wstring(kMaskBits) + L" up, beyond what the " +
             std::to_wstring(kMaskBits) + L"-bit program can set" + kFailsEveryScan +
             L"; use MarrowbineJr64.exe (and MarrowbineJrCheck64.exe to check)");
        return true;
    }
    const std::uint64_t lacking = numbered & ~static_cast<std::uint64_t>(t.AllMask);
    if (lacking != 0)
        emit(shown + L" names " + ProcessorsShown(lacking) + L", which this machine lacks (it has " +
             ProcessorsShown(t.AllMask) + L"): Windows refuses the setting, and a failure is counted on every scan");
    if (NamesE(list) && !t.Hybrid())
        emit(shown + L": E names no processor on this machine, which has no efficiency processors" +
             (wanted.problem == CpuMaskProblem::Empty ? std::wstring(kFailsEveryScan) : std::wstring()));
    return true;
}

std::wstring CurrentCpusShown(const std::wstring& cpuText, DwordPtr mask, const Machine& machine) {
    if (mask == 0) return L"CPUs unreadable";
    if (IsCpuList(cpuText) || LeavesProcessors(cpuText)) return L"CPUs " + FormatCpuList(mask);
    return L"CPUs " + Quoted(AffinityMaskToDigits(mask, machine.Cpu.MaxCpuIndex));
}

}  // namespace mjr::doctor
