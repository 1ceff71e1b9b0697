#include "signalling/ss7_slc.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/packet.h"
#include "tests/core/held_blocks.h"
#include "tests/core/multiplexer_test.h"
#include "tests/signalling/support/captured_streams.h"
#include "tests/signalling/support/mtp2_user.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

// Takes every frame as its hex text; can refuse all frames or only MSUs.
struct FakeChannel : GenericHDLC {
    bool hdlc_transmit(Packet& frame) override {
        if (refuse_all || (refuse_msu && frame.length() > 4)) return false;
        frames.push_back(frame.text());
        return true;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    std::vector<std::string> Take() { return std::exchange(frames, {}); }

    std::vector<std::string> frames;
    bool refuse_all = false;
    bool refuse_msu = false;
};

Packet Unit(const std::vector<unsigned char>& octets) {
    Packet p;
    p.reserve_head(0);
    for (unsigned char c : octets) p.put8(c);
    return p;
}

unsigned char Seq(unsigned n, unsigned bit) {
    return static_cast<unsigned char>(n | bit << 7);
}

std::vector<unsigned char> Payload(unsigned n) {
    std::vector<unsigned char> v(n);
    for (unsigned i = 0; i < n; ++i) v[i] = static_cast<unsigned char>(0x80 + i);
    return v;
}

class Mtp2Test : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        link.hdlc(&channel);
    }

    void Feed(const std::vector<unsigned char>& octets) {
        Packet p = Unit(octets);
        link.receive(p);
    }
    void Fisu(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib) {
        Feed({Seq(bsn, bib), Seq(fsn, fib), 0});
    }
    void Msu(unsigned bsn, unsigned bib, unsigned fsn, unsigned fib,
             std::vector<unsigned char> body = {0x83, 1, 2}) {
        std::vector<unsigned char> su{Seq(bsn, bib), Seq(fsn, fib), static_cast<unsigned char>(body.size())};
        su.insert(su.end(), body.begin(), body.end());
        Feed(su);
    }
    void Lssu(unsigned char status) { Feed({0xFF, 0xFF, 0x01, status}); }
    void Send(unsigned n) { user.Send(Payload(n)); }

    // Runs the loop until ms have passed on its clock.
    void Advance(unsigned ms) {
        Timer stop;
        stop.set<Mtp2Test>(ms, &Mtp2Test::Stop, this);
        std::string log = streams.Log();
        run();
        // Only the link's lines count; the loop announces its own stop.
        log += streams.Log();
        const std::string loop_line = "Mux: terminating...\n";
        for (auto at = log.find(loop_line); at != std::string::npos; at = log.find(loop_line))
            log.erase(at, loop_line.size());
        streams.log << log;
    }
    void Stop() { multiplexer.terminate(); }

    // Activation, the far end's SIN, then its first FISU.
    void ToWorked() {
        link.local_activate();
        Lssu(1);
        Fisu(127, 1, 127, 1);
        ASSERT_EQ(5u, link.get_state_id());
        EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 00", "FF FF 01 01", "FF FF 00", "FF FF 00"));
        EXPECT_THAT(std::exchange(user.events, {}), ElementsAre("up"));
    }
    std::uint32_t Word(unsigned i) { return link.statistics()[i]; }

    CapturedStreams streams;
    FakeChannel channel;
    Mtp2Stack stack;
    SS7::SLC& link = *stack.link;
    Mtp2User& user = *stack.user;
};

// Each text after the prefix, one line each.
std::string Lines(const std::string& prefix, std::initializer_list<const char*> texts) {
    std::string out;
    for (const char* t : texts) out += prefix + t + "\n";
    return out;
}

std::string Header(const std::string& frame) {
    return frame.substr(0, 8);
}

TEST(Mtp2Names, StatesAndIndicationsPrintTheirNames) {
    std::ostringstream os;
    for (unsigned i = 0; i < 7; ++i) os << SS7::L2::state_name(i) << "|";
    for (unsigned i = 0; i < 4; ++i) os << static_cast<SS7::SLC::Indication>(i) << "|";
    os << static_cast<SS7::SLC::Indication>(7) << "|" << static_cast<SS7::SLC::Indication>(0x1C) << "|" << 10;
    EXPECT_EQ(
        "idle|not aligned|aligned|proving|aligned ready|worked|unknown|out of alignment|normal alignment|"
        "emergency alignment|out of service|unknown:7|unknown:1c|10",
        os.str());
}

