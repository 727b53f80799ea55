#include "doctor/children_findings.h"

#include "doctor/report_text.h"
#include "engine/priority.h"

namespace mjr::doctor {
namespace {

// The program's file name, or a pattern whole, as a line names it.
std::wstring ProgramNamed(const std::wstring& path) {
    if (IsPathPattern(path)) return Quoted(path);
    return Shown(std::wstring_view(path).substr(path.find_last_of(L'\\') + 1));
}

// What a child gets that its user could not give it without the elevated program, in words;
// empty for a favourite that only lowers or places.
std::wstring RaiseGiven(const std::wstring& priority) {
    const PriorityRequest request = ReadPriorityText(priority);
    std::wstring raise;
    if (request.priorityClass == kRealtimePriorityClass || request.priorityClass == kHighPriorityClass)
        raise = L"High";
    else if (request.priorityClass == kAboveNormalPriorityClass)
        raise = L"Above";
    if (request.power == PowerWord::NoEco) raise += raise.empty() ? L"EcoQoS kept off" : L" with EcoQoS kept off";
    return raise;
}

std::wstring LineOf(const std::vector<std::size_t>& favoriteLines, std::size_t i) {
    return L"line " + std::to_wstring(favoriteLines[i]) + L": ";
}

}  // namespace

std::vector<std::wstring> ChildrenExplanations(const FavoritesTable& favorites,
                                               const std::vector<std::size_t>& favoriteLines) {
    std::vector<std::wstring> lines;
    const std::vector<FavoriteRecord>& records = favorites.Records();
    for (std::size_t i = 0; i < records.size() && i < favoriteLines.size(); ++i)
        if (records[i].Children)
            lines.push_back(L"  " + LineOf(favoriteLines, i) + L"what " + ProgramNamed(records[i].Path) +
                            L" starts gets the same placement, Realtime excepted");
    if (!lines.empty())
        lines.insert(lines.begin(),
                     L"Children (field 5 reads \"children\"): what they start in turn too, for as long as each link can "
                     L"be proven; one that cannot be opened to change it counts no failure:");
    return lines;
}

std::vector<std::wstring> ChildrenWarnings(const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines) {
    std::vector<std::wstring> warnings;
    const std::vector<FavoriteRecord>& records = favorites.Records();
    for (std::size_t i = 0; i < records.size() && i < favoriteLines.size(); ++i) {
        const std::wstring raise = RaiseGiven(records[i].Priority);
        if (!records[i].Children || raise.empty()) continue;
        const std::wstring program = ProgramNamed(records[i].Path);
        warnings.push_back(LineOf(favoriteLines, i) + L"any program of the user who runs " + program +
                           L" can name it as its parent when it starts (Windows lets a program choose its parent), "
                           L"and so gets " + raise + L" from an elevated program");
        warnings.push_back(L"  what to do: ask \"children\" only of a launcher whose user may run every program "
                           L"that fast, or give the favourite a class no higher than Normal");
    }
    return warnings;
}

}  // namespace mjr::doctor
