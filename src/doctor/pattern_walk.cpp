#include "doctor/pattern_walk.h"

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/fold_case.h"
#include "platform/list_folder.h"
#include "profile/path_pattern.h"

namespace mjr::doctor {
namespace {

using Finding = UserAccessCheck::Finding;

bool IsAnyFolders(std::wstring_view name) { return name == L"**"; }

// Whether a file in a folder reached at pattern name `next` is what the pattern matches: every
// name left but the last is "**" (no folder or more), and the last matches the file's.
bool FileMatchesHere(const std::vector<std::wstring>& names, std::size_t next, std::wstring_view name) {
    for (std::size_t k = next; k + 1 < names.size(); ++k)
        if (!IsAnyFolders(names[k])) return false;
    return NameMatches(names.back(), name);
}

// A folder the walk has reached, and the first pattern name still to match below it.
struct Step {
    std::wstring folder;
    std::size_t next;
};

}  // namespace

Finding FirstOpenInReach(Platform& platform, UserAccessCheck& access, std::wstring_view pattern) {
    std::vector<std::wstring_view> written;
    SplitPathNames(pattern, written);
    std::vector<std::wstring> names;
    for (std::wstring_view name : written) names.push_back(FoldPathCase(platform, name));
    // The fixed folder: the names before the first that holds "*", the program's name apart.
    std::size_t fixed = 1;
    std::wstring start(written[0]);
    for (; fixed + 1 < names.size() && names[fixed].find(L'*') == std::wstring::npos; ++fixed)
        start += L"\\" + std::wstring(written[fixed]);
    Finding finding = access.FirstOpen(start, ObjectKind::Folder);
    if (finding.what != Finding::Closed || !finding.missing.empty()) return finding;

    const std::uint64_t began = platform.GetTickCount64();
    std::vector<Step> todo{{start, fixed}};
    std::set<std::pair<std::wstring, std::size_t>> seen;
    while (!todo.empty()) {
        const Step step = std::move(todo.back());
        todo.pop_back();
        if (!seen.insert({step.folder, step.next}).second) continue;
        if (seen.size() > kMaxWalkedFolders || platform.GetTickCount64() - began > kMaxWalkMilliseconds)
            return Finding{Finding::Unfinished, step.folder, ObjectKind::Folder, 0, 0, {}};
        // What the rest of the pattern can still be here: a program (one name left) or a
        // folder on the way to one.
        std::size_t fixedNames = 0;
        bool anyFolders = false;
        for (std::size_t k = step.next; k < names.size(); ++k) {
            if (IsAnyFolders(names[k])) anyFolders = true;
            else ++fixedNames;
        }
        const bool deeper = fixedNames >= 2 || anyFolders;
        finding = access.Check(step.folder, ObjectKind::ReachedFolder);
        if (fixedNames >= 2) finding.rights &= ~kFileWriteData;
        if (!deeper) finding.rights &= ~kFileAppendData;
        if (finding.what == Finding::Changeable && finding.rights == 0) finding.what = Finding::Closed;
        if (finding.what != Finding::Closed) return finding;
        std::vector<FolderEntry> entries;
        if (const Dword error = ListFolder(platform, step.folder, &entries))
            return Finding{Finding::Unreadable, step.folder, ObjectKind::Folder, 0, error, {}};
        for (const FolderEntry& entry : entries) {
            const std::wstring name = FoldPathCase(platform, entry.name);
            const std::wstring below = step.folder + L"\\" + entry.name;
            if (!(entry.attributes & kFileAttributeDirectory)) {
                // A program the pattern matches: whoever may change it picks what runs there.
                if (!FileMatchesHere(names, step.next, name)) continue;
                if (platform.GetTickCount64() - began > kMaxWalkMilliseconds)
                    return Finding{Finding::Unfinished, below, ObjectKind::File, 0, 0, {}};
                // Its permissions would be read through a link, which may lead to a share.
                if (entry.attributes & kFileAttributeReparsePoint)
                    return Finding{Finding::ReparsePoint, below, ObjectKind::File, 0, 0, {}};
                finding = access.Check(below, ObjectKind::File);
                if (finding.what != Finding::Closed) return finding;
                continue;
            }
            const std::size_t before = todo.size();
            for (std::size_t k = step.next; k < names.size(); ++k) {
                if (IsAnyFolders(names[k])) {
                    todo.push_back({below, k});
                    continue;
                }
                if (k + 1 < names.size() && NameMatches(names[k], name)) todo.push_back({below, k + 1});
                break;
            }
            if (todo.size() > before && (entry.attributes & kFileAttributeReparsePoint))
                return Finding{Finding::ReparsePoint, below, ObjectKind::Folder, 0, 0, {}};
        }
    }
    return Finding{};
}

}  // namespace mjr::doctor
