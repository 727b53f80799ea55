#include "doctor/cpu_list_findings.h"

#include <algorithm>
#include <optional>

#include "common/text.h"
#include "doctor/report_text.h"
#include "engine/cpu_list.h"
#include "engine/cpu_sets.h"
#include "engine/priority.h"

namespace mjr::doctor {
namespace {

constexpr wchar_t kFailsEveryScan[] = L": the program sets nothing and counts a failure on every scan";

std::wstring Megabytes(Dword bytes) { return std::to_wstring(bytes >> 20) + L" MB"; }

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

// Two digits read as one processor number a list can name ("10", "12").
std::optional<Dword> AsOneNumber(const std::wstring& text) {
    const auto digit = [](wchar_t c) { return c >= L'0' && c <= L'9'; };
    if (text.size() != 2 || !digit(text[0]) || !digit(text[1]) || text[0] == L'0') return std::nullopt;
    const Dword number = Dword(text[0] - L'0') * 10 + Dword(text[1] - L'0');
    if (number > Dword{kHighestListProcessor}) return std::nullopt;
    return number;
}

// Two digits that also read as one processor number on this machine.
bool LooksLikeOneNumber(const std::wstring& text, const Machine& machine) {
    const std::optional<Dword> number = AsOneNumber(text);
    return number && *number < machine.Processors;
}

bool HasEfficiencyProcessors(const CpuTopology& t) {
    return std::any_of(t.CpuSets.begin(), t.CpuSets.end(), [](const CpuSetProcessor& p) { return p.Efficiency; });
}

// What a list leaves out on this PC, ahead of what it names: "processors 2-7 do not exist
// here; this PC has no efficiency processors; ". A Windows that lists no CPU sets cannot tell
// the kinds apart, whatever the PC has.
std::wstring LeftOutShown(const std::vector<int>& lacking, bool efficiencyLacking, const CpuTopology& t) {
    std::wstring text;
    if (!lacking.empty()) text = NumbersShown(lacking) + (lacking.size() == 1 ? L" does not exist here; " : L" do not exist here; ");
    if (efficiencyLacking)
        text += t.CpuSets.empty() ? L"this Windows cannot tell efficiency processors apart (it lists no CPU sets); "
                                  : L"this PC has no efficiency processors; ";
    return text;
}

std::vector<int> NumbersOf(std::uint64_t mask) {
    std::vector<int> numbers;
    for (int n = 0; n < 64; ++n)
        if (mask >> n & 1) numbers.push_back(n);
    return numbers;
}

constexpr wchar_t kLeftAlone[] = L"the processors are left alone";

std::wstring CpuSetSays(const std::wstring& text, const Machine& machine) {
    const CpuTopology& t = machine.Cpu.Topology;
    if (!t.CpuSetsSettable) return L"no CPU sets: they need Windows 10 or later";
    const CpuList list = ParseCpuList(CpuSetListText(text), kHighestCpuSetProcessor);
    const CpuSetSelection selection = SelectCpuSets(list, t);
    if (selection.problem == CpuMaskProblem::Refused) return L"no CPU sets: the list does not read";
    return LeftOutShown(selection.lacking, NamesE(list) && !HasEfficiencyProcessors(t), t) +
           (selection.problem == CpuMaskProblem::Empty ? std::wstring(kLeftAlone)
                                                       : L"CPU sets " + FormatProcessorNumbers(selection.numbers) +
                                                             L"; hard affinity left alone");
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
    const std::wstring_view listText = TrimBlanks(CpuSetListText(cpuText));
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
}

}  // namespace

std::wstring ProcessorsShown(std::uint64_t mask) {
    const std::wstring list = FormatCpuList(mask);
    const bool one = mask != 0 && (mask & (mask - 1)) == 0;
    return (one ? L"processor " : L"processors ") + list;
}

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
        line += Counted(machine.Processors, L"processor", L"processors");
        if (t.Hybrid())
            line += L" (performance " + FormatCpuList(t.PerformanceMask) + L", efficiency " +
                    FormatCpuList(t.EfficiencyMask) + L")";
        if (t.BigCacheMask != 0)
            line += L" (the larger level-3 cache, " + Megabytes(t.BigCacheBytes) + L", serves " +
                    FormatCpuList(t.BigCacheMask) + L"; " + Megabytes(t.SmallCacheBytes) + L" the others)";
    }
    // Digits name one processor each, and only those the program reads back compare as equal.
    const auto highestDigit = static_cast<Dword>(machine.Cpu.MaxCpuIndex);
    line += L"; CPU digits name " + (highestDigit == 0 ? std::wstring(L"processor 0")
                                                        : L"processors 0 to " + std::to_wstring(highestDigit)) +
            L" here, one digit each";
    std::uint64_t others = 0;
    for (Dword processor = highestDigit + 1; processor < machine.Processors && processor < 64; ++processor)
        others |= std::uint64_t{1} << processor;
    if (others != 0) line += L", and a list such as " + Quoted(FormatCpuList(others)) + L" the others";
    return line + L" (the program reads back CPU digits 0 to " + std::to_wstring(highestDigit) + L").";
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
        const CpuList list = ParseCpuList(text);
        const CpuListMask wanted = CpuListToMask(list, machine.Cpu.Topology);
        const std::wstring leftOut = LeftOutShown(NumbersOf(wanted.leftOut), NamesE(list) && !machine.Cpu.Topology.Hybrid(),
                                                    machine.Cpu.Topology);
        std::wstring says;
        switch (wanted.problem) {
            case CpuMaskProblem::None: says = leftOut + ProcessorsShown(wanted.mask); break;
            case CpuMaskProblem::Refused: says = L"no processors: the list does not read"; break;
            case CpuMaskProblem::Unexpressible:
                says = L"no processors: it names processors beyond the " + std::to_wstring(kMaskBits) +
                       L" this program can set";
                break;
            case CpuMaskProblem::Empty: says = leftOut + kLeftAlone; break;
        }
        if (wanted.problem == CpuMaskProblem::None && machine.Cpu.Topology.Groups > 1)
            says += L" of the group the program runs in";
        lines.push_back(L"  line " + std::to_wstring(favoriteLines[i]) + L": CPUs " + Quoted(text) + L": " + says);
    }
    if (!lines.empty()) lines.insert(lines.begin(), L"Processor lists, as this machine reads them:");
    return lines;
}

