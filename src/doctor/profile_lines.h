#pragma once
// --list: a ready profile line for each running program, to copy into a profile.
#include <cstdint>
#include <string>
#include <vector>

#include "doctor/favorite_findings.h"

namespace mjr::doctor {

// A header line, then one favourite line per path the program can read: its file name,
// its current processors as a favourite writes them, "Default", the path exactly as the
// program sees it, and a note of each process running it with its parent's identifier
// ("pid 812 parent 640 launcher.exe"; the whole line in double quotes when it holds a comma);
// sorted by path, one per path. Processes whose path or affinity cannot be read are left
// out, and so is a path holding a character the report spells out (FirstUnpastable), which
// a pasted line could not show or keep whole: named in leftOut instead, spelled out. Opens
// processes for reading only.
std::vector<std::wstring> RunningProgramsAsProfileLines(Platform& platform, const Machine& machine,
                                                        const std::wstring& checkerName,
                                                        std::vector<std::wstring>& leftOut);

// Processors as a favourite writes them: digits while every one is below 8 ("01"),
// otherwise a processor list ("0-3;8-15", and "12;" for one processor alone).
std::wstring ProcessorsAsFavoriteText(std::uint64_t mask);

}  // namespace mjr::doctor
