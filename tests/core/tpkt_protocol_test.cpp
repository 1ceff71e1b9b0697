// The TPKT layer alone: framing and reassembly from pieces cut at every point.
#include "core/tpkt_protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iostream>

#include "core/packet.h"
#include "tests/core/control_service_test.h"
#include "tests/core/held_blocks.h"

using namespace testing_core;

namespace {

class Owner : public ProtocolsFamily {
public:
    Owner() { tpkt = static_cast<Tpkt_protocol*>(add_protocol_tail(new Tpkt_protocol)); }
    void on_message(Packet& p) override {
        const Packet& body = p;
        bodies.emplace_back(
            body.null() ? "" : std::string(reinterpret_cast<const char*>(body.data()), body.length()));
    }
    void transmit(Packet& p) override {
        const Packet& frame = p;
        sent.assign(reinterpret_cast<const char*>(frame.data()), frame.length());
    }
    void feed(const std::string& bytes) {
        Packet piece;
        piece.reserve_head(0);
        std::memcpy(piece.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
        receive(piece);
    }
    Tpkt_protocol* tpkt;
    std::vector<std::string> bodies;
    std::string sent;
};

TEST(Tpkt, MessageOfNBytesIsSentAsNPlusFourWithTheLength) {
    Owner owner;
    for (unsigned n : {0u, 1u, 300u, 65531u}) {
        Packet p;
        owner.prepare_head(p);
        std::memset(p.put(n), 'z', n);
        owner.message(p);
        ASSERT_EQ(n + 4, owner.sent.size());
        EXPECT_EQ(Frame(std::string(n, 'z')), owner.sent);
    }
}

TEST(Tpkt, OverlongMessageIsRefusedNotWrapped) {
    LineCapture errors(std::cerr);
    Owner owner;
    owner.sent = "untouched";
    Packet p;
    owner.prepare_head(p);
    p.put(65532);
    owner.message(p);
    EXPECT_EQ("untouched", owner.sent);
    EXPECT_EQ(1u, errors.lines().size());
}

TEST(Tpkt, FrameWithoutABufferForItsBodyIsSkippedAndTheNextOneDelivered) {
    LineCapture log(std::clog);
    Owner owner;
    Packet piece;
    piece.reserve_head(0);
    const std::string bytes = Frame("lost") + Frame("also lost");
    std::memcpy(piece.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
    std::vector<Packet> held = HoldEveryBlock();
    owner.receive(piece);
    EXPECT_TRUE(owner.bodies.empty());
    EXPECT_EQ(2u, owner.tpkt->shortage().refused());
    EXPECT_EQ(std::vector<std::string>{"(no name) no packet buffer: TPKT frame of 4 bytes dropped."}, log.texts());
    EXPECT_EQ(Tpkt_protocol::idle, owner.tpkt->state());
    held.clear();
    owner.feed(Frame("kept"));
    EXPECT_EQ(std::vector<std::string>{"kept"}, owner.bodies);
}

TEST(Tpkt, StreamCutAtEveryPointGivesTheSameBodies) {
    LineCapture log(std::clog);
    const std::string stream = Frame("alpha") + Frame("") + Frame(std::string(300, 'q')) + Frame("z");
    for (size_t cut1 = 0; cut1 <= stream.size(); cut1 += 7) {
        for (size_t cut2 = cut1; cut2 <= stream.size(); cut2 += 13) {
            Owner owner;
            owner.feed(stream.substr(0, cut1));
            owner.feed(stream.substr(cut1, cut2 - cut1));
            owner.feed(stream.substr(cut2));
            ASSERT_EQ((std::vector<std::string>{"alpha", "", std::string(300, 'q'), "z"}), owner.bodies)
                << cut1 << "/" << cut2;
            EXPECT_EQ(Tpkt_protocol::idle, owner.tpkt->state());
            EXPECT_FALSE(owner.tpkt->frame_pending());
        }
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST(Tpkt, EmptyBodyEndingAPieceIsDeliveredWithoutWaiting) {
    Owner owner;
    owner.feed(Bytes({3, 0, 0, 4}));
    EXPECT_EQ(std::vector<std::string>{""}, owner.bodies);
    EXPECT_FALSE(owner.tpkt->frame_pending());
}

TEST(Tpkt, PartialFrameArmsTheTimerAndResetClearsIt) {
    Owner owner;
    owner.feed(Bytes({3, 0, 0, 9, 1}));
    EXPECT_EQ(Tpkt_protocol::body, owner.tpkt->state());
    EXPECT_TRUE(owner.tpkt->frame_pending());
    owner.tpkt->reset();
    EXPECT_EQ(Tpkt_protocol::idle, owner.tpkt->state());
    EXPECT_FALSE(owner.tpkt->frame_pending());
    owner.feed(Frame("after"));
    EXPECT_EQ(std::vector<std::string>{"after"}, owner.bodies);
}

TEST(Tpkt, LengthsBelowFourRestartTheScan) {
    LineCapture log(std::clog);
    Owner owner;
    for (int len = 0; len < 4; ++len) owner.feed(Bytes({3, 0, 0, len}));
    owner.feed(Frame("x"));
    EXPECT_EQ((std::vector<std::string>{"TPKT too small 0", "TPKT too small 1", "TPKT too small 2",
                                        "TPKT too small 3"}),
              log.texts());
    EXPECT_EQ(std::vector<std::string>{"x"}, owner.bodies);
}

TEST(Tpkt, DeactivationResetsAndReportsItsText) {
    struct Top : Owner {
        void on_deactivated(Protocol*, Protocol_status st) override { text = st->message(); }
        std::string text;
    } owner;
    owner.feed(Bytes({3, 0}));
    owner.deactivate();
    EXPECT_EQ("TPKT deactivated", owner.text);
    EXPECT_EQ(Tpkt_protocol::idle, owner.tpkt->state());
}

}  // namespace
