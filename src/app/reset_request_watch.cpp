// The running copy's side of "/reset": which notification to arm, the key coming and going,
// and when a number asks for a reset.
#include "app/reset_request_watch.h"

namespace mjr {
namespace {

constexpr wchar_t kSoftwareKey[] = L"Software";

}  // namespace

void ResetRequestWatch::Start() {
    for (UniqueHandle* event : {&softwareEvent_, &keyEvent_}) {
        // Auto-reset: the wait that reports an event also clears it.
        *event = UniqueHandle(platform_, platform_.CreateEventW(0, 0));
        if (!*event) return;
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
    if (fired == kSoftwareEvent) ArmSoftware();
    else if (key_) ArmKey();
    const std::optional<std::uint64_t> now = NumberNow();
    // Only a number that is there asks: a key or value that went asks for nothing, but the
    // number written after it always differs from none.
    const bool asked = now && now != lastSeen_;
    lastSeen_ = now;
    return asked;
}

Lstatus ResetRequestWatch::Arm(Handle key, Dword filter, Handle event) {
    return platform_.RegNotifyChangeKeyValue(key, 0, filter, event, 1);
}

void ResetRequestWatch::ArmSoftware() {
    // A key added or deleted under HKLM\Software: ours made (by the package or "/reset") or removed.
    if (Arm(software_.get(), kRegNotifyChangeName, softwareEvent_.get()) != 0) software_.reset();
}

void ResetRequestWatch::ArmKey() {
    const Lstatus status = Arm(key_.get(), kRegNotifyChangeLastSet, keyEvent_.get());
    if (status != 0) DropKey(status);
}

void ResetRequestWatch::DropKey(Lstatus why) {
    key_.reset();
    // A deleted key's number went with it: any number a key made later asks for a reset.
    if (why == kErrorKeyDeleted) lastSeen_.reset();
}

std::optional<std::uint64_t> ResetRequestWatch::NumberNow() {
    if (key_) {
        const ResetNumber read = ReadResetNumber(platform_, key_.get());
        if (read.status != kErrorKeyDeleted) return read.number;
        DropKey(read.status);  // deleted (an uninstall): a key there now is another one
    }
    Handle opened = 0;
    if (platform_.RegOpenKeyExW(kHkeyLocalMachine, kResetRequestKey, kKeyQueryValue | kKeyNotify | kKeyWow64_64Key,
                                &opened) != 0)
        return std::nullopt;
    key_ = UniqueRegKey(platform_, opened);
    ArmKey();  // before the number is read, so a change after the read is never missed
    return key_ ? ReadResetNumber(platform_, key_.get()).number : std::nullopt;
}

}  // namespace mjr
