#include "app/command_line.h"

#include "common/text.h"

namespace mjr {
namespace {

constexpr std::size_t kEnforceNumberStart = 8;  // "enforce" plus one separator character
constexpr std::int32_t kMinEnforceSeconds = 10;

}  // namespace

bool ParseCommandLine(std::wstring_view argumentText, RunSettings& settings) {
    bool oneShot = false;
    if (TrimSpaces(argumentText).empty()) return oneShot;
    for (const std::wstring& piece : SplitAll(argumentText, L'/')) {
        std::wstring_view trimmed = TrimSpaces(piece);
        if (trimmed.empty()) continue;
        if (ContainsIgnoreCase(piece, L"my fav")) settings.ProfileName = std::wstring(trimmed);
        if (ContainsIgnoreCase(piece, L"exit")) oneShot = true;
        if (ContainsIgnoreCase(piece, L"enforce") && trimmed.size() > kEnforceNumberStart) {
            settings.EnforceOn = true;
            // Out-of-range numbers clamp rather than fail start-up.
            std::int32_t seconds = RoundToInt32(LeadingNumber(trimmed.substr(kEnforceNumberStart)));
            settings.EnforceSeconds = seconds < kMinEnforceSeconds ? kMinEnforceSeconds : seconds;
        }
    }
    return oneShot;
}

}  // namespace mjr
