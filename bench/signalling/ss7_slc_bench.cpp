// MSUs per second through two MTP level 2 links back to back: each MSU is
// numbered, kept, sent, accepted, acknowledged and released.
#include <benchmark/benchmark.h>

#include <deque>
#include <iostream>
#include <sstream>

#include "core/packet.h"
#include "core/protocol.h"
#include "signalling/ss7_slc.h"

namespace {

// Queues frames for the far link instead of delivering them inside the call.
struct Wire : GenericHDLC {
    bool hdlc_transmit(Packet& su) override {
        queue.push_back(su);
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    std::deque<Packet> queue;
};

struct Sink : Protocol {
    void receive(Packet&) override { ++received; }
    std::uint64_t received = 0;
};

struct Pair {
    Pair() {
        for (int i = 0; i < 2; ++i) {
            stack[i].add_protocol_tail(link[i] = new SS7::SLC);
            stack[i].add_protocol_tail(user[i] = new Sink);
            link[i]->hdlc(&wire[i]);
        }
        link[0]->local_activate();
        Pump();
        // Proving ends when the far end's FISU arrives; the loop does not run here.
        Packet fisu;
        fisu.reserve_head(0);
        for (unsigned char c : {0xFF, 0xFF, 0x00}) fisu.put8(c);
        link[1]->receive(fisu);
        Pump();
    }
    // Carries frames both ways until both wires are quiet.
    void Pump() {
        while (!wire[0].queue.empty() || !wire[1].queue.empty()) {
            for (int i = 0; i < 2; ++i) {
                while (!wire[i].queue.empty()) {
                    Packet su = wire[i].queue.front();
                    wire[i].queue.pop_front();
                    link[1 - i]->receive(su);
                }
            }
        }
    }
    ProtocolsList stack[2];
    SS7::SLC* link[2];
    Sink* user[2];
    Wire wire[2];
};

void BM_MsusBackToBack(benchmark::State& state) {
    std::ostringstream quiet;
    auto* saved = std::clog.rdbuf(quiet.rdbuf());
    {
        Pair pair;
        if (pair.link[0]->get_state_id() != 5 || pair.link[1]->get_state_id() != 5) {
            state.SkipWithError("links not in service");
        } else {
            const unsigned burst = static_cast<unsigned>(state.range(0));
            for (auto _ : state) {
                for (unsigned n = 0; n < burst; ++n) {
                    Packet msu;
                    pair.user[0]->prepare_head(msu);
                    for (unsigned k = 0; k < 20; ++k) msu.put8(static_cast<unsigned char>(k));
                    pair.user[0]->transmit(msu);
                }
                pair.Pump();
            }
            state.SetItemsProcessed(static_cast<std::int64_t>(pair.user[1]->received));
        }
    }
    std::clog.rdbuf(saved);
}
BENCHMARK(BM_MsusBackToBack)->Arg(1)->Arg(100);

}  // namespace
