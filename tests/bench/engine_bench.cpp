// Figures for the engine's hot paths over the fake platform (call records off).
// Run: cmake --build build/host --target engine_bench && build/host/tests/bench/engine_bench
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "engine/engine.h"
#include "platform/fake_platform.h"
#include "platform/fold_case.h"
#include "profile/load_favorites.h"

namespace {

std::atomic<std::size_t> g_allocations{0};

}  // namespace

void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// Counting allocations needs a replaced global operator new; GCC cannot see the pairing.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using mjr::testing::FakePlatform;

constexpr int kProcesses = 300;

std::string ProcessPath(int i) { return "C:\\Program Files\\Vendor " + std::to_string(i) + "\\tool" + std::to_string(i) + ".exe"; }

// Patterns first, so each one is tried on every process: the most a pass can spend on them.
std::string ProfileOf(int favourites, int patterns = 0) {
    std::string bytes = "Header\r\n";
    for (int i = 0; i < patterns; ++i)
        bytes += "p\t01\tHigh\t" + std::string(i % 2 ? "C:\\Program Files\\**\\tool" : "C:\\Program Files\\*\\tool") +
                 std::to_string(i * 7 + 1) + "*.exe\r\n";
    for (int i = 0; i < favourites; ++i) bytes += "x\t01\tHigh\t" + ProcessPath(i * 7) + "\r\n";
    return bytes;
}

struct World {
    FakePlatform fake;
    mjr::Module1 m{fake};
    explicit World(int favourites, int patterns = 0) {
        fake.recordCalls = false;
        fake.numberOfProcessors = 4;
        m.Cpu = mjr::CpuTable{mjr::BuildCpuBits(), 3};
        fake.AddProcess(0, "");
        fake.AddProcess(4, "");
        for (int i = 0; i < kProcesses - 2; ++i) fake.AddProcess(100 + 4 * i, ProcessPath(i));
        fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = ProfileOf(favourites, patterns);
        mjr::LoadFavorites(fake, m.Settings, m.Favorites, nullptr);
    }
};

void IdlePass(benchmark::State& state) {
    World w(10);
    for (int i = 0; i < 5; ++i) mjr::EnforcePass(w.m);  // spend the series
    const std::size_t opens = w.fake.handlesOpened;
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) mjr::EnforcePass(w.m);
    state.counters["allocs/pass"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - allocationsBefore), benchmark::Counter::kAvgIterations);
    state.counters["opens"] = static_cast<double>(w.fake.handlesOpened - opens);
    state.counters["processes"] = kProcesses;
}
BENCHMARK(IdlePass);

void ScanningPass(benchmark::State& state) {
    World w(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    std::size_t matched = 0;
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        w.m.Enforcement.LastProcessCount = 0;  // as a reset or the enforce period does
        mjr::EnforcePass(w.m);
    }
    state.counters["allocs/pass"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - allocationsBefore), benchmark::Counter::kAvgIterations);
    for (int i = 0; i < kProcesses - 2; ++i)
        if (w.m.Favorites.FindFirst(mjr::FoldPathCase(w.fake, w.fake.AnsiToWide(ProcessPath(i))))) ++matched;
    state.counters["favourites"] = static_cast<double>(w.m.Favorites.Count());
    state.counters["patterns"] = static_cast<double>(state.range(1));
    state.counters["matching processes"] = static_cast<double>(matched);
}
BENCHMARK(ScanningPass)
    ->Args({10, 0})->Args({1000, 0})->Args({32767, 0})
    ->Args({1000, 10})->Args({1000, 100})
    ->Unit(benchmark::kMicrosecond);

// One launcher favourite over the 300 processes, 50 of them its descendants (a binary tree
// under it): the pass as it reads every parent (1), beside the same favourite without
// "children" (0).
void ChildrenPass(benchmark::State& state) {
    World w(0);
    const bool children = state.range(0) != 0;
    w.fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] =
        "Header\r\nx\t01\tHigh\t" + ProcessPath(0) + (children ? "\tchildren\r\n" : "\r\n");
    mjr::LoadFavorites(w.fake, w.m.Settings, w.m.Favorites, nullptr);
    for (mjr::testing::FakeProcess& p : w.fake.processes) p.parentPid = 4;
    for (mjr::Dword i = 1; i <= 50; ++i) w.fake.Find(100 + 4 * i)->parentPid = 100 + 4 * ((i - 1) / 2);
    const std::size_t allocationsBefore = g_allocations.load();
    for (auto _ : state) {
        w.m.Enforcement.LastProcessCount = 0;
        mjr::EnforcePass(w.m);
    }
    state.counters["allocs/pass"] = benchmark::Counter(
        static_cast<double>(g_allocations.load() - allocationsBefore), benchmark::Counter::kAvgIterations);
    std::size_t placed = 0;
    for (const mjr::testing::FakeProcess& p : w.fake.processes) placed += p.priority == 0x80;
    state.counters["placed"] = static_cast<double>(placed);
}
BENCHMARK(ChildrenPass)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void ProfileLoad(benchmark::State& state) {
    FakePlatform fake;
    fake.recordCalls = false;
    fake.files[L"C:\\Apps\\Marrowbine\\My Favs 1"] = ProfileOf(32767);
    mjr::RunSettings settings;
    mjr::FavoritesTable favorites;
    for (auto _ : state) mjr::LoadFavorites(fake, settings, favorites, nullptr);
    state.counters["favourites"] = favorites.Count();
}
BENCHMARK(ProfileLoad)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
