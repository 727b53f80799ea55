#pragma once
// A COM interface pointer of this program's own, released once. Windows side only.
namespace mjr {

template <typename Interface>
class ComPointer {
public:
    ComPointer() = default;
    ComPointer(const ComPointer&) = delete;
    ComPointer& operator=(const ComPointer&) = delete;
    ~ComPointer() { reset(); }
    Interface** out() noexcept { return &pointer_; }
    void reset() noexcept {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }
    Interface* operator->() const noexcept { return pointer_; }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace mjr
