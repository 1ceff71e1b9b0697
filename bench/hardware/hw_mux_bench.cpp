#include <iostream>
#include <sstream>

#include <benchmark/benchmark.h>

#include "hardware/hw_mux.h"
#include "hardware/sim/board.h"

namespace {

// One refresh pass over a bus whose outputs are all disabled: the most work a
// pass of the loop spends on the switch (128 requests), here on the simulated
// board, with the request log on (as in tests, argument 1024) and off (as in
// tamboril-sim, argument 0).
void BM_RefreshPass(benchmark::State& state) {
    std::ostringstream quiet;
    std::streambuf* saved = std::clog.rdbuf(quiet.rdbuf());
    Sim::board().Reset();
    Sim::board().SetLogLimit(static_cast<std::size_t>(state.range(0)));
    {
        HwMux mux;
        for (auto _ : state) mux.OnDPC();
        state.SetItemsProcessed(state.iterations() * HwMux::kRefreshPerPass);
    }
    Sim::board().Reset();
    std::clog.rdbuf(saved);
}
BENCHMARK(BM_RefreshPass)->Arg(1024)->Arg(0);

}  // namespace
