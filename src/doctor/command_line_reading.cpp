#include "doctor/command_line_reading.h"

#include <algorithm>

#include "app/command_line.h"
#include "common/text.h"
#include "doctor/report_text.h"
#include "profile/load_favorites.h"

namespace mjr::doctor {
namespace {

std::wstring Lower(std::wstring_view text) {
    std::wstring lower(text);
    for (wchar_t& c : lower)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c + (L'a' - L'A'));
    return lower;
}

// Edits (insert, delete, replace, swap of neighbours) between two short words.
std::size_t Edits(std::wstring_view a, std::wstring_view b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i)
        for (std::size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[a.size()][b.size()];
}

// The option a piece most likely misspells: its leading letters near "exit" or "enforce".
std::wstring_view LikelyOption(std::wstring_view text) {
    const std::wstring lower = Lower(text);
    const std::size_t end = std::min(lower.find_first_not_of(L"abcdefghijklmnopqrstuvwxyz"), std::size_t{12});
    const std::wstring word = lower.substr(0, end);
    if (!word.empty() && Edits(word, L"exit") <= 1) return L"exit";
    if (word.size() >= 4 && Edits(word, L"enforce") <= 2) return L"enforce:30";
    return {};
}

std::wstring WhyNothing(const CommandLinePiece& piece) {
    const std::wstring shown = Quoted(L"/" + piece.text);
    if (ContainsIgnoreCase(piece.text, L"enforce"))
        return shown + L" does nothing: \"enforce\" needs a number of seconds after one character, as in /enforce:30";
    if (const std::wstring_view likely = LikelyOption(piece.text); !likely.empty())
        return shown + L" does nothing; likely meant /" + std::wstring(likely);
    const std::wstring& name = piece.text;
    return shown + L" does nothing: a profile name must contain \"my fav\"; name the file " +
           Quoted(L"My Favs " + name) + L" and write /My Favs " + name;
}

}  // namespace

std::vector<std::wstring> CommandLineReading(std::wstring_view argumentText) {
    if (AsksForReset(argumentText))
        return {L"Command line [" + Shown(argumentText) + L"] reads: a reset request: every copy running on this PC, in "
                L"every session, reads its profile again and starts its counters from zero; nothing else runs (exit 0: "
                L"sent, 4: not elevated, 5: failed)."};
    RunSettings settings;
    const bool oneShot = ParseCommandLine(argumentText, settings);
    const std::vector<CommandLinePiece> pieces = ReadCommandLinePieces(argumentText);
    std::vector<std::wstring> lines;
    std::wstring reading = L"Command line [" + Shown(argumentText) + L"] reads: " +
                           (oneShot ? L"one pass (apply the profile once, then exit)" : L"resident (tray icon, status window)") +
                           L", profile " + Quoted(settings.ProfileName.empty() ? kDefaultProfileName : settings.ProfileName) +
                           (settings.ProfileName.empty() ? L" (the default)" : L"") + L", ";
    if (settings.EnforceOn) {
        reading += L"Enforce:" + std::to_wstring(settings.EnforceSeconds) + L" (every " +
                   std::to_wstring(settings.EnforceSeconds) + L" s the running programs are corrected again)";
    } else {
        reading += L"Enforce:Disabled (no periodic re-enforcement: programs are corrected only when the list of "
                   L"running processes changes)";
    }
    if (oneShot) reading += L"; a single pass has no period";
    lines.push_back(reading + L".");
    std::size_t lastNaming = pieces.size();
    for (std::size_t i = 0; i < pieces.size(); ++i)
        if (!pieces[i].profileName.empty()) lastNaming = i;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const CommandLinePiece& piece = pieces[i];
        const std::wstring shown = Quoted(L"/" + piece.text);
        if (!piece.profileName.empty() && (piece.oneShot || piece.setsEnforce)) {
            std::wstring also = piece.oneShot ? L"its \"exit\" also switches one-pass mode on" : L"";
            if (piece.setsEnforce)
                also += (also.empty() ? L"its" : L" and its") + std::wstring(L" \"enforce\" the enforce period");
            lines.push_back(shown + L" names a profile, but " + also + L"; give the profile a name without that word");
        }
        if (!piece.profileName.empty() && i != lastNaming)
            lines.push_back(shown + L" does nothing: a later piece names the profile");
        else if (const std::wstring_view text = piece.text;
                 piece.setsEnforce && Lower(text.substr(0, 7)) == L"enforce" && text.find_first_of(L"0123456789") == 7)
            lines.push_back(shown + L" reads its number from the piece's ninth character, so it sets " +
                            std::to_wstring(std::max(piece.enforceWritten, kMinEnforceSeconds)) + L" s; for " +
                            std::wstring(text.substr(7)) + L" seconds write /enforce:" + std::wstring(text.substr(7)));
        else if (piece.setsEnforce && piece.enforceWritten < kMinEnforceSeconds)
            lines.push_back(shown + L" sets " + std::to_wstring(kMinEnforceSeconds) + L" s, the least");
        else if (piece.profileName.empty() && !piece.oneShot && !piece.setsEnforce)
            lines.push_back(WhyNothing(piece));
    }
    return lines;
}

}  // namespace mjr::doctor
