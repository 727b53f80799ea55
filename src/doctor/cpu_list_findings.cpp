#include "doctor/cpu_list_findings.h"

#include <algorithm>

#include "doctor/report_text.h"
#include "engine/cpu_list.h"
#include "engine/cpu_sets.h"
#include "engine/priority.h"

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

std::wstring WhyRefused(const CpuList& list, int highest = kHighestListProcessor) {
    const std::wstring item = Quoted(list.badItem);
    switch (list.error) {
        case CpuListError::Backwards: {
            const std::size_t dash = list.badItem.find(L'-');
            return L"the range " + item + L" is written backwards (write " +
                   Quoted(list.badItem.substr(dash + 1) + L"-" + list.badItem.substr(0, dash)) + L")";
        }
        case CpuListError::BeyondLimit:
            return item + L" goes past " + std::to_wstring(highest) + L", the highest processor a list can name";
        case CpuListError::UnknownName:
            return item + L" is no name the program knows (P, E or C)";
        case CpuListError::NotAnItem:
        case CpuListError::None: break;
    }
    return item + L" is neither a processor number (0 to " + std::to_wstring(highest) +
           L"), a range N-M nor a name (P, E, C); items are separated by \";\"";
}

// Two digits that also read as one processor number on this machine: "10", "12".
bool LooksLikeOneNumber(const std::wstring& text, const Machine& machine) {
    if (text.size() != 2 || text[0] < L'1' || text[0] > L'9' || text[1] < L'0' || text[1] > L'9') return false;
    const Dword number = static_cast<Dword>((text[0] - L'0') * 10 + (text[1] - L'0'));
    return number < machine.Processors;
}

bool HasEfficiencyProcessors(const CpuTopology& t) {
    return std::any_of(t.CpuSets.begin(), t.CpuSets.end(), [](const CpuSetProcessor& p) { return p.Efficiency; });
}

std::wstring CpuSetSays(const std::wstring& text, const Machine& machine) {
    if (!machine.Cpu.Topology.CpuSetsSettable) return L"no CPU sets: they need Windows 10 or later";
    const CpuSetSelection selection = SelectCpuSets(text, machine.Cpu.Topology);
    switch (selection.problem) {
        case CpuMaskProblem::None: return L"CPU sets on " + NumbersShown(selection.numbers) + L"; hard affinity left alone";
        case CpuMaskProblem::Refused: return L"no CPU sets: the list does not read";
        case CpuMaskProblem::Lacking:
            return L"no CPU sets: it names " + NumbersShown(selection.lacking) + L", which this machine lacks";
        case CpuMaskProblem::Unexpressible:
        case CpuMaskProblem::Empty: break;
    }
    return L"no CPU sets: it names no processor on this machine";
}

// The warnings about a "~" list.
void CpuSetWarnings(const std::wstring& cpuText, const Machine& machine,
                    const std::function<void(const std::wstring&)>& emit) {
    const std::wstring shown = L"CPUs " + Quoted(cpuText);
    const CpuTopology& t = machine.Cpu.Topology;
    if (!t.CpuSetsSettable) {
        emit(shown + L": CPU sets need Windows 10 or later, and this Windows lacks them" + kFailsEveryScan +
             L"; write the list without \"~\" for a hard affinity");
        return;
    }
    std::wstring_view listText = CpuSetListText(cpuText);
    while (!listText.empty() && (listText.front() == L' ' || listText.front() == L'\t')) listText.remove_prefix(1);
    const CpuList list = ParseCpuList(listText, kHighestCpuSetProcessor);
    if (!list.Ok()) {
        emit(shown + L": " + WhyRefused(list, kHighestCpuSetProcessor) + kFailsEveryScan);
        return;
    }
    // "~01" reads as processor 1, as a number; digits one processor each are the other form.
    if (listText.size() >= 2 && listText[0] == L'0' &&
        std::all_of(listText.begin(), listText.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; })) {
        std::vector<int> digits;
        for (wchar_t c : listText) digits.push_back(c - L'0');
        std::sort(digits.begin(), digits.end());
        digits.erase(std::unique(digits.begin(), digits.end()), digits.end());
        emit(shown + L" is " + NumbersShown({list.items[0].first}) + L": after \"~\" every number is a processor "
             L"number, not CPU digits; for " + NumbersShown(digits) + L" write " +
             Quoted(L"~" + FormatProcessorNumbers(digits)));
    }
    const CpuSetSelection selection = SelectCpuSets(list, t);
    if (!selection.lacking.empty())
        emit(shown + L" names " + NumbersShown(selection.lacking) + L", which this machine lacks (it has processors 0-" +
             std::to_wstring(t.CpuSets.size() - 1) + L" across its groups)" + kFailsEveryScan);
    if (NamesE(list) && !HasEfficiencyProcessors(t))
        emit(shown + L": E names no processor on this machine, which has no efficiency processors" +
             (selection.problem == CpuMaskProblem::Empty ? std::wstring(kFailsEveryScan) : std::wstring()));
}

}  // namespace

