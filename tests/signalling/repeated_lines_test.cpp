// A far end that floods a link layer with bad or unanswerable frames gets one
// error line a second per kind, each carrying the count of those left out.
#include <gtest/gtest.h>

#include <string>

#include "core/clock.h"
#include "core/protocol.h"
#include "signalling/lapd.h"
#include "signalling/lapd_nt.h"
#include "signalling/ss7_slc.h"
#include "tests/signalling/support/captured_streams.h"

namespace {

struct Channel : GenericHDLC {
    bool hdlc_transmit(Packet&) override { return !full; }
    bool is_open() const override { return true; }
    bool is_ready() const override { return !full; }
    bool full = false;
};

struct Sink : Protocol {
    void message(Packet&) override {}
};

Packet Frame(std::initializer_list<unsigned char> octets) {
    Packet p;
    p.reserve_head(0);
    for (unsigned char c : octets) p.put8(c);
    return p;
}

TEST(LinkLayerLines, AFloodOfBadFramesGivesOneLineASecondPerKindWithTheCount) {
    Mux::ManualClock clock(1000000);
    CapturedStreams streams;
    Channel channel;

    SS7::SLC slc;
    slc.hdlc(&channel);
    auto mtp2 = [&] {
        Packet shorter = Frame({0xFF, 0xFF});
        slc.receive(shorter);
        Packet wrong_li = Frame({0xFF, 0xFF, 0x09, 0x01, 0x02, 0x03});
        slc.receive(wrong_li);
    };

    ProtocolsList user_stack;
    auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
    user_stack.add_protocol_tail(lapd);
    lapd->hdlc(&channel);
    channel.full = true;
    auto disc = [&] {  // each answered with a DM that the full channel refuses
        Packet p = Frame({0x02, 0x01, 0x53});
        lapd->receive(p);
    };

    ProtocolsList network_stack;
    network_stack.add_protocol_tail(new Sink);
    auto* nt = new ISDN::LAPD_NT;
    network_stack.add_protocol_tail(nt);
    nt->set_log(1);
    for (int i = 0; i < 8; ++i) {
        Packet request = Frame({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01, 0xFF});
        nt->receive(request);
    }
    auto unknown_tei = [&] {
        Packet rr = Frame({0x00, 0x13, 0x01, 0x00});
        nt->receive(rr);
    };
    streams.Log();

    for (int i = 0; i < 1000; ++i) {
        mtp2();
        disc();
        unknown_tei();
    }
    const std::string slc_prefix = "SS7/L2 [dpc=0, slc=0, trunk=0] (idle): ";
    EXPECT_EQ(slc_prefix + "ignore packet, length too small FF FF\n" + slc_prefix +
                  "invalid packet length, expected = 9, received = 3\n",
              streams.Err());
    EXPECT_EQ(
        "LAPD[0] (TEI assigned): tx full\n"
        "LAPD(NT BRI):recieved packet with unassigned TEI=9,removed\n",
        streams.Log());

    clock.advance_ms(999);
    mtp2();
    disc();
    unknown_tei();
    EXPECT_EQ("", streams.Err() + streams.Log());
    clock.advance_ms(1);
    mtp2();
    disc();
    unknown_tei();
    EXPECT_EQ(slc_prefix + "ignore packet, length too small FF FF (1000 more like it suppressed)\n" +
                  slc_prefix +
                  "invalid packet length, expected = 9, received = 3 (1000 more like it suppressed)\n",
              streams.Err());
    EXPECT_EQ(
        "LAPD[0] (TEI assigned): tx full (1000 more like it suppressed)\n"
        "LAPD(NT BRI):recieved packet with unassigned TEI=9,removed (1000 more like it suppressed)\n",
        streams.Log());
}

}  // namespace
