#pragma once
#include "platform/platform.h"

namespace mjr {

// Owns one platform object and releases it exactly once with Release. Only 0 is invalid.
template <typename Release>
class UniquePlatformObject {
public:
    UniquePlatformObject(Platform& platform, Handle handle) noexcept : platform_(&platform), handle_(handle) {}
    UniquePlatformObject(const UniquePlatformObject&) = delete;
    UniquePlatformObject& operator=(const UniquePlatformObject&) = delete;
    UniquePlatformObject(UniquePlatformObject&& other) noexcept : platform_(other.platform_), handle_(other.handle_) {
        other.handle_ = 0;
    }
    UniquePlatformObject& operator=(UniquePlatformObject&& other) noexcept {
        if (this != &other) {
            reset();
            platform_ = other.platform_;
            handle_ = other.handle_;
            other.handle_ = 0;
        }
        return *this;
    }
    ~UniquePlatformObject() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != 0; }

    void reset() noexcept {
        if (handle_ != 0) {
            Release{}(*platform_, handle_);
            handle_ = 0;
        }
    }

private:
    Platform* platform_;
    Handle handle_;
};

struct CloseHandleRelease {
    void operator()(Platform& platform, Handle handle) const noexcept { platform.CloseHandle(handle); }
};

// A process, token, file or mutex handle, closed with CloseHandle.
using UniqueHandle = UniquePlatformObject<CloseHandleRelease>;

}  // namespace mjr
