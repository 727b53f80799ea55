#pragma once
#include <cstdint>
#include <limits>
#include <string>

namespace mjr {

// A count kept as fixed point with four decimals (one count is 10000), shown as a
// plain decimal integer. Counts only ever go to zero or up by one.
class Counter {
public:
    static constexpr std::int64_t kScale = 10000;

    void Reset() noexcept { scaled_ = 0; }
    void Increment() noexcept {
        if (scaled_ <= std::numeric_limits<std::int64_t>::max() - kScale) scaled_ += kScale;
    }
    std::int64_t Value() const noexcept { return scaled_ / kScale; }
    bool AboveZero() const noexcept { return scaled_ > 0; }
    std::wstring Text() const { return std::to_wstring(Value()); }

private:
    std::int64_t scaled_ = 0;
};

}  // namespace mjr
