#include "app/command_line.h"

#include <algorithm>

#include "common/text.h"

namespace mjr {
namespace {

constexpr std::size_t kEnforceNumberStart = 8;  // "enforce" plus one separator character

// Windows allows no double quote in a file name, so every one in a profile name is the
// quoting people write around a name with blanks.
std::wstring WithoutQuotes(std::wstring_view text) {
    std::wstring bare(text);
    bare.erase(std::remove(bare.begin(), bare.end(), L'"'), bare.end());
    return bare;
}

}  // namespace

std::vector<CommandLinePiece> ReadCommandLinePieces(std::wstring_view argumentText) {
    std::vector<CommandLinePiece> pieces;
    if (TrimSpaces(argumentText).empty()) return pieces;
    for (const std::wstring& piece : SplitAll(argumentText, L'/')) {
        const std::wstring bare = WithoutQuotes(piece);
        if (TrimSpaces(bare).empty()) continue;
        CommandLinePiece read;
        const std::wstring_view trimmed = TrimSpaces(piece);
        read.text = std::wstring(TrimSpaces(bare));
        if (ContainsIgnoreCase(piece, L"my fav")) read.profileName = std::wstring(TrimSpaces(bare));
        read.oneShot = ContainsIgnoreCase(piece, L"exit");
        if (ContainsIgnoreCase(piece, L"enforce") && trimmed.size() > kEnforceNumberStart) {
            read.setsEnforce = true;
            // Out-of-range numbers clamp rather than fail start-up.
            read.enforceWritten = RoundToInt32(LeadingNumber(trimmed.substr(kEnforceNumberStart)));
        }
        pieces.push_back(std::move(read));
    }
    return pieces;
}

bool AsksForReset(std::wstring_view argumentText) {
    const std::vector<CommandLinePiece> pieces = ReadCommandLinePieces(argumentText);
    return pieces.size() == 1 && pieces[0].text.size() == 5 && ContainsIgnoreCase(pieces[0].text, L"reset");
}

bool ParseCommandLine(std::wstring_view argumentText, RunSettings& settings) {
    bool oneShot = false;
    for (const CommandLinePiece& piece : ReadCommandLinePieces(argumentText)) {
        if (!piece.profileName.empty()) settings.ProfileName = piece.profileName;
        oneShot = oneShot || piece.oneShot;
        if (piece.setsEnforce) {
            settings.EnforceOn = true;
            settings.EnforceSeconds = std::max(piece.enforceWritten, kMinEnforceSeconds);
        }
    }
    return oneShot;
}

}  // namespace mjr
