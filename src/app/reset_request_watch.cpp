// The running copy's side of "/reset": which notification to arm, the key coming and going,
// and when a number asks for a reset.
#include "app/reset_request_watch.h"

namespace mjr {
namespace {

constexpr wchar_t kSoftwareKey[] = L"Software";

}  // namespace

void ResetRequestWatch::Start() {
    // Auto-reset: the wait that reports an event also clears it.
    softwareEvent_ = UniqueHandle(platform_, platform_.CreateEventW(0, 0));
    keyEvent_ = UniqueHandle(platform_, platform_.CreateEventW(0, 0));
    if (!softwareEvent_ || !keyEvent_) {
        softwareEvent_.reset();
        keyEvent_.reset();
        return;
    }
    eventHandles_ = {softwareEvent_.get(), keyEvent_.get()};
    Handle opened = 0;
    if (platform_.RegOpenKeyExW(kHkeyLocalMachine, kSoftwareKey, kKeyNotify | kKeyWow64_64Key, &opened) == 0) {
        software_ = UniqueRegKey(platform_, opened);
        ArmSoftware();
    }
    lastSeen_ = NumberNow();
}

bool ResetRequestWatch::TakeRequest(std::size_t fired) {
    if (fired == kSoftwareEvent && software_) ArmSoftware();
    if (fired == kKeyEvent && key_) ArmKey();
    const std::optional<std::uint64_t> now = NumberNow();
    // Only a number that is there asks: a key or value that went asks for nothing, but the
    // number written after it always differs from none.
    const bool asked = now && now != lastSeen_;
    lastSeen_ = now;
    return asked;
}

void ResetRequestWatch::ArmSoftware() {
    // A key added or deleted under HKLM\Software: ours made (by the package or "/reset") or removed.
    if (platform_.RegNotifyChangeKeyValue(software_.get(), 0, kRegNotifyChangeName, softwareEvent_.get(), 1) != 0)
        software_.reset();
}

void ResetRequestWatch::OpenAndArmKey() {
    Handle opened = 0;
    if (platform_.RegOpenKeyExW(kHkeyLocalMachine, kResetRequestKey, kKeyQueryValue | kKeyNotify | kKeyWow64_64Key,
                                &opened) != 0)
        return;
    key_ = UniqueRegKey(platform_, opened);
    ArmKey();  // before the number is read, so a change after the read is never missed
}

void ResetRequestWatch::ArmKey() {
    const Lstatus status = platform_.RegNotifyChangeKeyValue(key_.get(), 0, kRegNotifyChangeLastSet, keyEvent_.get(), 1);
    if (status != 0) DropKey(status);
}

void ResetRequestWatch::DropKey(Lstatus why) {
    key_.reset();
    // A deleted key's number went with it: any number a key made later asks for a reset.
    if (why == kErrorKeyDeleted) lastSeen_.reset();
}

std::optional<std::uint64_t> ResetRequestWatch::NumberNow() {
    // A second round when the key held was deleted (an uninstall): one there now is another key.
    for (int round = 0; round < 2; ++round) {
        if (!key_) OpenAndArmKey();
        if (!key_) return std::nullopt;
        const ResetNumber read = ReadResetNumber(platform_, key_.get());
        if (read.status != kErrorKeyDeleted) return read.number;
        DropKey(read.status);
    }
    return std::nullopt;
}

}  // namespace mjr
