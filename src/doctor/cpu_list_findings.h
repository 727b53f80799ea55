#pragma once
// What the program makes of CPU texts on this machine: processor lists, the processor kinds
// their names stand for, and digits that look meant as one number.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "doctor/favorite_findings.h"

namespace mjr::doctor {

// "Machine: 28 processors (performance 0-15, efficiency 16-27); ...": the count, the kinds
// and caches the names tell apart, and the groups when there are several.
std::wstring MachineLine(const Machine& machine);

// How "~" lists number the processors across the groups, or that this Windows has no CPU sets.
std::wstring CpuSetNumberingLine(const Machine& machine);

// For each list favourite, "  line N: CPUs "P": processors 0-15" or why it sets nothing.
std::vector<std::wstring> ListExplanations(const FavoritesTable& favorites,
                                           const std::vector<std::size_t>& favoriteLines, const Machine& machine);

// For each favourite with a power word, what it asks of Windows.
std::vector<std::wstring> PowerExplanations(const FavoritesTable& favorites,
                                            const std::vector<std::size_t>& favoriteLines);

// "processor 12" or "processors 0-3;8".
std::wstring ProcessorsShown(std::uint64_t mask);

// Processors as "~" numbers them, from CPU-set identifiers; ascending.
std::vector<int> CpuSetNumbers(const std::vector<Dword>& ids, const Machine& machine);
std::wstring NumbersShown(const std::vector<int>& numbers);

// The warnings about a list, or about digits that look meant as one number. True when the
// text is one of those, so that the warnings about plain digits do not apply.
bool CpuTextWarnings(const std::wstring& cpuText, const Machine& machine,
                     const std::function<void(const std::wstring&)>& emit);

// For two digits that read as a processor this machine lacks ("12" on 2 processors): how to
// write that processor; empty otherwise.
std::wstring NumberHint(const std::wstring& digits, const Machine& machine);

// How a scan reads a process's CPUs: processors, and for a digit text the digits read back beside.
std::wstring CurrentCpusShown(const std::wstring& cpuText, DwordPtr mask, const Machine& machine);

}  // namespace mjr::doctor
