// How long one simulated second of the bird takes, and proof that its ticks allocate nothing:
// global operator new is counted, and the binary fails when a measured tick allocated.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

#include "app/program.h"
#include "platform/sim/sim_desktop.h"

namespace {

std::atomic<long long> gAllocations{0};
std::atomic<bool> gCounting{false};

void* CountedAlloc(std::size_t size) {
    if (gCounting.load(std::memory_order_relaxed)) {
        gAllocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

// The array and nothrow forms call this one by default, and the other deletes call the first.
void* operator new(std::size_t size) {
    return CountedAlloc(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

constexpr int kSecondsPerDesktop = 500;  // the sim's logs are reserved for this many changes

// A desktop with two tall windows, A in the foreground, the program started and settled in.
struct Scene {
    Scene() {
        desk.Bird().KeepAllPresents(false);
        desk.ReserveLogs(2 * kSecondsPerDesktop);
        desk.Activate(a);
        program.Start();
        desk.RunFor(5000);  // past the first show and into the steady state
    }
    tb::sim::SimDesktop desk;
    tb::WindowHandle a = desk.AddWindow({200, 150, 1400, 950});
    tb::WindowHandle b = desk.AddWindow({300, 100, 1920, 1002});
    tb::Program program{desk.GetPlatform()};
};

// Runs `ms` of the clock with the counter on.
void Counted(tb::sim::SimDesktop& desk, int ms) {
    gCounting.store(true);
    desk.RunFor(ms);
    gCounting.store(false);
}

// One simulated second per iteration, ten animation ticks and ten foreground polls, with the
// foreground switching between two windows half-way, so the settle and the animation path run.
void BM_OneSimulatedSecond(benchmark::State& state) {
    auto scene = std::make_unique<Scene>();
    long long ticks = 0;
    int seconds = 0;
    for (auto _ : state) {
        if (++seconds == kSecondsPerDesktop) {
            // The sim's logs only grow; a fresh desktop keeps them within their reserve.
            state.PauseTiming();
            scene.reset();
            scene = std::make_unique<Scene>();
            seconds = 0;
            state.ResumeTiming();
        }
        Counted(scene->desk, 450);
        scene->desk.Activate(seconds % 2 != 0 ? scene->b : scene->a);  // the user's, not a tick's
        Counted(scene->desk, 550);
        ticks += 10;
    }
    state.counters["time_per_tick"] = benchmark::Counter(
        static_cast<double>(ticks), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["allocs_per_tick"] =
        static_cast<double>(gAllocations.load()) / static_cast<double>(ticks > 0 ? ticks : 1);
}
BENCHMARK(BM_OneSimulatedSecond);

}  // namespace

int main(int argc, char** argv) {
    // The replaced operator new must see an allocation, or a zero count would prove nothing.
    gCounting.store(true);
    auto probe = std::make_unique<int>(7);
    gCounting.store(false);
    benchmark::DoNotOptimize(probe.get());
    if (gAllocations.exchange(0) != 1) {
        std::fprintf(stderr, "the counting allocator is not in use\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (gAllocations.load() != 0) {
        std::fprintf(stderr, "the tick path allocated %lld times\n", gAllocations.load());
        return 1;
    }
    return 0;
}