TEST_F(Mtp2Test, NormalAlignmentProvesForT4nThenWorks) {
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_TRUE(channel.frames.empty());  // construction sends nothing
    link.local_activate();
    EXPECT_EQ(1u, link.get_state_id());
    Lssu(0x01);
    EXPECT_EQ(3u, link.get_state_id());
    Advance(8199);
    EXPECT_EQ(3u, link.get_state_id());
    Advance(1);
    EXPECT_EQ(4u, link.get_state_id());  // aligned ready, not proving
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 00", "FF FF 01 01", "FF FF 00"));
    Lssu(0x01);  // the far end still proving
    EXPECT_EQ(4u, link.get_state_id());
    Msu(127, 1, 0, 1);  // the far end works already: its MSU is not taken
    EXPECT_EQ(5u, link.get_state_id());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 00", "FF FF 00"));
    EXPECT_THAT(user.events, ElementsAre("up"));
    link.local_activate();  // reported again, nothing sent
    EXPECT_THAT(user.events, ElementsAre("up", "up"));
    EXPECT_TRUE(channel.frames.empty());
    EXPECT_EQ(127u, link.get_bsn());
    EXPECT_EQ("", streams.Log() + streams.Err());
}

TEST_F(Mtp2Test, FarEndStartsAlignmentAndEmergencyProvesForT4e) {
    link.set_emergency(true);
    Lssu(0x00);  // SIO in idle
    EXPECT_EQ(2u, link.get_state_id());
    Lssu(0x02);
    EXPECT_EQ(3u, link.get_state_id());
    Advance(499);
    EXPECT_EQ(3u, link.get_state_id());
    Advance(1);
    EXPECT_EQ(4u, link.get_state_id());
    // Aligned by the far end without a reset on the way: the FISU has the reset values.
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 02", "FF FF 01 02", "FF FF 00"));
    // Idle ignores everything but SIO, SIN and SIE.
    link.local_deactivate();
    channel.Take();
    Lssu(0x03);
    Fisu(127, 1, 127, 1);
    Msu(127, 1, 0, 1);
    EXPECT_EQ(0u, link.get_state_id());
    Lssu(0x09);  // spare bits above the status are ignored: SIN
    EXPECT_EQ(3u, link.get_state_id());
}

TEST_F(Mtp2Test, AlignmentTimersAndBadStatusesGoToIdle) {
    // T2 in not aligned, T3 in aligned, T1 in aligned ready.
    link.local_activate();
    Advance(6999);
    EXPECT_EQ(1u, link.get_state_id());
    Advance(1);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 00", "FF FF 01 03"));
    EXPECT_THAT(std::exchange(user.events, {}), ElementsAre("down:impossible phasing"));

    Lssu(0x00);
    Advance(1499);
    EXPECT_EQ(2u, link.get_state_id());
    Advance(1);
    EXPECT_EQ(0u, link.get_state_id());

    Lssu(0x01);
    Advance(8200);
    EXPECT_EQ(4u, link.get_state_id());
    Advance(44999);
    EXPECT_EQ(4u, link.get_state_id());
    Advance(1);
    EXPECT_EQ(0u, link.get_state_id());

    // Proving and aligned ready leave on SIO, SIOS or another status; SIN and SIE are ignored.
    for (unsigned char status : {0x00, 0x03, 0x04, 0x07}) {
        Lssu(0x01);
        Lssu(0x02);
        EXPECT_EQ(3u, link.get_state_id());
        Lssu(status);
        EXPECT_EQ(0u, link.get_state_id()) << int(status);
    }
    channel.Take();
    user.events.clear();
    // An LSSU of two status octets is read by its first.
    Feed({0xFF, 0xFF, 0x02, 0x01, 0x03});
    EXPECT_EQ(3u, link.get_state_id());
    // Leaving idle for idle repeats SIOS and the report.
    link.local_deactivate();
    link.local_deactivate();
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 01", "FF FF 01 03", "FF FF 01 03"));
    EXPECT_THAT(user.events, ElementsAre("down:impossible phasing", "down:impossible phasing"));
    Advance(100000);  // no timer is left running
    EXPECT_TRUE(channel.frames.empty());
}

