#include "engine/affinity.h"

#include "engine/cpu_sets.h"
#include "engine/priority.h"

namespace mjr {
namespace {

constexpr std::int32_t kCpuBitsSource = 15;  // processors 0 to 3
constexpr std::int32_t kHighestCpuDigit = 7;

std::int32_t CharValue(wchar_t c) noexcept { return (c >= L'0' && c <= L'9') ? c - L'0' : 0; }

std::int32_t BitOf(std::int32_t bit) noexcept { return static_cast<std::int32_t>(std::uint32_t{1} << bit); }

std::int32_t EntryFor(const CpuTable& cpu, std::int32_t value) noexcept {
    // The table covers digits 0 to 3; a higher digit names its processor alone.
    if (value >= 0 && static_cast<std::size_t>(value) < cpu.CpuBits.size()) return cpu.CpuBits[value];
    return BitOf(value);
}

}  // namespace

std::vector<std::int32_t> MaskToBitList(std::int32_t mask) {
    std::vector<std::int32_t> bits;
    const auto unsignedMask = static_cast<std::uint32_t>(mask);
    for (int j = 0; j < 32; ++j)
        if (unsignedMask & (std::uint32_t{1} << j)) bits.push_back(BitOf(j));
    return bits;
}

std::vector<std::int32_t> BuildCpuBits() { return MaskToBitList(kCpuBitsSource); }

std::int32_t MaxCpuIndexFor(Dword numberOfProcessors) noexcept {
    std::int64_t highest = static_cast<std::int64_t>(numberOfProcessors) - 1;
    return static_cast<std::int32_t>(highest > kHighestCpuDigit ? kHighestCpuDigit : highest);
}

std::int32_t DigitsToMask(const CpuTable& cpu, std::wstring_view digits) noexcept {
    if (digits.empty()) return EntryFor(cpu, 0);
    std::int32_t mask = 0;
    for (wchar_t c : digits) mask |= EntryFor(cpu, CharValue(c));
    return mask;
}

DwordPtr ReadAffinityMask(Platform& platform, Handle process) {
    if (process == 0) return 0;
    DwordPtr processMask = 0;
    DwordPtr systemMask = 0;
    if (!platform.GetProcessAffinityMask(process, &processMask, &systemMask)) return 0;
    return processMask;
}

std::wstring AffinityMaskToDigits(DwordPtr mask, std::int32_t maxCpuIndex) {
    std::wstring digits;
    // Digits name processors 0 to 7 at most: the low 32 bits hold all of them.
    const auto unsignedMask = static_cast<std::uint32_t>(mask);
    for (std::int32_t b = 0; b <= maxCpuIndex && b < 32; ++b) {
        const std::uint32_t bit = std::uint32_t{1} << b;
        if (bit > unsignedMask) break;
        if (unsignedMask & bit) digits.push_back(static_cast<wchar_t>(L'0' + b));
    }
    return digits;
}

AffinityDecision DecideAffinity(const CpuTable& cpu, std::wstring_view cpuText, DwordPtr current) {
    AffinityDecision decision;
    // CPU sets leave the hard affinity as it is.
    if (LeavesProcessors(cpuText) || IsCpuSetText(cpuText)) return decision;
    if (!IsCpuList(cpuText)) {
        if (cpuText == AffinityMaskToDigits(current, cpu.MaxCpuIndex)) return decision;
        decision.action = AffinityDecision::Action::Set;
        decision.mask = static_cast<std::uint32_t>(DigitsToMask(cpu, cpuText));
        return decision;
    }
    const CpuListMask wanted = CpuListToMask(cpuText, cpu.Topology);
    if (wanted.problem == CpuMaskProblem::Empty) return decision;
    if (wanted.problem != CpuMaskProblem::None) {
        decision.action = AffinityDecision::Action::Fail;
    } else if (wanted.mask != current) {
        decision.action = AffinityDecision::Action::Set;
        decision.mask = wanted.mask;
    }
    return decision;
}

void ApplyAffinity(Platform& platform, const CpuTable& cpu, Handle process, std::wstring_view digits,
                   Counter& affinityErrors) {
    ApplyAffinityMask(platform, process, static_cast<std::uint32_t>(DigitsToMask(cpu, digits)), affinityErrors);
}

void ApplyAffinityMask(Platform& platform, Handle process, DwordPtr mask, Counter& affinityErrors) {
    if (process == 0) {
        affinityErrors.Increment();
        return;
    }
    if (platform.SetProcessAffinityMask(process, mask) == 1) {
        platform.Sleep(0);
    } else {
        affinityErrors.Increment();
    }
}

}  // namespace mjr
