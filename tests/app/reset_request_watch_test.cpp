// A running copy's watch of the reset request: which changes ask for a reset, the key made
// and deleted under it, the 32-bit view, and never a wake that asks again.
#include "app/reset_request_watch.h"

#include <gtest/gtest.h>

#include "platform/fake_platform.h"

namespace mjr {
namespace {

using testing::FakePlatform;

struct WatchCase {
    const char* name;
    const char* before;  // the number at start: "" for no key
    std::vector<std::pair<const char*, bool>> steps;  // another process's change, and whether it asks
    bool wow64 = false;
    const char* failing = nullptr;
};

// "7": a QWORD 7; "d7": a DWORD 7; "sz": a text; "-": the value deleted; "x": the key deleted;
// "k": the key made without the value; "other": another key under Software; "w7": 7 in WOW6432Node.
void Change(FakePlatform& fake, const std::string& step) {
    const std::wstring key = step == "other" ? L"HKLM\\Software\\Other" : step[0] == 'w' ? L"HKLM\\Software\\WOW6432Node\\Marrowbine Jr" : L"HKLM\\Software\\Marrowbine Jr";
    if (step == "x") return fake.DeleteRegistryKey(key);
    std::optional<FakePlatform::RegistryValue> value;
    if (step == "sz") value = {1, {'7', 0}};
    else if (step[0] == 'd') value = {kRegDword, {std::uint8_t(std::stoi(step.substr(1))), 0, 0, 0}};
    else if (isdigit(step.back())) value = {kRegQword, {std::uint8_t(std::stoi(step.substr(step[0] == 'w'))), 0, 0, 0, 0, 0, 0, 0}};
    fake.SetRegistryValue(key, step == "k" || step == "other" ? L"" : kResetRequestValue, value);
}

class WatchTest : public ::testing::TestWithParam<WatchCase> {};

TEST_P(WatchTest, ResetsOnceForEachNewNumber) {
    const WatchCase& c = GetParam();
    FakePlatform fake;
    fake.wow64 = c.wow64;
    if (*c.before) Change(fake, c.before);
    if (c.failing) fake.registryErrors[c.failing] = 5;
    {
        ResetRequestWatch watch(fake);
        watch.Start();
        for (const auto& [step, asks] : c.steps) {
            Change(fake, step);
            int resets = 0, wakes = 0;
            for (bool woke = true; woke && wakes < 10;) {
                woke = false;
                for (std::size_t i = 0; i < 2; ++i)
                    if (fake.TakeSignal(watch.Events()[i])) resets += watch.TakeRequest(i), woke = true, ++wakes;
            }
            EXPECT_EQ(resets, asks ? 1 : 0) << step;
            EXPECT_LE(wakes, 2) << step;  // a change, and at most the close of a deleted key
        }
    }
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
    EXPECT_EQ(fake.badCloses, 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, WatchTest, ::testing::Values(
    WatchCase{"a_zip_install_sees_the_key_made", "", {{"1", true}, {"1", false}, {"2", true}, {"other", false}}},
    WatchCase{"the_number_at_start_asks_nothing", "5", {{"5", false}, {"6", true}, {"d6", false}, {"d7", true}}},
    WatchCase{"a_key_made_before_its_number", "", {{"k", false}, {"1", true}}},
    WatchCase{"a_deleted_value_asks_nothing_and_any_later_one_does", "5", {{"-", false}, {"sz", false}, {"5", true}}},
    WatchCase{"a_deleted_key_asks_nothing_and_one_made_again_does", "5", {{"x", false}, {"x", false}, {"5", true}, {"6", true}}},
    WatchCase{"the_32_bit_program_watches_the_64_bit_key", "", {{"w7", false}, {"7", true}, {"x", false}, {"8", true}}, true},
    WatchCase{"without_notifications_it_never_wakes", "5", {{"6", false}, {"x", false}, {"7", false}}, false,
              "RegNotifyChangeKeyValue"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr
