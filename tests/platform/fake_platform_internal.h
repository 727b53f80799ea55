#pragma once
// What the platform fake's files share: the hex form calls are recorded with, and an error
// number platform.h does not name.
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/fake_platform.h"

namespace mjr::testing {

inline constexpr Dword kErrorInvalidHandle = 6;

inline std::string Hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

}  // namespace mjr::testing
