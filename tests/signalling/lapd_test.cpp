// The LAPD entity on the user side of a primary-rate link: our commands carry
// C/R 0 (00 01 ..), our responses C/R 1 (02 01 ..); the network's the reverse.
#include "signalling/lapd.h"

#include <new>

#include "tests/signalling/lapd_harness.h"

namespace {

using Strings = std::vector<std::string>;
using Frames = std::vector<Bytes>;

TEST_F(LapdTest, EstablishesAndReleasesOnRequest) {
    lapd->local_activate();
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
    Rx({0x00, 0x01, 0x63});  // UA without F: not the answer
    EXPECT_EQ(State::awaiting_establishment, state());
    Rx({0x00, 0x01, 0x73});
    EXPECT_EQ(State::multiple_frame_established, state());
    EXPECT_EQ(1, stack.activated);
    EXPECT_TRUE(lapd->snapshot().T203_running);

    lapd->local_deactivate();
    EXPECT_EQ((Frames{{0x00, 0x01, 0x53}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_release, state());
    Rx({0x00, 0x01, 0x73});
    EXPECT_EQ(State::tei_assigned, state());
    EXPECT_EQ(Strings{"+success (UA received)"}, stack.deactivated);
    EXPECT_EQ(Strings{"UA (F = 0)"}, stack.statuses);
    lapd->local_deactivate();  // already released: told at once
    EXPECT_EQ((Strings{"+success (UA received)", "+success (deactivated locally)"}), stack.deactivated);
}

TEST_F(LapdTest, PeerEstablishesCollidesAndReleases) {
    Rx({0x02, 0x01, 0x7F});
    EXPECT_EQ((Frames{{0x02, 0x01, 0x73}}), hdlc.Take());
    EXPECT_EQ(State::multiple_frame_established, state());
    EXPECT_EQ(1, stack.activated);

    Send({0x08, 0x01, 0x01});
    EXPECT_EQ(1u, unsigned(lapd->snapshot().VS));
    hdlc.Take();
    Rx({0x02, 0x01, 0x7F});  // re-establishment by the peer
    EXPECT_EQ((Frames{{0x02, 0x01, 0x73}}), hdlc.Take());
    EXPECT_EQ(Strings{"Peer initiated re-establishment - SABME"}, stack.statuses);
    EXPECT_EQ(2, stack.activated);
    EXPECT_EQ(State::multiple_frame_established, state());
    EXPECT_EQ(0u, unsigned(lapd->snapshot().VS));
    EXPECT_EQ(0u, lapd->unacknowledged());

    Rx({0x02, 0x01, 0x53});
    EXPECT_EQ((Frames{{0x02, 0x01, 0x73}}), hdlc.Take());
    EXPECT_EQ(State::tei_assigned, state());
    EXPECT_EQ(Strings{"-remote error (DISC received)"}, stack.deactivated);
    Rx({0x02, 0x01, 0x53});  // DISC while released: DM
    EXPECT_EQ((Frames{{0x02, 0x01, 0x1F}}), hdlc.Take());

    lapd->local_activate();
    hdlc.Take();
    Rx({0x02, 0x01, 0x7F});  // both asked at once
    EXPECT_EQ((Frames{{0x02, 0x01, 0x73}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
}

TEST_F(LapdTest, SendsNumberedIFramesInAWindowOfSeven) {
    Establish();
    for (unsigned char i = 0; i < 8; ++i) Send({0x08, 0x01, i});
    Frames sent = hdlc.Take();
    ASSERT_EQ(7u, sent.size());
    for (unsigned char i = 0; i < 7; ++i) EXPECT_EQ((Bytes{0x00, 0x01, static_cast<unsigned char>(i * 2), 0x00, 0x08, 0x01, i}), sent[i]);
    EXPECT_EQ(1u, lapd->queued());
    EXPECT_EQ(7u, lapd->unacknowledged());

    Rx({0x00, 0x01, 0x01, 0x04});  // RR N(R) = 2
    EXPECT_EQ((Frames{{0x00, 0x01, 0x0E, 0x00, 0x08, 0x01, 0x07}}), hdlc.Take());
    EXPECT_EQ(6u, lapd->unacknowledged());
    EXPECT_TRUE(lapd->snapshot().T200_running);
    Rx({0x00, 0x01, 0x01, 0x10});  // RR N(R) = 8: everything
    EXPECT_EQ(0u, lapd->unacknowledged());
    EXPECT_FALSE(lapd->snapshot().T200_running);
    EXPECT_TRUE(lapd->snapshot().T203_running);
    EXPECT_TRUE(stack.statuses.empty());
}

TEST_F(LapdTest, AcknowledgesIFramesAndRejectsAGapOnce) {
    Establish();
    Send({0x08, 0x01, 0x09});
    hdlc.Take();
    Rx({0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x05});
    EXPECT_EQ((Frames{{0x02, 0x01, 0x01, 0x02}}), hdlc.Take());  // RR response N(R) = 1
    Rx({0x02, 0x01, 0x02, 0x01, 0x08, 0x01, 0x06});              // P = 1
    EXPECT_EQ((Frames{{0x02, 0x01, 0x01, 0x05}}), hdlc.Take());  // RR F = 1, N(R) = 2
    EXPECT_EQ((std::vector<Bytes>{{0x08, 0x01, 0x05}, {0x08, 0x01, 0x06}}), stack.messages);
    // A repeat of N(S) = 0 is rejected like any gap, and the N(R) it carries counts.
    Rx({0x02, 0x01, 0x00, 0x02, 0x08, 0x01, 0x05});
    EXPECT_EQ((Frames{{0x02, 0x01, 0x09, 0x04}}), hdlc.Take());
    EXPECT_EQ(0u, lapd->unacknowledged());
    EXPECT_TRUE(lapd->snapshot().reject_exception);

    Rx({0x02, 0x01, 0x0A, 0x02, 0x08, 0x01, 0x07});  // N(S) = 5, 2 expected: no second REJ
    EXPECT_TRUE(hdlc.Take().empty());
    Rx({0x02, 0x01, 0x0C, 0x03, 0x08, 0x01, 0x07});  // with P: RR F = 1
    EXPECT_EQ((Frames{{0x02, 0x01, 0x01, 0x05}}), hdlc.Take());
    EXPECT_EQ(2u, stack.messages.size());
    Rx({0x02, 0x01, 0x04, 0x02, 0x08, 0x01, 0x08});  // the awaited N(S) = 2
    EXPECT_EQ(3u, stack.messages.size());
    EXPECT_FALSE(lapd->snapshot().reject_exception);
    EXPECT_EQ(3u, lapd->stats().in_sequence);
    EXPECT_EQ(3u, lapd->stats().out_of_sequence);
    Rx({0x02, 0x01, 0x00, 0x0A, 0x08, 0x01, 0x05});  // a repeat with N(R) = 5 beyond V(S) = 1
    EXPECT_EQ(1u, lapd->stats().nr_errors);
    EXPECT_EQ(State::awaiting_establishment, state());
}

TEST_F(LapdTest, RejResendsEveryUnacknowledgedFrameInOrderWithOneHeader) {
    Establish();
    for (unsigned char i = 0; i < 3; ++i) Send({0x08, 0x01, i});
    Rx({0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x09});  // V(R) becomes 1
    hdlc.Take();
    Rx({0x00, 0x01, 0x09, 0x02});  // REJ N(R) = 1
    EXPECT_EQ((Frames{{0x00, 0x01, 0x02, 0x02, 0x08, 0x01, 0x01}, {0x00, 0x01, 0x04, 0x02, 0x08, 0x01, 0x02}}),
              hdlc.Take());
    EXPECT_EQ(2u, lapd->stats().retrains);
    EXPECT_EQ(2u, lapd->unacknowledged());
    EXPECT_TRUE(stack.statuses.empty());
}

TEST_F(LapdTest, T200RepeatsSabmeThreeTimesThenReportsTheLinkDownWhateverTheWallClockDoes) {
    lapd->local_activate();
    hdlc.Take();
    clock.step_wall_ms(3600 * 1000);
    Wait(999);
    EXPECT_TRUE(hdlc.Take().empty());
    Wait(1);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}}), hdlc.Take());
    clock.step_wall_ms(-600 * 1000);
    Wait(999);
    EXPECT_TRUE(hdlc.Take().empty());
    Wait(1001);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}, {0x00, 0x01, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
    Wait(1000);
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ(State::tei_assigned, state());
    EXPECT_EQ(Strings{"Unsuccessful retransmission (N200 times) - SABME"}, stack.statuses);
    EXPECT_EQ(Strings{"-link error (T200 expired N200 times)"}, stack.deactivated);
    EXPECT_EQ(4u, lapd->stats().T200_expiries);
}

TEST_F(LapdTest, TimerRecoveryEnquiresResendsAndGivesUpAfterN200) {
    Establish();
    Send({0x08, 0x01, 0x00});
    hdlc.Take();
    Wait(1000);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x01, 0x01}}), hdlc.Take());  // RR command, P = 1
    EXPECT_EQ(State::timer_recovery, state());
    Send({0x08, 0x01, 0x01});  // waits for the end of the recovery
    EXPECT_TRUE(hdlc.Take().empty());
    Rx({0x00, 0x01, 0x01, 0x01});  // RR response F = 1, N(R) = 0
    EXPECT_EQ(State::multiple_frame_established, state());
    EXPECT_EQ((Frames{{0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x00}, {0x00, 0x01, 0x02, 0x00, 0x08, 0x01, 0x01}}),
              hdlc.Take());
    Rx({0x00, 0x01, 0x01, 0x04});
    EXPECT_EQ(0u, lapd->unacknowledged());

    Wait(10000);  // idle: T203
    EXPECT_EQ((Frames{{0x00, 0x01, 0x01, 0x01}}), hdlc.Take());
    EXPECT_EQ(State::timer_recovery, state());
    Wait(3000);
    EXPECT_EQ(3u, hdlc.Take().size());
    Wait(1000);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
    EXPECT_EQ(Strings{"Unsuccessful retransmission (N200 times) - Status enquiry"}, stack.statuses);
    EXPECT_EQ(1u, lapd->stats().T203_expiries);
    EXPECT_EQ(5u, lapd->stats().T200_expiries);
}

