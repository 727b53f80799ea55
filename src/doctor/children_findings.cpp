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

// Favourite i's line; the lines come from the same reading as the favourites, one each.
std::wstring LineOf(const std::vector<std::size_t>& favoriteLines, std::size_t i) {
    return L"line " + std::to_wstring(favoriteLines.at(i)) + L": ";
}

}  // namespace

std::vector<std::wstring> ChildrenExplanations(const FavoritesTable& favorites,
                                               const std::vector<std::size_t>& favoriteLines) {
    std::vector<std::wstring> lines;
    std::size_t i = 0;
    for (const FavoriteRecord& favorite : favorites.Records())
        if (const std::size_t at = i++; favorite.Children)
            lines.push_back(L"  " + LineOf(favoriteLines, at) + L"what " + ProgramNamed(favorite.Path) +
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
    std::size_t i = 0;
    for (const FavoriteRecord& favorite : favorites.Records()) {
        const std::size_t at = i++;
        const std::wstring raise = RaiseGiven(favorite.Priority);
        if (!favorite.Children || raise.empty()) continue;
        const std::wstring program = ProgramNamed(favorite.Path);
        warnings.push_back(LineOf(favoriteLines, at) + L"any program of the user who runs " + program +
                           L" can name it as its parent when it starts (Windows lets a program choose its parent), "
                           L"and so gets " + raise + L" from an elevated program");
        warnings.push_back(L"  what to do: ask \"children\" only of a launcher whose user may run every program "
                           L"that fast, or give the favourite a class no higher than Normal");
    }
    return warnings;
}

}  // namespace mjr::doctor