TEST_F(Mtp2Test, LengthIndicatorOfMsusSentAndReceived) {
    ToWorked();
    Send(61);
    Send(62);
    Send(63);
    Send(70);
    auto frames = channel.Take();
    ASSERT_EQ(4u, frames.size());
    EXPECT_EQ("FF 80 3D", Header(frames[0]));
    EXPECT_EQ("FF 81 3E", Header(frames[1]));
    EXPECT_EQ("FF 82 3F", Header(frames[2]));
    EXPECT_EQ("FF 83 3F", Header(frames[3]));
    EXPECT_EQ(Unit(Payload(70)).text(), frames[3].substr(9));

    // LI 63 with 70 octets: no complaint, all 70 go up.
    std::vector<unsigned char> su{0xFF, 0x80, 0x3F};
    auto body = Payload(70);
    su.insert(su.end(), body.begin(), body.end());
    Feed(su);
    EXPECT_EQ("", streams.Err());
    // LI 10 with 12 octets: cut to 10; LI 10 with 8: taken as 8.
    Feed({0xFF, 0x81, 0x0A, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x8B});
    clock.advance_ms(1000);  // a second later: the line is written again
    Feed({0xFF, 0x82, 0x0A, 0x80, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87});
    const std::string prefix = "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): ";
    EXPECT_EQ(prefix + "invalid packet length, expected = 10, received = 12\n" + prefix +
                  "truncate 2 octet(s) : 80 81 82 83 84 85 86 87 88 89 8A 8B\n" + prefix +
                  "invalid packet length, expected = 10, received = 8\n",
              streams.Err());
    ASSERT_EQ(3u, user.received.size());
    EXPECT_EQ(Unit(body).text(), user.received[0]);
    EXPECT_EQ(Unit(Payload(10)).text(), user.received[1]);
    EXPECT_EQ(Unit(Payload(8)).text(), user.received[2]);
    // Spare bits above LI are ignored: LI 0x43 is 3.
    Feed({0xFF, 0x83, 0x43, 1, 2, 3});
    ASSERT_EQ(4u, user.received.size());
    EXPECT_EQ("01 02 03", user.received[3]);
    // A unit too short for a header is only counted.
    Feed({0xFF, 0xFF});
    EXPECT_EQ(prefix + "ignore packet, length too small FF FF\n", streams.Err());
    EXPECT_EQ(5u, link.get_state_id());
}

TEST_F(Mtp2Test, MsusFromAboveOutsideWorkedOrTooShortAreDropped) {
    Send(5);
    link.local_activate();
    Send(5);
    channel.Take();
    Lssu(1);
    Fisu(127, 1, 127, 1);
    EXPECT_EQ(0u, link.tb_count());
    channel.Take();
    Send(2);
    EXPECT_TRUE(channel.frames.empty());
    EXPECT_THAT(streams.Err(), HasSubstr("msu of 2 octets ignored: 80 81"));
}

TEST_F(Mtp2Test, AcknowledgementsFreeTheRtbAndT7GuardsThem) {
    ToWorked();
    Send(3);
    Send(3);
    EXPECT_THAT(channel.Take(), ElementsAre("FF 80 03 80 81 82", "FF 81 03 80 81 82"));
    EXPECT_EQ(2u, Word(5));
    Advance(6000);
    Fisu(0, 1, 127, 1);  // first one acknowledged: T7 starts again
    EXPECT_EQ(1u, Word(5));
    EXPECT_TRUE(channel.frames.empty());
    Advance(11999);
    EXPECT_EQ(5u, link.get_state_id());
    link.trace.timers = true;
    Advance(1);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked): T7 expired: 1 packets in RTB.\n", streams.Log());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 03"));
    EXPECT_THAT(std::exchange(user.events, {}), ElementsAre("down:impossible phasing"));
    EXPECT_EQ(0u, Word(5));

    // All acknowledged: T7 stops.
    link.trace.timers = false;
    ToWorked();
    Send(3);
    Fisu(0, 1, 127, 1);
    Advance(60000);
    EXPECT_EQ(5u, link.get_state_id());
}

