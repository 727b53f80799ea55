#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/run_settings.h"

namespace mjr {

// One piece of the argument text between "/"s and what it does; a piece may do several
// things ("/My Favs Exit" names a profile and asks for one pass).
struct CommandLinePiece {
    std::wstring text;          // as written, quotes removed, trimmed
    std::wstring profileName;   // the profile it names, quotes removed; empty when none
    bool oneShot = false;
    bool setsEnforce = false;
    std::int32_t enforceWritten = 0;  // the number as written; the period is at least kMinEnforceSeconds
};

inline constexpr std::int32_t kMinEnforceSeconds = 10;

// The pieces in order, empty ones and ones of only quotes and blanks passed over.
std::vector<CommandLinePiece> ReadCommandLinePieces(std::wstring_view argumentText);

// True when the one piece there is "reset" (any letter case): the request every running copy
// reads its profile again by. Beside any other piece the word means nothing.
bool AsksForReset(std::wstring_view argumentText);

// Reads the argument text into the run settings; returns true for one-shot mode.
bool ParseCommandLine(std::wstring_view argumentText, RunSettings& settings);

}  // namespace mjr