TEST_F(LapdTest, MalformedShortAndForeignFramesChangeNothing) {
    Establish();
    ACP::IsdnLinkInfo info;
    lapd->GetInfo(info);
    const Frames bad = {
        {0x02},
        {0x02, 0x01},
        {0x03, 0x01, 0x7F},                    // EA set in the first address octet
        {0x02, 0x00, 0x7F},                    // EA clear in the second
        {0x02, 0x01, 0x00},                    // I frame without N(R)
        {0x00, 0x01, 0x01},                    // RR without N(R)
        {0x42, 0x01, 0x7F},                    // SABME on SAPI 16
        {0xFE, 0xFF, 0x00, 0x00, 0x08, 0x01},  // I frame on SAPI 63
    };
    for (const Bytes& frame : bad) {
        Rx(frame);
        EXPECT_EQ(0, lapd->GetInfo(info)) << testing::PrintToString(frame);
    }
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ(0, lapd->snapshot().peer_sapi);
    EXPECT_TRUE(stack.messages.empty());
    EXPECT_TRUE(stack.statuses.empty());
    EXPECT_EQ(State::multiple_frame_established, state());
}

TEST_F(LapdTest, UnsolicitedUaKeepsTheFramesInFlight) {
    Establish();
    Send({0x08, 0x01, 0x00});
    Send({0x08, 0x01, 0x01});
    Rx({0x00, 0x01, 0x63});
    Rx({0x00, 0x01, 0x73});
    EXPECT_EQ((Strings{"UA (F = 0)", "UA (F = 1)"}), stack.statuses);
    EXPECT_EQ(2u, unsigned(lapd->snapshot().VS));
    EXPECT_EQ(2u, lapd->unacknowledged());
    Rx({0x00, 0x01, 0x01, 0x04});
    EXPECT_EQ(0u, lapd->unacknowledged());
    EXPECT_EQ(2u, stack.statuses.size());
}