TEST_F(Mtp2Test, InSequenceMsusGoUpAndGapsAreNegativelyAcknowledged) {
    ToWorked();
    Msu(127, 1, 0, 1);
    EXPECT_THAT(channel.Take(), ElementsAre("80 FF 00"));  // acknowledged at once
    Msu(127, 1, 0, 1);                                     // a repeat
    Msu(127, 1, 2, 1);                                     // MSU 1 lost
    EXPECT_THAT(channel.Take(), ElementsAre("00 FF 00"));  // BIB inverted
    EXPECT_EQ(1u, Word(7));
    Msu(127, 1, 3, 1);  // sent before the far end saw the NACK
    Fisu(127, 1, 3, 1);
    EXPECT_TRUE(channel.frames.empty());
    Msu(127, 1, 1, 0);  // the retransmission, with the new FIB
    Msu(127, 1, 2, 0);
    EXPECT_THAT(channel.Take(), ElementsAre("01 FF 00", "02 FF 00"));
    EXPECT_THAT(user.events, ElementsAre("msu:83 01 02", "msu:83 01 02", "msu:83 01 02"));
    // A FISU that announces an MSU not received is answered with a NACK too.
    Fisu(127, 1, 4, 0);
    EXPECT_THAT(channel.Take(), ElementsAre("82 FF 00"));
    EXPECT_EQ(2u, Word(7));
    EXPECT_EQ(5u, link.get_state_id());
}

TEST_F(Mtp2Test, InvertedBibRetransmitsTheUnacknowledgedMsus) {
    ToWorked();
    Send(3);
    Send(4);
    Send(5);
    channel.Take();
    Fisu(0, 0, 127, 1);  // MSU 0 acknowledged, 1 and 2 asked for again
    EXPECT_THAT(channel.Take(), ElementsAre("FF 01 04 80 81 82 83", "FF 02 05 80 81 82 83 84"));
    EXPECT_EQ(1u, Word(6));
    EXPECT_EQ(2u, Word(5));
    Send(3);  // numbering goes on after the retransmission
    EXPECT_THAT(channel.Take(), ElementsAre("FF 03 03 80 81 82"));
    Fisu(3, 0, 127, 1);
    EXPECT_EQ(0u, Word(5));
    EXPECT_EQ(1u, Word(6));
    EXPECT_TRUE(channel.frames.empty());
}

TEST_F(Mtp2Test, TwoUnreasonableBsnsInARowFailTheLink) {
    ToWorked();
    Send(3);
    channel.Take();
    Fisu(5, 1, 127, 1);  // once: noted only
    EXPECT_EQ(5u, link.get_state_id());
    Fisu(127, 1, 127, 1);  // a reasonable one in between clears it
    Fisu(5, 1, 127, 1);
    EXPECT_EQ(5u, link.get_state_id());
    link.trace.msu_processing = true;
    // The second, in an MSU that is next in sequence: once idle, nothing of it goes on.
    Msu(5, 1, 0, 1);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 03"));
    EXPECT_THAT(user.events, ElementsAre("down:impossible phasing"));
    EXPECT_EQ(
        "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): bad su acknowledgement received:  BSN=5 BIB=1 FSN=0 "
        "FIB=1\n",
        streams.Err());
}

TEST_F(Mtp2Test, TwoUnexpectedFibsInARowFailTheLink) {
    ToWorked();
    Fisu(127, 1, 127, 0);
    EXPECT_EQ(5u, link.get_state_id());
    Fisu(127, 1, 127, 1);
    Msu(127, 1, 0, 0);
    EXPECT_EQ(5u, link.get_state_id());
    EXPECT_TRUE(channel.frames.empty());
    EXPECT_TRUE(user.received.empty());
    Fisu(127, 1, 127, 0);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 03"));
}

TEST_F(Mtp2Test, AnyLssuInWorkedFailsTheLink) {
    ToWorked();
    Lssu(0x01);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_EQ(
        "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): receive lssu: normal alignment  BSN=127 BIB=1 FSN=127 "
        "FIB=1\n",
        streams.Err());
}

TEST_F(Mtp2Test, FullRtbHoldsMsusInTheTbAndAFullTbRefusesThem) {
    ToWorked();
    for (int i = 0; i < 128; ++i) Send(3);
    auto frames = channel.Take();
    ASSERT_EQ(127u, frames.size());  // no FISU either
    EXPECT_EQ("FF FE 03", Header(frames.back()));
    EXPECT_EQ(1u, link.tb_count());
    Fisu(0, 1, 127, 1);  // one acknowledged: the waiting one goes
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 03 80 81 82"));
    EXPECT_EQ(0u, link.tb_count());
    for (int i = 0; i < 201; ++i) Send(3);
    EXPECT_EQ(200u, link.tb_count());
    EXPECT_EQ(1u, Word(4));
    EXPECT_THAT(streams.Err(),
                HasSubstr("(worked): no space in TB buffer, TB=200 RTB=127 ignoring msu: 80 81 82\n"));
    // A retransmission the channel refuses returns 127 to the TB: more than 200.
    channel.refuse_all = true;
    Fisu(0, 0, 127, 1);
    EXPECT_EQ(327u, link.tb_count());
    Send(3);
    EXPECT_EQ(2u, Word(4));
    EXPECT_EQ(0u, Word(5));
}

