#pragma once
#include "platform/platform.h"

namespace mjr {

// Owns one platform handle and closes it exactly once. Only 0 is invalid.
class UniqueHandle {
public:
    UniqueHandle(Platform& platform, Handle handle) noexcept : platform_(&platform), handle_(handle) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : platform_(other.platform_), handle_(other.handle_) {
        other.handle_ = 0;
    }
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            reset();
            platform_ = other.platform_;
            handle_ = other.handle_;
            other.handle_ = 0;
        }
        return *this;
    }
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != 0; }

    void reset() noexcept {
        if (handle_ != 0) {
            platform_->CloseHandle(handle_);
            handle_ = 0;
        }
    }

private:
    Platform* platform_;
    Handle handle_;
};

}  // namespace mjr
