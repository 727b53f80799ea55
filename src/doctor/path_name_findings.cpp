// Explaining paths that begin with %NAME%, through the program's own expansion.
#include "doctor/path_name_findings.h"

#include "doctor/report_text.h"
#include "platform/fold_case.h"

namespace mjr::doctor {

std::wstring Percent(std::size_t name) { return L"%" + std::wstring(kPathNames[name]) + L"%"; }

PathNameFindings ExplainPathNames(Platform& platform, std::string_view bytes, const PathNames& names,
                                  const std::vector<std::size_t>& favoriteLines) {
    PathNameFindings findings;
    // With no value for any name, each Path stays as written.
    FavoritesTable written;
    LoadTrace trace;
    ReadFavoritesTraced(platform, PathNames{}, bytes, written, trace);
    for (std::size_t favorite = 0; favorite < written.Records().size() && favorite < favoriteLines.size(); ++favorite) {
        const std::wstring& path = written.Records()[favorite].Path;
        const ExpandedPath expanded = ExpandPathName(path, names);
        if (expanded.use == PathNameUse::None) continue;
        const std::wstring line = L"line " + std::to_wstring(favoriteLines[favorite]) + L": ";
        const std::wstring name = Percent(expanded.name);
        const bool perUser = expanded.name < kPerUserPathNames;
        if (expanded.use == PathNameUse::Expanded) {
            findings.notes.push_back(L"Note: " + line + Shown(path) + L" is " + Shown(expanded.path) + L" here" +
                                     (perUser ? L" (each user's copy reads that user's own folder)." : L"."));
            continue;
        }
        findings.warnings.push_back(
            line + Quoted(path) + L": " +
            (expanded.use == PathNameUse::NoUserHere
                 ? L"this check runs as a service account (SYSTEM, LOCAL SERVICE or NETWORK SERVICE), which has no "
                   L"user's folders: a copy run so (a one-shot run from a deployment tool) matches nothing with it; " +
                       name + L" expands only in each user's own copy"
             : expanded.use == PathNameUse::NotAFullPath
                 ? name + L" is " + Quoted(names.values[expanded.name]) + L" here, which is no full drive or share path "
                   L"(C:\\... or \\\\server\\share\\..., without *, ?, \", / or . and .. names), so this line matches "
                   L"nothing here"
                 : L"Windows gives no value for " + name + L" here" +
                       (perUser ? L" (the user this runs as has no profile loaded)" : L"") +
                       L", so this line matches nothing here"));
    }
    return findings;
}

std::optional<NamedForm> WrittenWithPathName(Platform& platform, const std::wstring& path, const PathNames& names) {
    const std::wstring folded = FoldPathCase(platform, path);
    std::optional<NamedForm> best;
    std::size_t bestLength = 0;
    for (std::size_t name = 0; name < kPathNameCount; ++name) {
        std::wstring_view value = names.values[name];
        if (!value.empty() && value.back() == L'\\') value.remove_suffix(1);
        // The folder ends where the path has a "\\" of its own.
        if (name == kSystemDrive || value.size() <= bestLength || path.find(L'\\', value.size()) != value.size()) continue;
        NamedForm form{Percent(name) + path.substr(value.size()), name};
        // Offered only when the program reads it back as this very path.
        const ExpandedPath back = ExpandPathName(form.path, names);
        if (back.use != PathNameUse::Expanded || FoldPathCase(platform, back.path) != folded) continue;
        best = std::move(form);
        bestLength = value.size();
    }
    return best;
}

}  // namespace mjr::doctor