TEST_F(Mtp2Test, RefusedMsuWaitsAndFisusKeepTheLastFsnSent) {
    ToWorked();
    Send(3);
    channel.refuse_msu = true;
    Send(4);
    EXPECT_EQ(1u, link.tb_count());
    Msu(127, 1, 0, 1);  // the acknowledgement announces FSN 0, not 1
    EXPECT_THAT(channel.Take(), ElementsAre("FF 80 03 80 81 82", "80 80 00"));
    channel.refuse_msu = false;
    link.on_hdlc_ready();
    EXPECT_THAT(channel.Take(), ElementsAre("80 81 04 80 81 82 83"));
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked): hdlc ready\n", streams.Log());
    link.on_hdlc_error(HDLC::Notify::Cause::read_error);
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked): hdlc error [cause=0]\n", streams.Log());

    // MSUs left in the TB when the link fails are discarded when it works again.
    channel.refuse_msu = true;
    for (int i = 0; i < 5; ++i) Send(3);
    link.OnTrunkHardStatus(true);
    EXPECT_EQ(5u, link.get_state_id());
    link.OnTrunkHardStatus(false);
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked):  transport OFF by low level terminated\n",
              streams.Log());
    link.OnTrunkHardStatus(false);  // idle already
    EXPECT_EQ("", streams.Log());
    streams.Err();
    Lssu(0x01);
    Fisu(127, 1, 127, 1);
    EXPECT_EQ("SS7/L2 [dpc=0, slc=0, trunk=0] (worked): discard 5 msu in TB\n", streams.Err());
    EXPECT_EQ(0u, link.tb_count());
    EXPECT_THAT(channel.Take(), ElementsAre("FF FF 01 03", "FF FF 01 01", "FF FF 00", "FF FF 00"));
}

TEST_F(Mtp2Test, StatisticsCountUnitsAndOctets) {
    ToWorked();
    Send(5);           // 8 octets
    Msu(0, 1, 0, 1);   // 6 octets in, FISU of 3 out
    Fisu(0, 0, 0, 1);  // inverted BIB with an empty RTB: a FISU
    Msu(0, 0, 3, 1);   // gap: NACK, 3 out
    Feed({1});         // too short
    const std::uint32_t* w = link.statistics();
    // Two FISUs on entering worked, the MSU, the ack, the retransmission's FISU and the NACK.
    EXPECT_EQ(6u, w[0]);
    EXPECT_EQ(3u + 3u + 8u + 3u + 3u + 3u, w[2]);
    EXPECT_EQ(5u, w[1]);  // LSSU, FISU, MSU, FISU, MSU
    EXPECT_EQ(4u + 3u + 6u + 3u + 6u + 1u, w[3]);
    EXPECT_EQ(0u, w[4]);
    EXPECT_EQ(0u, w[5]);
    EXPECT_EQ(1u, w[6]);  // the inverted BIB of the FISU
    EXPECT_EQ(1u, w[7]);
}

TEST_F(Mtp2Test, NoChannelAttached) {
    link.hdlc(nullptr);
    link.local_activate();
    Lssu(0x01);
    Fisu(127, 1, 127, 1);
    EXPECT_EQ(5u, link.get_state_id());
    Send(3);
    EXPECT_EQ(1u, link.tb_count());
    const std::string line = "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): no HDLC interface attached!!!\n";
    EXPECT_EQ(line + line + line, streams.Log());
    EXPECT_EQ(0u, Word(0));
}

