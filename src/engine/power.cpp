#include "engine/power.h"

namespace mjr {
namespace {

constexpr Dword kNeverThrottled = kPowerThrottlingExecutionSpeed | kPowerThrottlingIgnoreTimerResolution;

bool SetState(Platform& platform, Handle process, Dword controlMask, Dword stateMask) {
    ProcessPowerThrottlingState state;
    state.ControlMask = controlMask;
    state.StateMask = stateMask;
    return platform.SetProcessInformation(process, kProcessPowerThrottling, &state, sizeof state) != 0;
}

}  // namespace

std::optional<ProcessPowerThrottlingState> ReadPowerThrottling(Platform& platform, Handle process) {
    if (process == 0) return std::nullopt;
    ProcessPowerThrottlingState state;
    if (!platform.GetProcessInformation(process, kProcessPowerThrottling, &state, sizeof state)) return std::nullopt;
    return state;
}

bool PowerSettled(PowerWord power, const std::optional<ProcessPowerThrottlingState>& current) noexcept {
    if (power == PowerWord::None) return true;
    if (!current) return false;
    if (power == PowerWord::Eco)
        return (current->ControlMask & kPowerThrottlingExecutionSpeed) && (current->StateMask & kPowerThrottlingExecutionSpeed);
    return (current->ControlMask & kNeverThrottled) == kNeverThrottled && (current->StateMask & kNeverThrottled) == 0;
}

void SetPowerThrottling(Platform& platform, Handle process, PowerWord power, Counter& priorityErrors) {
    if (power == PowerWord::None) return;
    if (process == 0) {
        priorityErrors.Increment();
        return;
    }
    bool ok;
    if (power == PowerWord::Eco) {
        ok = SetState(platform, process, kPowerThrottlingExecutionSpeed, kPowerThrottlingExecutionSpeed);
    } else {
        ok = SetState(platform, process, kNeverThrottled, 0);
        if (!ok && platform.GetLastError() == kErrorInvalidParameter)
            ok = SetState(platform, process, kPowerThrottlingExecutionSpeed, 0);
    }
    if (!ok) priorityErrors.Increment();
}

}  // namespace mjr
