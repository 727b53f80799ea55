// The pass with a `children` favourite: what a favourite's program started gets its placement,
// link by proven link, over the fake's parents and creation times.
#include "engine/descendants.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "platform/fake_platform.h"
#include "profile/load_favorites.h"

namespace mjr {
namespace {

using testing::FakePlatform;

constexpr Dword N = 0x20, H = 0x80, A = 0x8000, B = 0x4000, R = 0x100, kAll = 0xFFFFFFFF;
constexpr Dword kQueryOnly = kProcessQueryLimitedInformation;
constexpr std::uintptr_t kUnread = ~std::uintptr_t{0};  // the parent cannot be read
// The launcher's identifier and what happens to it between two passes.
constexpr Dword kLauncher = 300;
enum class Then { OnePass, LauncherEnds, LauncherEndsChildIdentifierReused, LauncherEndsProfileReloaded };

struct Member {
    Dword pid;
    std::uintptr_t parent;
    std::uint64_t created;
    const char* path;
    Dword classAfter;  // after the last pass
    Dword granted = kAll;
    bool startsLater = false;  // between the passes
};

struct FamilyCase {
    const char* name;
    std::string favourites;  // the profile after its header
    std::vector<Member> members;  // in listing order
    Then then = Then::OnePass;
    std::int64_t priorityErrors = 0;
};

const std::string kLauncherLine = "l\t01\tHigh\tC:\\L.exe\tchildren\r\n";

class FamilyTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FamilyTest, PlacesWhatAFavouritesProgramStarted) {
    const FamilyCase& c = GetParam();
    FakePlatform fake;
    {
        Module1 m{fake};
        m.Cpu = CpuTable{BuildCpuBits(), 3};
        fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = "h\r\n" + c.favourites;
        LoadFavorites(fake, m.Settings, m.Favorites, nullptr);
        fake.AddProcess(0, "");
        fake.AddProcess(4, "");
        const auto start = [&](const Member& x) {
            auto& p = fake.AddProcess(x.pid, x.path);
            p.parentPid = x.parent;
            p.parentReadFails = x.parent == kUnread;
            p.creationTime = x.created;
            p.grantedAccess = x.granted;
        };
        for (const Member& x : c.members)
            if (!x.startsLater) start(x);
        EnforcePass(m);
        if (c.then != Then::OnePass) {
            for (auto& p : fake.processes) p.priority = N;
            fake.Find(kLauncher)->exited = true;
            for (const Member& x : c.members)
                if (x.startsLater) start(x);
            if (c.then == Then::LauncherEndsChildIdentifierReused) fake.ReuseIdentifier(400, L"C:\\G.exe");
            if (c.then == Then::LauncherEndsProfileReloaded) LoadFavorites(fake, m.Settings, m.Favorites, nullptr);
            m.Enforcement.LastProcessCount = 0;
            EnforcePass(m);
        }
        for (const Member& x : c.members) EXPECT_EQ(fake.Find(x.pid)->priority, x.classAfter) << x.pid;
        EXPECT_EQ(m.PriorityErrors.Value(), c.priorityErrors);
        EXPECT_EQ(m.AffinityErrors.Value(), 0);
        // Parents are read only for a `children` favourite, and no process is opened twice to query.
        EXPECT_EQ(fake.CallsNamed("NtQueryInformationProcess") > 0, m.Favorites.AsksForChildren());
        EXPECT_EQ(fake.CallsNamed("OpenProcess(0x1000,"),
                  c.members.size() * (c.then == Then::OnePass ? 1 : 2) -
                      std::count_if(c.members.begin(), c.members.end(), [](const Member& x) { return x.startsLater; }));
    }
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, FamilyTest, ::testing::Values(
    FamilyCase{"child_and_grandchild", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 20, "C:\\G.exe", H}, {500, 400, 30, "C:\\Crash.exe", H},
                {600, 4, 5, "C:\\Other.exe", N}}},
    FamilyCase{"child_listed_before_its_parent", kLauncherLine, {{400, 300, 20, "C:\\G.exe", H}, {300, 4, 10, "C:\\L.exe", H}}},
    FamilyCase{"equal_creation_times_link_and_a_loop_of_them_proves_nothing", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 10, "C:\\G.exe", H}, {500, 600, 10, "C:\\A.exe", N},
                {600, 500, 10, "C:\\B.exe", N}}},
    // Older than the launcher (its identifier was another process's), a parent unread, or one
    // no identifier has: no link, and no failure.
    FamilyCase{"unproven_links", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 5, "C:\\G.exe", N}, {401, kUnread, 20, "C:\\G.exe", N},
                {402, static_cast<std::uintptr_t>(0x10000012Cull), 20, "C:\\G.exe", sizeof(void*) == 8 ? N : H}}},
    // The nearest ancestor of a `children` favourite wins; its own favourite wins over any.
    FamilyCase{"own_favourite_first_then_the_nearest_children_ancestor",
               kLauncherLine + "m\t01\tAbove\tC:\\M.exe\t Children \r\no\t01\tBelow\tC:\\O.exe\tnote\r\n",
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 20, "C:\\O.exe", B}, {500, 400, 30, "C:\\P.exe", H},
                {410, 300, 20, "C:\\M.exe", A}, {510, 410, 30, "C:\\Q.exe", A}}},
    FamilyCase{"refused_open_for_setting_fails_only_for_a_favourites_own_program",
               kLauncherLine + "x\t01\tHigh\tC:\\X.exe\r\n",
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 20, "C:\\G.exe", N, kQueryOnly},
                {600, 4, 5, "C:\\X.exe", N, kQueryOnly}}, Then::OnePass, 1},
    FamilyCase{"realtime_passes_on_as_high", "l\t01\tReal\tC:\\L.exe\tCHILDREN\r\n",
               {{300, 4, 10, "C:\\L.exe", R}, {400, 300, 20, "C:\\G.exe", H}}},
    FamilyCase{"a_child_stays_placed_after_its_launcher_ends_and_a_new_one_is_not", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", N}, {400, 300, 20, "C:\\G.exe", H}, {450, 300, 40, "C:\\Late.exe", N, kAll, true}},
               Then::LauncherEnds},
    FamilyCase{"a_reused_identifier_is_another_process", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", N}, {400, 300, 20, "C:\\G.exe", N}}, Then::LauncherEndsChildIdentifierReused},
    FamilyCase{"a_reload_forgets_what_was_learned", kLauncherLine,
               {{300, 4, 10, "C:\\L.exe", N}, {400, 300, 20, "C:\\G.exe", N}}, Then::LauncherEndsProfileReloaded},
    FamilyCase{"no_children_favourite_reads_no_parent", "l\t01\tHigh\tC:\\L.exe\r\n",
               {{300, 4, 10, "C:\\L.exe", H}, {400, 300, 20, "C:\\G.exe", N}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr
