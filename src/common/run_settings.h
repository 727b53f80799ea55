#pragma once
#include <cstdint>
#include <string>

namespace mjr {

// Written by start-up only, read by the profile loader and the enforcement pass.
struct RunSettings {
    std::wstring ProfileName;        // empty until a piece names a profile
    bool EnforceOn = false;
    std::int32_t EnforceSeconds = 0;  // at least 10 whenever set
};

}  // namespace mjr
