// Frames through two HDLC channels at the ends of a cabled trunk pair on the
// simulated board: write, the controller, the switch, the cable, the other
// controller channel, the loop and the read, in batches of 1 and 64.
#include <poll.h>

#include <iostream>
#include <sstream>

#include <benchmark/benchmark.h>

#include "core/multiplexer.h"
#include "hardware/hdlc.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "hardware/sim/board.h"
#include "hardware/sim/mcc_device.h"

namespace {

// Stops the loop once the batch is in.
struct Counter : HDLC::Notify {
    void on_hdlc_receive(Packet&) override {
        if (++received == expected) multiplexer.terminate();
    }
    void on_hdlc_error(Cause::Type) override { multiplexer.terminate(); }
    void on_hdlc_ready() override {}
    long received = 0;
    long expected = 0;
};

bool Activate(HDLC& hdlc, int trunk) {
    HDLC::Params p;
    p.trunk = trunk;
    p.timeslot = Tdm::kE1SignallingTimeSlot;
    p.tdm = Tdm::TrunkTimeSlot(trunk, Tdm::kE1SignallingTimeSlot);
    hdlc.params(p);
    return hdlc.activate();
}

void BM_HdlcFramesOverCable(benchmark::State& state) {
    std::ostringstream quiet;
    std::streambuf* saved = std::clog.rdbuf(quiet.rdbuf());
    // The switch is the process's one; the board is reset before it opens /dev/hal only.
    static bool fresh = [] {
        Sim::board().Reset();
        HwMux::instance();
        return true;
    }();
    (void)fresh;
    Sim::board().SetLogLimit(0);  // as in tamboril-sim
    Sim::trunks().Cable(0, 1);
    {
        HDLC a, b;
        Counter counter;
        b.bind(&counter);
        if (!Activate(a, 0) || !Activate(b, 1)) state.SkipWithError("activation failed");
        long passes = 0;
        // A lost frame would keep the loop waiting: a batch gets a bounded number of passes.
        multiplexer.set_poll([&](pollfd* fds, nfds_t n, int) {
            if (++passes > 100000) multiplexer.terminate();
            return ::poll(fds, n, 0);
        });
        const long batch = state.range(0);
        Packet frame;
        frame.reserve_head(0);
        for (unsigned char byte : {0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x05, 0x05, 0xA1, 0x04})
            frame.put8(byte);
        for (auto _ : state) {
            counter.expected = counter.received + batch;
            for (long i = 0; i < batch; ++i) a.hdlc_transmit(frame);
            passes = 0;
            multiplexer.run(false, true);
            if (counter.received != counter.expected) {
                state.SkipWithError("frames lost");
                break;
            }
        }
        state.SetItemsProcessed(counter.received);
        multiplexer.set_poll({});
    }
    Sim::trunks().Reset();
    Sim::board().SetLogLimit(Sim::Board::kDefaultLogLimit);
    std::clog.rdbuf(saved);
}
BENCHMARK(BM_HdlcFramesOverCable)->Arg(1)->Arg(64);

}  // namespace
