#include "doctor/profile_lines.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "doctor/report_text.h"
#include "engine/cpu_list.h"
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

std::vector<std::wstring> RunningProgramsAsProfileLines(Platform& platform, const Machine& machine,
                                                        const std::wstring& checkerName,
                                                        std::vector<std::wstring>& leftOut) {
    std::vector<std::wstring> lines{L"Favourites listed by " + checkerName + L" --list (keep the lines you want)"};
    EnforcementState snapshot;
    std::int32_t byteCount = 0;
    if (!TakeSnapshot(platform, snapshot, byteCount)) return lines;
    std::map<std::wstring, std::wstring> byPath;  // sorted by path, one per path
    for (std::int32_t i = 1; i <= byteCount / 4; ++i) {
        const Dword pid = snapshot.Pids[static_cast<std::size_t>(i)];
        const UniqueHandle queried = OpenForQuery(platform, pid);
        const std::optional<std::wstring> path = GetProcessImagePath(platform, queried.get(), machine.WindowsDirPrefix);
        if (!path || path->empty() || byPath.count(*path)) continue;
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
        std::wstring line = name + L'\t' + ProcessorsAsFavoriteText(mask) + L"\tDefault\t" + *path;
        if (path->find(L',') != std::wstring::npos) line = L'"' + line + L'"';
        byPath.emplace(*path, std::move(line));
    }
    for (auto& entry : byPath)
        if (!entry.second.empty()) lines.push_back(std::move(entry.second));
    return lines;
}

}  // namespace mjr::doctor
