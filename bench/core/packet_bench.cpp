#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include <benchmark/benchmark.h>
#include <unistd.h>

#include "core/packet.h"

namespace {

double ResidentMiB() {
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    statm >> size >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Registered first, so it sees the pool before any other benchmark has cycled
// through its blocks: the whole process must stay under 8 MiB resident.
void BM_ResidentAfterTenPackets(benchmark::State& state) {
    double before = 0, after = 0;
    for (auto _ : state) {
        before = ResidentMiB();
        std::vector<Packet> used(10);
        for (Packet& p : used) {
            p.reserve_head(64);
            std::memset(p.put(1500), 0x5A, 1500);
            p.push16_b(1504);
        }
        Packet copy = used[0];
        copy.put8(1);  // one copy on write as well
        after = ResidentMiB();
        benchmark::DoNotOptimize(used.data());
    }
    state.counters["rss_before_MiB"] = before;
    state.counters["rss_after_MiB"] = after;
    state.counters["pool_blocks_MiB"] = Packet_pool::capacity() * sizeof(_Packet) / (1024.0 * 1024.0);
    if (after >= 8.0) state.SkipWithError("resident memory reached 8 MiB");
}
BENCHMARK(BM_ResidentAfterTenPackets)->Iterations(1);

void BM_PacketAllocFree(benchmark::State& state) {
    const auto size = static_cast<unsigned>(state.range(0));
    for (auto _ : state) {
        Packet p;
        p.reserve_head(0);
        benchmark::DoNotOptimize(p.put(size));
        p.clear();
    }
}
BENCHMARK(BM_PacketAllocFree)->Arg(20)->Arg(65536);

void BM_PacketCopyOnWrite(benchmark::State& state) {
    const auto size = static_cast<unsigned>(state.range(0));
    Packet source;
    source.reserve_head(0);
    std::memset(source.put(size), 0xA5, size);
    for (auto _ : state) {
        Packet copy = source;
        copy[0] = 0x11;  // the first change takes a private block
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(BM_PacketCopyOnWrite)->Arg(20)->Arg(65536);

void BM_PacketShare(benchmark::State& state) {
    Packet source;
    source.reserve_head(0);
    source.put(20);
    for (auto _ : state) {
        Packet copy = source;
        benchmark::DoNotOptimize(copy.get());
    }
}
BENCHMARK(BM_PacketShare);

void BM_Malloc64KFree(benchmark::State& state) {
    for (auto _ : state) {
        void* p = std::malloc(65536);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(BM_Malloc64KFree);

void BM_Malloc64KCopyFree(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    std::vector<unsigned char> source(65536, 0xA5);
    for (auto _ : state) {
        auto* p = static_cast<unsigned char*>(std::malloc(65536));
        std::memcpy(p, source.data(), size);
        benchmark::DoNotOptimize(p);
        std::free(p);
    }
}
BENCHMARK(BM_Malloc64KCopyFree)->Arg(20)->Arg(65536);

}  // namespace