std::wstring NumberHint(const std::wstring& digits, const Machine& machine) {
    if (!AsOneNumber(digits) || LooksLikeOneNumber(digits, machine)) return {};
    return L"; for processor " + digits + L" alone (on a PC that has it) write " + Quoted(digits + L";") +
           L", which leaves this PC's processors alone";
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
    // Processors this PC lacks are left out; another group's stay, and Windows refuses them.
    const std::uint64_t elsewhere = numbered & ~t.PresentMask & ~wanted.leftOut;
    if (elsewhere != 0)
        emit(shown + L" names " + ProcessorsShown(elsewhere) + L", in another processor group than the program's (it has " +
             ProcessorsShown(t.AllMask) + L"), which a hard affinity cannot reach: Windows refuses the setting, and a "
             L"failure is counted on every scan; write \"~\" before the list for CPU sets");
    return true;
}

std::wstring CurrentCpusShown(const std::wstring& cpuText, DwordPtr mask, const Machine& machine) {
    if (mask == 0) return L"CPUs unreadable";
    if (IsCpuList(cpuText) || LeavesProcessors(cpuText) || IsCpuSetText(cpuText)) return L"CPUs " + FormatCpuList(mask);
    // Digits compare with what the program reads back.
    return L"CPUs " + FormatCpuList(mask) + L" (" + Quoted(AffinityMaskToDigits(mask, machine.Cpu.MaxCpuIndex)) + L")";
}

}  // namespace mjr::doctor
