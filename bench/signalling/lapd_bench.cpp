// I frames per second through two LAPD entities back to back: a user side and
// a network side joined by an in-memory wire that delivers each frame after the
// sender has returned, as a channel does.
#include <benchmark/benchmark.h>

#include <deque>
#include <iostream>
#include <streambuf>

#include "core/packet.h"
#include "core/protocol.h"
#include "signalling/dlogframe.h"
#include "signalling/lapd.h"

namespace {

struct Wire : GenericHDLC {
    bool hdlc_transmit(Packet& frame) override {
        frames.push_back(frame);
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    std::deque<Packet> frames;
};

struct Upper : ProtocolsList {
    void on_message(Packet&) override { ++received; }
    size_t received = 0;
};

struct Pair {
    Pair() {
        for (int i = 0; i < 2; ++i) {
            lapd[i] = new ISDN::LAPD(i == 0 ? ISDN::Side::user : ISDN::Side::network, 0);
            upper[i].add_protocol_tail(lapd[i]);
            lapd[i]->hdlc(&wire[i]);
        }
        lapd[0]->local_activate();
        Pump();
    }
    // Delivers until both wires are quiet.
    void Pump() {
        for (bool moved = true; moved;) {
            moved = false;
            for (int i = 0; i < 2; ++i)
                while (!wire[i].frames.empty()) {
                    Packet f = wire[i].frames.front();
                    wire[i].frames.pop_front();
                    lapd[1 - i]->receive(f);
                    moved = true;
                }
        }
    }
    Wire wire[2];
    Upper upper[2];
    ISDN::LAPD* lapd[2];
};

// Messages of state.range(0) octets from the user side to the network side, a
// window's worth at a time, each acknowledged by the peer.
void BM_LapdIFramesOneWay(benchmark::State& state) {
    Pair pair;
    Packet message;
    pair.lapd[0]->prepare_head(message);
    for (int i = 0; i < state.range(0); ++i) message.put8(static_cast<unsigned char>(i));
    size_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < 7; ++i) {
            Packet m = message;
            pair.lapd[0]->message(m);
        }
        pair.Pump();
        sent += 7;
    }
    if (pair.upper[1].received != sent) state.SkipWithError("messages lost");
    state.SetItemsProcessed(static_cast<int64_t>(sent));
}
BENCHMARK(BM_LapdIFramesOneWay)->Arg(20)->Arg(260);

// Both sides sending at once: acknowledgements ride on the I frames.
void BM_LapdIFramesBothWays(benchmark::State& state) {
    Pair pair;
    Packet message;
    pair.lapd[0]->prepare_head(message);
    for (int i = 0; i < 40; ++i) message.put8(static_cast<unsigned char>(i));
    size_t sent = 0;
    for (auto _ : state) {
        for (int i = 0; i < 7; ++i)
            for (ISDN::LAPD* l : pair.lapd) {
                Packet m = message;
                l->message(m);
            }
        pair.Pump();
        sent += 14;
    }
    if (pair.upper[0].received + pair.upper[1].received != sent) state.SkipWithError("messages lost");
    state.SetItemsProcessed(static_cast<int64_t>(sent));
}
BENCHMARK(BM_LapdIFramesBothWays);

// The trace decoder on a SETUP with the usual elements.
void BM_Dlogframe(benchmark::State& state) {
    const unsigned char setup[] = {0x00, 0x01, 0x00, 0x00, 0x08, 0x02, 0x00, 0x01, 0x05, 0x04, 0x03, 0x80,
                                   0x90, 0xA3, 0x18, 0x03, 0xA9, 0x83, 0x81, 0x70, 0x04, 0x81, '1',  '2',
                                   '3',  0x6C, 0x05, 0x21, 0x80, '4',  '5',  '6',  0xA1};
    for (auto _ : state) {
        ISDN::dlogframe(setup, sizeof setup, 0, ISDN::logbuf);
        benchmark::DoNotOptimize(ISDN::logbuf[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Dlogframe);

}  // namespace
