#pragma once
#include <string_view>

#include "common/run_settings.h"

namespace mjr {

// Reads the argument text into the run settings; returns true for one-shot mode.
bool ParseCommandLine(std::wstring_view argumentText, RunSettings& settings);

}  // namespace mjr