TEST_F(LapdTest, PeerErrorsReestablishTheLink) {
    Establish();
    Rx({0x00, 0x01, 0x01, 0x0A});  // RR N(R) = 5 with nothing sent
    EXPECT_EQ(Strings{"Other - N(R) error"}, stack.statuses);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
    EXPECT_EQ(1u, lapd->stats().nr_errors);

    Rx({0x00, 0x01, 0x73});
    hdlc.Take();
    Rx({0x00, 0x01, 0x0F});  // DM F = 0
    EXPECT_EQ((Frames{{0x00, 0x01, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
    Rx({0x00, 0x01, 0x1F});  // DM F = 1: refused
    EXPECT_EQ(State::tei_assigned, state());
    EXPECT_EQ(Strings{"-error (DM received)"}, stack.deactivated);

    Establish();
    Rx({0x00, 0x01, 0x97});  // FRMR
    EXPECT_EQ(State::awaiting_establishment, state());
    EXPECT_EQ((Strings{"Other - N(R) error", "Receipt of DM response (F = 0)", "Other - Receipt of FRMR response"}),
              stack.statuses);
}

TEST_F(LapdTest, QueueLimitAndCongestionReports) {
    FlowListener listener;
    lapd->BindNotify(&listener);
    for (unsigned char i = 0; i < 88; ++i) Send({0x08, 0x01, i});
    EXPECT_TRUE(listener.changes.empty());
    Send({0x08, 0x01, 88});
    EXPECT_EQ((std::vector<int>{ISDN::LAPD::FlowStatus::congested}), listener.changes);
    for (unsigned char i = 89; i < 129; ++i) Send({0x08, 0x01, i});
    EXPECT_EQ(128u, lapd->queued());
    EXPECT_EQ(1u, lapd->stats().out_overflows);
    EXPECT_EQ(129u, lapd->stats().from_above);
    Send({});
    EXPECT_EQ(1u, lapd->stats().empty_messages);

    // The peer brings the link up: what waited goes out, seven at a time.
    Rx({0x02, 0x01, 0x7F});
    std::vector<Bytes> sent = hdlc.Take();
    ASSERT_EQ(8u, sent.size());
    while (lapd->queued() + lapd->unacknowledged() > 0) {
        const unsigned vs = lapd->snapshot().VS;
        Rx({0x00, 0x01, 0x01, static_cast<unsigned char>(vs * 2)});
        for (Bytes& f : hdlc.Take()) sent.push_back(f);
        ASSERT_LT(sent.size(), 200u);
    }
    EXPECT_EQ(129u, sent.size());  // the UA and every queued message once
    EXPECT_EQ((Bytes{0x00, 0x01, 0xFE, 0x00, 0x08, 0x01, 127}), sent[128]);
    EXPECT_EQ((std::vector<int>{ISDN::LAPD::FlowStatus::congested, ISDN::LAPD::FlowStatus::normal}),
              listener.changes);
}

TEST_F(LapdTest, RefusedFramesWaitForTheChannel) {
    Establish();
    hdlc.full = true;
    Send({0x08, 0x01, 0x00});
    EXPECT_EQ(1u, lapd->queued());
    hdlc.full = false;
    lapd->on_hdlc_ready();
    EXPECT_EQ((Frames{{0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x00}}), hdlc.Take());

    lapd->hdlc(nullptr);
    Send({0x08, 0x01, 0x01});
    EXPECT_EQ(1u, lapd->queued());
    lapd->hdlc(&hdlc);
    lapd->on_hdlc_ready();
    EXPECT_EQ(1u, hdlc.Take().size());

    // A message without head room for the header still leaves whole.
    Packet bare = PacketOf({0x08, 0x01, 0x02}, 0);
    lapd->message(bare);
    EXPECT_EQ((Frames{{0x00, 0x01, 0x04, 0x00, 0x08, 0x01, 0x02}}), hdlc.Take());
}

TEST_F(LapdTest, ExhaustedPacketPoolDropsTheMessageAndGoesOn) {
    Establish();
    Packet message = PacketOf({0x08, 0x01, 0x00});
    Packet frame = PacketOf({0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x05}, 0), held = frame;
    std::vector<Packet> hoard;
    try {
        for (;;) {
            Packet p;
            p.reserve_head(0);
            hoard.push_back(p);
        }
    } catch (const std::bad_alloc&) {
    }
    lapd->message(message);
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ(0u, lapd->queued());
    EXPECT_EQ(1u, lapd->stats().errors);
    lapd->receive(frame);  // shared with another holder: no buffer to strip the header in
    EXPECT_TRUE(stack.messages.empty());
    EXPECT_EQ(0u, unsigned(lapd->snapshot().VR));
    EXPECT_EQ(2u, lapd->stats().errors);
    hoard.clear();
    Send({0x08, 0x01, 0x01});
    EXPECT_EQ((Frames{{0x00, 0x01, 0x00, 0x00, 0x08, 0x01, 0x01}}), hdlc.Take());
}

TEST_F(LapdTest, NetworkSideUsesTheOtherCommandResponseBit) {
    lapd->set_side(ISDN::Side::network);
    lapd->local_activate();
    EXPECT_EQ((Frames{{0x02, 0x01, 0x7F}}), hdlc.Take());
    Rx({0x02, 0x01, 0x73});  // the user's UA is a response: C/R 1
    EXPECT_EQ(State::multiple_frame_established, state());
    Send({0x08, 0x01, 0x00});
    EXPECT_EQ((Frames{{0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x00}}), hdlc.Take());
    Rx({0x00, 0x01, 0x01, 0x03});  // user's RR command with P: answered F = 1
    EXPECT_EQ((Frames{{0x00, 0x01, 0x01, 0x01}}), hdlc.Take());
    EXPECT_EQ(0u, lapd->unacknowledged());
}

}  // namespace