TEST_F(Mtp2Test, EmptyPacketPoolDropsTheUnitAndGoesOn) {
    ToWorked();
    Packet shared = Unit({0xFF, 0x80, 0x03, 1, 2, 3});
    Packet keep = shared;
    user.Send({9, 9, 9});
    channel.Take();
    Fisu(0, 1, 127, 1);
    user.Send({7, 7, 7});  // holds a block while the pool is empty
    Packet msu = user.Msu({8, 8, 8});
    std::vector<Packet> held = HoldEveryBlock();
    streams.Err();
    link.receive(shared);  // taking the header off needs a copy
    user.transmit(msu);    // its header needs a copy
    EXPECT_EQ(2u, link.no_buffer_drops());
    EXPECT_EQ(
        "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): no packet buffer, signal unit dropped\n"
        "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): no packet buffer, signal unit not sent\n"
        "SS7/L2 [dpc=0, slc=0, trunk=0] (worked): msu dropped: 08 08 08\n",
        streams.Err());
    held.clear();
    EXPECT_EQ(0u, link.tb_count());
    Msu(1, 1, 0, 1);
    EXPECT_EQ(1u, user.received.size());
    user.Send({6, 6, 6});  // takes the FSN the dropped one had
    EXPECT_THAT(channel.Take(), ElementsAre("FF 81 03 07 07 07", "80 81 00", "80 82 03 06 06 06"));
}

TEST_F(Mtp2Test, TraceSwitchesWriteTheirLines) {
    link.set_dpc(1);
    link.set_slc(0);
    link.set_linkno(2);
    link.trace = SS7::SLC::Trace{true, true, true, true, true, true, true, true};
    link.local_activate();
    Lssu(0x0A);  // SIE under spare bits
    Advance(8200);
    Fisu(127, 1, 127, 1);
    user.Send({0x0A, 0x00, 0xFF});
    Msu(0, 1, 0, 1, {0x83, 0x10});  // a unit of two octets is an LSSU: 0x83 is SIOS
    const std::string h = "SS7/L2 [dpc=1, slc=0, trunk=2]";
    EXPECT_EQ(Lines(h,
                    {
                        " (idle): local_activate: executing...",
                        ": change state from \"idle\" to \"not aligned\"",
                        " (not aligned):  rx raw 0xFF 0xFF 0x1 0xA",
                        ": change state from \"not aligned\" to \"proving\"",
                        " (proving): set T4",
                        " (proving): T4 expired.",
                        ": change state from \"proving\" to \"aligned ready\"",
                        " (aligned ready):  tx raw 0xFF 0xFF 0x0",
                        " (aligned ready):  rx raw 0xFF 0xFF 0x0",
                        ": change state from \"aligned ready\" to \"worked\"",
                        " (worked):  tx raw 0xFF 0xFF 0x0",
                        " (worked):  tx raw 0xFF 0xFF 0x0",
                        " (worked):  mtp tx 0xA 0x0 0xFF",
                        " (worked):  tx raw 0xFF 0x80 0x3 0xA 0x0 0xFF",
                        " (worked):  rx raw 0x80 0x80 0x2 0x83 0x10",
                        ": change state from \"worked\" to \"idle\"",
                    }),
              streams.Log());
    EXPECT_EQ(Lines(h, {" (worked): receive lssu: out of service  BSN=0 BIB=1 FSN=0 FIB=1"}), streams.Err());

    // MSU processing lines.
    link.local_activate();
    Lssu(1);
    Fisu(127, 1, 127, 1);
    streams.Log();
    Msu(127, 1, 0, 1);
    Msu(127, 1, 0, 1);
    Msu(127, 1, 2, 1);
    EXPECT_EQ(Lines(h,
                    {
                        " (worked):  rx raw 0xFF 0x80 0x3 0x83 0x1 0x2",
                        " (worked):  tx raw 0x80 0xFF 0x0",
                        " (worked):  mtp rx 0x83 0x1 0x2",
                        " (worked):  rx raw 0xFF 0x80 0x3 0x83 0x1 0x2",
                        " (worked): discard msu due to 5.2.2/i Q.702 fsnr=0 fsnx=0",
                        " (worked):  rx raw 0xFF 0x82 0x3 0x83 0x1 0x2",
                        " (worked): discard msu due to 5.2.2/ii Q.702 fsnr=2 fsnx=0",
                        " (worked):  tx raw 0x0 0xFF 0x0",
                    }),
              streams.Log());
    EXPECT_EQ(Lines(h, {" (worked): ack!", " (worked): nack!"}), streams.Err());
    link.local_deactivate();
    EXPECT_THAT(streams.Log(), HasSubstr(h + " (worked): local_deactivate()\n"));
}

}  // namespace
