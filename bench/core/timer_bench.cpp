// Arming, re-arming and cancelling one timer beside P pending ones.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "core/multiplexer.h"
#include "core/timer.h"

namespace {

struct Target {
    void On() {}
};

struct Pending {
    explicit Pending(int count) : timers(count) {
        std::mt19937 random(42);
        for (Timer& t : timers) t.set(1000 + random() % 100000, &Target::On, &target);
    }
    Target target;
    std::vector<Timer> timers;
};

void BM_TimerArmCancel(benchmark::State& state) {
    Pending pending(static_cast<int>(state.range(0)));
    std::mt19937 random(7);
    Timer t;
    for (auto _ : state) {
        t.set(1000 + random() % 100000, &Target::On, &pending.target);
        t.reset();
    }
}

void BM_TimerReArm(benchmark::State& state) {
    Pending pending(static_cast<int>(state.range(0)));
    std::mt19937 random(7);
    Timer t;
    for (auto _ : state) t.set(1000 + random() % 100000, &Target::On, &pending.target);
}

// Re-arming one of the pending timers themselves: a cancel from the middle each time.
void BM_TimerReArmPending(benchmark::State& state) {
    Pending pending(static_cast<int>(state.range(0)));
    std::mt19937 random(7);
    size_t i = 0;
    for (auto _ : state) {
        pending.timers[i].set(1000 + random() % 100000, &Target::On, &pending.target);
        if (++i == pending.timers.size()) i = 0;
    }
}

}  // namespace

BENCHMARK(BM_TimerArmCancel)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_TimerReArm)->Arg(10)->Arg(1000)->Arg(10000);
BENCHMARK(BM_TimerReArmPending)->Arg(10)->Arg(1000)->Arg(10000);
