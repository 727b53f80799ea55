#pragma once
// How a running copy learns of "/reset" without a tick of its own: registry change
// notifications, waited for beside the window's messages.
#include <array>
#include <optional>

#include "app/reset_request.h"

namespace mjr {

class ResetRequestWatch {
public:
    explicit ResetRequestWatch(Platform& platform) : platform_(platform) {}
    ResetRequestWatch(const ResetRequestWatch&) = delete;
    ResetRequestWatch& operator=(const ResetRequestWatch&) = delete;

    // Arms the notifications and notes the number there is now, which asks for nothing: the
    // window's first reset is still to come. Where nothing can be watched the copy runs as
    // before, without requests.
    void Start();

    // The events to wait for, both 0 when nothing is watched: HKLM\Software's, which tells
    // that the key came or went, and the key's own, which tells that its number changed.
    static constexpr std::size_t kSoftwareEvent = 0;
    static constexpr std::size_t kKeyEvent = 1;
    const std::array<Handle, 2>& Events() const noexcept { return eventHandles_; }

    // After Events()[fired] was signalled: arms that notification again (each fires once),
    // then true when the number is there and differs from the one last seen, which it now is.
    bool TakeRequest(std::size_t fired);

private:
    Lstatus Arm(Handle key, Dword filter, Handle event);  // asynchronous, the key alone
    void ArmSoftware();
    void ArmKey();
    void DropKey(Lstatus why);
    std::optional<std::uint64_t> NumberNow();

    Platform& platform_;
    UniqueHandle softwareEvent_{platform_, 0};
    UniqueHandle keyEvent_{platform_, 0};
    std::array<Handle, 2> eventHandles_{};
    UniqueRegKey software_{platform_, 0};
    UniqueRegKey key_{platform_, 0};  // while the key exists
    std::optional<std::uint64_t> lastSeen_;
};

}  // namespace mjr