std::wstring NumbersShown(const std::vector<int>& numbers) {
    return (numbers.size() == 1 ? L"processor " : L"processors ") + FormatProcessorNumbers(numbers);
}

std::vector<int> CpuSetNumbers(const std::vector<Dword>& ids, const Machine& machine) {
    std::vector<int> numbers;
    const std::vector<CpuSetProcessor>& all = machine.Cpu.Topology.CpuSets;
    for (std::size_t n = 0; n < all.size(); ++n)
        if (std::find(ids.begin(), ids.end(), all[n].Id) != ids.end()) numbers.push_back(static_cast<int>(n));
    return numbers;
}

std::wstring CpuSetNumberingLine(const Machine& machine) {
    const CpuTopology& t = machine.Cpu.Topology;
    if (!t.CpuSetsSettable || t.CpuSets.empty())
        return L"CPU sets (\"~\" before a list): this Windows has none; they need Windows 10 or later.";
    std::wstring line = L"CPU sets (\"~\" before a list) number processors 0-" + std::to_wstring(t.CpuSets.size() - 1);
    if (t.Groups > 1) {
        line += L" across " + std::to_wstring(t.Groups) + L" processor groups, as Task Manager numbers them (";
        for (std::size_t n = 0; n < t.CpuSets.size();) {
            std::size_t end = n;
            while (end + 1 < t.CpuSets.size() && t.CpuSets[end + 1].Group == t.CpuSets[n].Group) ++end;
            if (n > 0) line += L", ";
            line += L"group " + std::to_wstring(t.CpuSets[n].Group) + L": " + std::to_wstring(n) + L"-" + std::to_wstring(end);
            n = end + 1;
        }
        line += L")";
    }
    return line + L"; P, E and C after \"~\" name processors in every group.";
}

std::vector<std::wstring> PowerExplanations(const FavoritesTable& favorites,
                                            const std::vector<std::size_t>& favoriteLines) {
    std::vector<std::wstring> lines;
    const std::vector<FavoriteRecord>& records = favorites.Records();
    for (std::size_t i = 0; i < records.size() && i < favoriteLines.size(); ++i) {
        const std::wstring& text = records[i].Priority;
        const PriorityRequest request = ReadPriorityText(text);
        if (request.power == PowerWord::None) continue;
        bool joined = false;
        PowerPart(text, joined);
        const std::wstring says = !joined ? L"Task Manager's Efficiency mode: Low, with EcoQoS on"
                                  : request.power == PowerWord::Eco ? L"EcoQoS on: Windows runs it slowly and frugally"
                                                                    : L"never throttled: EcoQoS off and kept off";
        lines.push_back(L"  line " + std::to_wstring(favoriteLines[i]) + L": priority " + Quoted(text) + L": " + says);
    }
    if (!lines.empty()) lines.insert(lines.begin(), L"Power words (Windows 11 throttles programs it thinks in the background):");
    return lines;
}

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
        if (IsCpuSetText(text)) {
            lines.push_back(L"  line " + std::to_wstring(favoriteLines[i]) + L": CPUs " + Quoted(text) + L": " +
                            CpuSetSays(text, machine));
            continue;
        }
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
            case CpuMaskProblem::Lacking:
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
    if (IsCpuSetText(cpuText)) {
        CpuSetWarnings(cpuText, machine, emit);
        return true;
    }
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
