// The pass with a `children` favourite, over the fake's parents and creation times.
#include "engine/descendants.h"

#include <gtest/gtest.h>

#include "engine/engine.h"
#include "platform/fake_platform.h"
#include "profile/load_favorites.h"

namespace mjr {
namespace {

constexpr Dword N = 0x20, H = 0x80, A = 0x8000, B = 0x4000, R = 0x100, kQueryOnly = kProcessQueryLimitedInformation;
constexpr std::uintptr_t kUnread = ~std::uintptr_t{0};  // the parent cannot be read
constexpr std::uint64_t kLater = 1000;  // created at or after it: starts between the two passes
// After the first pass the launcher, 300, ends; then maybe the child's identifier passes to
// another process, or the profile is read again.
enum class Then { OnePass, LauncherEnds, ChildIdentifierReused, ProfileReloaded };

// A process, its class after the last pass, and the rights it grants.
struct Member {
    Dword pid; std::uintptr_t parent; std::uint64_t created; const char* path; Dword classAfter, granted = 0xFFFFFFFF; };
// The profile after its header, the processes in listing order.
struct FamilyCase {
    const char* name; std::string favourites; std::vector<Member> members; Then then = Then::OnePass; std::int64_t priorityErrors = 0; };

const std::string kLauncherLine = "l\t~1\tHigh\tC:\\L.exe\tchildren\r\n";
// The launcher, 300, and the game it started, 400.
Member L(Dword classAfter) { return {300, 4, 10, "C:\\L.exe", classAfter}; }
Member G(Dword classAfter, std::uint64_t created = 20) { return {400, 300, created, "C:\\G.exe", classAfter}; }

class FamilyTest : public ::testing::TestWithParam<FamilyCase> {};

TEST_P(FamilyTest, PlacesWhatAFavouritesProgramStarted) {
    const FamilyCase& c = GetParam();
    testing::FakePlatform fake;
    Module1 m{fake};
    m.Cpu = CpuTable{BuildCpuBits(), 3, ReadCpuTopology(fake)};
    fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = "h\r\n" + c.favourites;
    LoadFavorites(fake, m.Settings, m.Favorites, nullptr);
    fake.AddProcess(0, "");
    fake.AddProcess(4, "");
    std::size_t opens = 0;  // to query, in both passes
    for (bool later : {false, true}) {
        if (later && c.then == Then::OnePass) break;
        for (const Member& x : c.members) {
            opens += later || x.created < kLater;
            if ((x.created >= kLater) != later) continue;
            auto& p = fake.AddProcess(x.pid, x.path);
            p.parentPid = x.parent, p.parentReadFails = x.parent == kUnread, p.creationTime = x.created;
            p.grantedAccess = x.granted;
        }
        if (later) {
            for (auto& p : fake.processes) p.priority = N, p.defaultCpuSets.clear();
            fake.Find(300)->exited = true;
            if (c.then == Then::ChildIdentifierReused) fake.ReuseIdentifier(400, L"C:\\G.exe");
            if (c.then == Then::ProfileReloaded) LoadFavorites(fake, m.Settings, m.Favorites, nullptr);
            m.Enforcement.LastProcessCount = 0;
        }
        EnforcePass(m);
    }
    // Each process placed gets the CPU sets of the favourite that placed it.
    for (const Member& x : c.members) {
        EXPECT_EQ(fake.Find(x.pid)->priority, x.classAfter) << x.pid;
        EXPECT_EQ(fake.Find(x.pid)->defaultCpuSets, (x.classAfter == N ? std::vector<Dword>{} : std::vector<Dword>{0x101})) << x.pid;
    }
    EXPECT_EQ(m.PriorityErrors.Value(), c.priorityErrors);
    EXPECT_EQ(m.AffinityErrors.Value(), 0);
    // Parents are read only for a `children` favourite, and no process is opened twice to query.
    EXPECT_EQ(fake.CallsNamed("NtQueryInformationProcess") > 0, m.Favorites.AsksForChildren());
    EXPECT_EQ(fake.CallsNamed("OpenProcess(0x1000,"), opens);
    EXPECT_EQ(fake.OpenHandleCount(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Table, FamilyTest, ::testing::Values(
    // A grandchild listed before its parent and the launcher, found in the one scan.
    FamilyCase{"child_and_grandchild_listed_first", kLauncherLine,
               {{500, 400, 30, "C:\\Crash.exe", H}, L(H), G(H), {600, 4, 5, "C:\\Other.exe", N}}},
    // Equal creation times link, a loop of them proves nothing; older than the launcher (its
    // identifier was another process's), a parent unread, or one no identifier has: no link, no failure.
    FamilyCase{"proven_and_unproven_links", kLauncherLine,
               {L(H), G(H, 10), {500, 600, 10, "C:\\A.exe", N}, {600, 500, 10, "C:\\B.exe", N}, {401, 300, 5, "C:\\G.exe", N},
                {402, kUnread, 20, "C:\\G.exe", N},
                {403, static_cast<std::uintptr_t>(0x10000012Cull), 20, "C:\\G.exe", sizeof(void*) == 8 ? N : H}}},
    // Its own favourite wins over any ancestor's, then the nearest ancestor of a `children` favourite.
    FamilyCase{"own_favourite_first_then_the_nearest_children_ancestor",
               kLauncherLine + "m\t~1\tAbove\tC:\\M.exe\tchildren\r\no\t~1\tBelow\tC:\\O.exe\tnote\r\n",
               {L(H), {400, 300, 20, "C:\\O.exe", B}, {500, 400, 30, "C:\\P.exe", H}, {410, 300, 20, "C:\\M.exe", A},
                {510, 410, 30, "C:\\Q.exe", A}}},
    // Real passes on as High; a refused open for setting fails only for a favourite's own program.
    FamilyCase{"realtime_capped_and_a_refused_child_uncounted",
               "l\t~1\tReal\tC:\\L.exe\tchildren\r\nx\t01\tHigh\tC:\\X.exe\r\n",
               {L(R), G(H), {401, 300, 20, "C:\\Protected.exe", N, kQueryOnly}, {600, 4, 5, "C:\\X.exe", N, kQueryOnly}},
               Then::OnePass, 1},
    FamilyCase{"a_child_stays_placed_after_its_launcher_ends_and_a_new_one_is_not", kLauncherLine,
               {L(N), G(H), {450, 300, kLater, "C:\\Late.exe", N}}, Then::LauncherEnds},
    FamilyCase{"a_reused_identifier_is_another_process", kLauncherLine, {L(N), G(N)}, Then::ChildIdentifierReused},
    FamilyCase{"a_reload_forgets_what_was_learned", kLauncherLine, {L(N), G(N)}, Then::ProfileReloaded},
    FamilyCase{"no_children_favourite_reads_no_parent", "l\t~1\tHigh\tC:\\L.exe\r\n", {L(H), G(N)}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace mjr
