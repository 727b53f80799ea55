#include "app/command_line.h"

#include <gtest/gtest.h>

namespace mjr {
namespace {

struct CommandLineCase {
    const wchar_t* arguments;
    const wchar_t* profileName;
    bool enforceOn;
    std::int32_t enforceSeconds;
    bool oneShot;
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLineTest, RecognisesTheOptions) {
    const CommandLineCase& c = GetParam();
    RunSettings settings;
    bool oneShot = ParseCommandLine(c.arguments, settings);
    EXPECT_EQ(settings.ProfileName, c.profileName);
    EXPECT_EQ(settings.EnforceOn, c.enforceOn);
    EXPECT_EQ(settings.EnforceSeconds, c.enforceSeconds);
    EXPECT_EQ(oneShot, c.oneShot);
}

INSTANTIATE_TEST_SUITE_P(RecognitionTable, CommandLineTest, ::testing::Values(
    CommandLineCase{L"", L"", false, 0, false},
    CommandLineCase{L"   ", L"", false, 0, false},
    CommandLineCase{L"/My Favs 2", L"My Favs 2", false, 0, false},
    CommandLineCase{L"/my favs 3 /exit", L"my favs 3", false, 0, true},
    CommandLineCase{L"exit", L"", false, 0, true},
    CommandLineCase{L"/noexit", L"", false, 0, true},
    CommandLineCase{L"/enforce", L"", false, 0, false},
    CommandLineCase{L"/enforce:", L"", false, 0, false},
    CommandLineCase{L"/enforce:30", L"", true, 30, false},
    CommandLineCase{L"/ENFORCE: 45", L"", true, 45, false},
    CommandLineCase{L"/enforce=5", L"", true, 10, false},
    CommandLineCase{L"/enforce30", L"", true, 10, false},
    CommandLineCase{L"/enforce 120 /My Favs 2 /exit", L"My Favs 2", true, 120, true},
    CommandLineCase{L"/enforce:30 /enforce:60", L"", true, 60, false},
    CommandLineCase{L"/My Favs Exit", L"My Favs Exit", false, 0, true},
    CommandLineCase{L"/My Favs Enforced", L"My Favs Enforced", true, 10, false},
    CommandLineCase{L"/", L"", false, 0, false},
    // Quoted as people quote: no profile name holds a double quote.
    CommandLineCase{L"\"My Favs 2\" /exit", L"My Favs 2", false, 0, true},
    CommandLineCase{L"\"/My Favs 2\" /exit", L"My Favs 2", false, 0, true},
    CommandLineCase{L"/exit \"/My Favs 2\"", L"My Favs 2", false, 0, true},
    CommandLineCase{L"\"/Gaming /exit\"", L"", false, 0, true},
    CommandLineCase{L"/My Favs 2/ \"\" /\"", L"My Favs 2", false, 0, false}));

INSTANTIATE_TEST_SUITE_P(Edges, CommandLineTest, ::testing::Values(
    // The number starts at the 9th character of the trimmed piece, wherever "enforce" stands.
    CommandLineCase{L"/  enforce:25  ", L"", true, 25, false},
    CommandLineCase{L"/x enforce:25", L"", true, 10, false},
    CommandLineCase{L"/enforce:-40", L"", true, 10, false},
    CommandLineCase{L"/enforce:10.5", L"", true, 10, false},
    CommandLineCase{L"/enforce:11.5", L"", true, 12, false},
    CommandLineCase{L"/enforce:&H1E", L"", true, 30, false},
    // Beyond the signed 32-bit range: clamped, start-up goes on.
    CommandLineCase{L"/enforce:99999999999", L"", true, 2147483647, false},
    CommandLineCase{L"/enforce:1E400", L"", true, 2147483647, false},
    CommandLineCase{L"/enforce:1e000000000002", L"", true, 100, false},
    CommandLineCase{L"/enforce:25e-00000000000001", L"", true, 10, false},
    // Below the range: the smallest value, so the least period.
    CommandLineCase{L"/enforce:-99999999999", L"", true, 10, false},
    CommandLineCase{L"/enforce:-1E400", L"", true, 10, false},
    // A tab is no space: it stays in the profile name.
    CommandLineCase{L"/\tMy Favs 4 ", L"\tMy Favs 4", false, 0, false},
    CommandLineCase{L"/My Favs 2/My Favs 3", L"My Favs 3", false, 0, false},
    CommandLineCase{L"/my fav/EXIT/", L"my fav", false, 0, true}));

TEST(CommandLine, AVanishingNumberGivesTheLeastPeriodAndAVastOneTheLargest) {
    struct { std::wstring number; std::int32_t seconds; } cases[] = {
        {L"0." + std::wstring(400, L'0') + L"1e5", 10},
        {std::wstring(400, L'9') + L"e-1", 2147483647},
        {L"0." + std::wstring(400, L'0') + L"45e402", 45},
    };
    for (const auto& c : cases) {
        RunSettings settings;
        ParseCommandLine(L"/enforce:" + c.number, settings);
        EXPECT_EQ(settings.EnforceSeconds, c.seconds) << c.number.substr(0, 12);
    }
}

TEST(CommandLine, AnEnforcePieceWithoutANumberLeavesEarlierSettingsAlone) {
    RunSettings settings;
    settings.ProfileName = L"kept";
    ParseCommandLine(L"/enforce /nothing here", settings);
    EXPECT_EQ(settings.ProfileName, L"kept");
    EXPECT_FALSE(settings.EnforceOn);
}

TEST(CommandLine, ResetIsARequestOnlyAsTheOnePiece) {
    struct { const wchar_t* arguments; bool asks; } cases[] = {
        {L"/reset", true}, {L"  /RESET  ", true}, {L"\"/Reset\"", true}, {L"reset", true}, {L"/reset/ /\"\"", true},
        {L"/reset /exit", false}, {L"/My Favs 2 /reset", false}, {L"/resets", false}, {L"/x reset", false},
        {L"/reset\t", false}, {L"", false}, {L"/", false}};
    for (const auto& c : cases) EXPECT_EQ(AsksForReset(c.arguments), c.asks) << c.arguments;
}

}  // namespace
}  // namespace mjr
