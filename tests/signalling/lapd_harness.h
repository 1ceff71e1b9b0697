// A LAPD entity on a recording frame channel, stacked alone in a recording
// protocol list, driven on the loop's manual clock.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/protocol.h"
#include "core/timer.h"
#include "signalling/lapd.h"
#include "tests/core/multiplexer_test.h"

using Bytes = std::vector<unsigned char>;

inline Bytes BytesOf(const Packet& p) {
    return Bytes(p.data(), p.data() + p.length());
}

inline Packet PacketOf(const Bytes& bytes, unsigned head = 4) {
    Packet p;
    p.reserve_head(head);
    for (unsigned char b : bytes) p.put8(b);
    return p;
}

struct RecordingHdlc : GenericHDLC {
    bool hdlc_transmit(Packet& frame) override {
        if (full) return false;
        frames.push_back(BytesOf(frame));
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return !full; }
    // The frames sent since the last call.
    std::vector<Bytes> Take() { return std::exchange(frames, {}); }

    std::vector<Bytes> frames;
    bool full = false;
};

struct RecordingStack : ProtocolsList {
    void on_activated(Protocol*) override { ++activated; }
    void on_deactivated(Protocol*, Protocol_status s) override {
        deactivated.push_back((s->success() ? "+" : "-") + s->message());
    }
    void on_status(Protocol_status s) override { statuses.push_back(s->message()); }
    void on_message(Packet& p) override { messages.push_back(BytesOf(p)); }

    int activated = 0;
    std::vector<std::string> deactivated;
    std::vector<std::string> statuses;
    std::vector<Bytes> messages;
};

struct FlowListener : ISDN::LAPD::Notify {
    void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override { changes.push_back(lapd->GetFlowStatus()); }
    std::vector<int> changes;
};

class LapdTest : public LoopTest {
protected:
    using State = ISDN::LAPDFullState;

    void SetUp() override {
        LoopTest::SetUp();
        lapd = new ISDN::LAPD(ISDN::Side::user, 0);
        stack.add_protocol_tail(lapd);
        lapd->hdlc(&hdlc);
    }

    // Runs the loop until ms have passed on the manual clock.
    void Wait(unsigned ms) {
        Timer stop;
        stop.set(ms, [] { multiplexer.terminate(); });
        run();
    }
    void Rx(const Bytes& frame) {
        Packet p = PacketOf(frame, 0);
        lapd->receive(p);
    }
    void Send(const Bytes& message) {
        Packet p = PacketOf(message);
        lapd->message(p);
    }
    unsigned state() const { return lapd->snapshot().state; }
    // Our user side up by our SABME and the network's UA.
    void Establish() {
        lapd->local_activate();
        Rx({0x00, 0x01, 0x73});
        ASSERT_EQ(State::multiple_frame_established, state());
        hdlc.Take();
    }

    RecordingHdlc hdlc;
    RecordingStack stack;
    ISDN::LAPD* lapd = nullptr;
};
