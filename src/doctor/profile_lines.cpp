#include "doctor/profile_lines.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "doctor/path_name_findings.h"
#include "doctor/report_text.h"
#include "engine/cpu_list.h"
#include "engine/descendants.h"
#include "engine/engine.h"
#include "engine/image_path.h"
#include "engine/process_handles.h"

namespace mjr::doctor {

std::wstring ProcessorsAsFavoriteText(std::uint64_t mask) {
    std::wstring text;
    if (mask < 0x100) {
        for (int cpu = 0; cpu < 8; ++cpu)
            if (mask & (std::uint64_t{1} << cpu)) text += static_cast<wchar_t>(L'0' + cpu);
        return text;
    }
    text = FormatCpuList(mask);
    // A number alone would be read as digits: "12" is processors 1 and 2.
    if (text.find_first_of(L";-") == std::wstring::npos) text += L';';
    return text;
}

std::vector<std::wstring> RunningProgramsAsProfileLines(Platform& platform, const PathNames& names, const Machine& machine,
                                                        const std::wstring& checkerName,
                                                        std::vector<std::wstring>& leftOut) {
    std::vector<std::wstring> lines{L"Favourites listed by " + checkerName + L" --list (keep the lines you want)"};
    EnforcementState snapshot;
    std::int32_t byteCount = 0;
    if (!TakeSnapshot(platform, snapshot, byteCount)) return lines;
    std::map<std::wstring, std::wstring> byPath;  // sorted by path, one per path
    std::set<std::size_t> namesUsed;
    std::vector<ScannedProcess> running;          // each process whose path reads, with its parent
    std::vector<std::wstring> paths;              // of each
    for (std::int32_t i = 1; i <= byteCount / 4; ++i) {
        const Dword pid = snapshot.Pids[static_cast<std::size_t>(i)];
        UniqueHandle opened = OpenForQuery(platform, pid);
        const std::optional<std::wstring> path = GetProcessImagePath(platform, opened.get(), machine.WindowsDirPrefix);
        if (!path || path->empty()) continue;
        ScannedProcess& process = running.emplace_back(pid, std::move(opened), nullptr);
        ReadFamily(platform, process);
        paths.push_back(*path);
        const UniqueHandle queried = std::move(process.Queried);  // closed with this round
        if (byPath.count(*path)) continue;
        if (const std::optional<char32_t> hidden = FirstUnpastable(*path)) {
            wchar_t code[16];
            std::swprintf(code, 16, L"U+%04X", static_cast<unsigned>(*hidden));
            leftOut.push_back(L"Left out: pid " + std::to_wstring(pid) + L", " + Quoted(*path) + L": its path holds " +
                              code + L", a control, an invisible format character or no character at all, so a "
                              L"pasted line could not show or keep what it names");
            byPath.emplace(*path, std::wstring());
            continue;
        }
        const DwordPtr mask = ReadAffinityMask(platform, queried.get());  // processors 32-63 too
        if (mask == 0) continue;
        const std::size_t slash = path->find_last_of(L'\\');
        const std::wstring name = slash == std::wstring::npos ? *path : path->substr(slash + 1);
        const std::optional<NamedForm> named = WrittenWithPathName(platform, *path, names);
        if (named) namesUsed.insert(named->name);
        byPath.emplace(*path, name + L'\t' + ProcessorsAsFavoriteText(mask) + L"\tDefault\t" + (named ? named->path : *path));
    }
    // A fifth field the program reads as a note: each process running the path and its parent's
    // identifier, the parent named where it is alive and no younger, so the identifier is still its.
    std::map<Dword, std::size_t> indexOf;
    std::size_t index = 0;
    for (const ScannedProcess& p : running) indexOf.emplace(p.Pid, index++);
    std::map<std::wstring, std::wstring> notes;
    for (std::size_t k = 0; k < running.size(); ++k) {
        const ScannedProcess& p = running[k];
        std::wstring& note = notes[paths[k]];
        note += (note.empty() ? L"\tpid " : L"; pid ") + std::to_wstring(p.Pid);
        if (p.Parent == 0) continue;
        note += L" parent " + std::to_wstring(p.Parent);
        const auto parent = indexOf.find(p.Parent);
        if (parent == indexOf.end() || !ProvesLink(running[parent->second], p)) continue;
        const std::wstring& parentPath = paths[parent->second];
        note += L" " + Shown(std::wstring_view(parentPath).substr(parentPath.find_last_of(L'\\') + 1));
    }
    std::wstring said;
    for (const std::size_t used : namesUsed)
        said += (said.empty() ? L"" : L", ") + (Percent(used) + L" is " + names.values[used]);
    if (!said.empty())
        lines.push_back(L"# Paths in folders that follow each user or PC are written from the most specific one: " + said +
                        L" here");
    for (auto& [path, line] : byPath) {
        if (line.empty()) continue;
        line += notes[path];
        if (line.find(L',') != std::wstring::npos) line = L'"' + line + L'"';
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace mjr::doctor
