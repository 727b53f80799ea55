// A running copy's watch of the reset request: which changes ask for a reset, the key made
// and deleted, the 32-bit view, and never a wake that asks again.
#include "app/reset_request_watch.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

// Another process's change: "7" a QWORD 7, "d7" a DWORD 7, "b9" eight bytes of binary 9, "s" a
// text of four bytes, "-" the value deleted, "x" the key deleted, "x5" deleted and made again
// with 5 before the copy looks, "k" the key made alone, "o" another key, "w7" 7 in WOW6432Node.
void Change(FakePlatform& fake, const std::string& step) {
    const std::wstring key = step == "o" ? L"HKLM\\Software\\Other"
                             : step[0] == 'w' ? L"HKLM\\Software\\WOW6432Node\\Marrowbine Jr" : L"HKLM\\Software\\Marrowbine Jr";
    if (step[0] == 'x') fake.ChangeRegistry(key, L"*", std::nullopt);
    const auto n = static_cast<std::uint8_t>(step.back() - '0');
    const std::map<char, FakePlatform::RegistryValue> kinds{
        {'d', {kRegDword, {n, 0, 0, 0}}}, {'b', {3, {n, 0, 0, 0, 0, 0, 0, 0}}}, {'s', {1, {'7', 0, 0, 0}}}, {'-', {}}};
    if (step == "k" || step == "o") fake.ChangeRegistry(key, L"", std::nullopt);
    if (step == "x" || step == "k" || step == "o") return;
    const FakePlatform::RegistryValue value = kinds.count(step[0]) ? kinds.at(step[0]) : FakePlatform::RegistryValue{kRegQword, {n, 0, 0, 0, 0, 0, 0, 0}};
    fake.ChangeRegistry(key, kResetRequestValue, step == "-" ? std::nullopt : std::optional(value));
}

struct WatchCase {
    const char* name;
    const char* before;                               // the number at start: "" for no key
    std::vector<std::pair<const char*, bool>> steps;  // a change, and whether it asks for a reset
    bool wow64 = false;
    const char* failing = nullptr;                    // CreateEventW, or a registry call that fails with 5
};

class WatchTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchTest, ResetsOnceForEachNewNumber) {
    const WatchCase& c = GetParam();
    FakePlatform fake;
    fake.wow64 = c.wow64;
    if (*c.before) Change(fake, c.before);
    if (c.failing) {
        fake.failingCalls.insert(c.failing);
        fake.registryErrors[c.failing] = 5;
    }
    {
        ResetRequestWatch watch(fake);
        watch.Start();
        if (c.failing) {
            EXPECT_EQ(fake.OpenHandleCount(), fake.CallsNamed("RegOpenKeyExW") ? 2u : 0u) << "no key kept";
        }
        for (const auto& [step, asks] : c.steps) {
            Change(fake, step);
            int resets = 0, wakes = 0;
            for (bool woke = true; woke && wakes < 9;) {
                woke = false;
                for (std::size_t i = 0; i < 2; ++i)
                    if (fake.TakeSignal(watch.Events()[i])) resets += watch.TakeRequest(i), ++wakes, woke = true;
            }
            EXPECT_EQ(resets, asks ? 1 : 0) << step;
            EXPECT_LE(wakes, 2) << step;  // the change, and at most the close of a deleted key
        }
    }
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
    EXPECT_EQ(fake.badCloses, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, WatchTest, ::testing::Values(
    WatchCase{"a_zip_install_sees_the_key_made", "", {{"o", false}, {"1", true}, {"1", false}, {"2", true}}},
    WatchCase{"the_number_at_start_asks_nothing", "5", {{"5", false}, {"6", true}, {"d6", false}, {"d7", true}, {"b9", false}}},
    WatchCase{"a_key_made_before_its_number", "", {{"k", false}, {"1", true}}},
    WatchCase{"a_deleted_value_asks_nothing_and_any_later_one_does", "5", {{"-", false}, {"s", false}, {"5", true}}},
    WatchCase{"a_deleted_key_asks_nothing_and_one_made_again_does", "5", {{"x", false}, {"5", true}, {"x5", true}, {"6", true}}},
    WatchCase{"the_32_bit_program_watches_the_64_bit_key", "", {{"w7", false}, {"7", true}, {"x", false}, {"8", true}}, true},
    WatchCase{"without_notifications_it_never_wakes", "5", {{"6", false}, {"x", false}}, false, "RegNotifyChangeKeyValue"},
    WatchCase{"without_events_it_opens_no_key", "5", {{"6", false}}, false, "CreateEventW"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr
