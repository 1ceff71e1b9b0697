// Link information, statistics and state texts, status objects and trace lines.
#include <iostream>
#include <sstream>

#include "tests/signalling/lapd_harness.h"

namespace {

// Collects what is written to a standard stream while it lives.
class Capture {
public:
    explicit Capture(std::ostream& os) : os_(os), old_(os.rdbuf(text_.rdbuf())) {}
    ~Capture() { os_.rdbuf(old_); }
    // Without the loop's own lines.
    std::string text() const {
        std::string all = text_.str(), kept;
        for (size_t at = 0, end; at < all.size(); at = end + 1) {
            end = all.find('\n', at);
            if (end == std::string::npos) end = all.size();
            if (all.compare(at, 4, "Mux:") != 0) kept += all.substr(at, end + 1 - at);
        }
        return kept;
    }

private:
    std::ostream& os_;
    std::ostringstream text_;
    std::streambuf* old_;
};

TEST_F(LapdTest, GetInfoReportsOnlyChanges) {
    ACP::IsdnLinkInfo info;
    EXPECT_EQ(1, lapd->GetInfo(info));
    EXPECT_EQ(0, lapd->GetInfo(info));
    EXPECT_EQ(ACP::LAPDState::tei_assigned, info.get_lapdState());
    EXPECT_TRUE(info.get_establishable());
    Establish();
    lapd->GetInfo(info);
    Rx({0x02, 0x01, 0x00, 0x00, 0x08, 0x01, 0x05});
    EXPECT_EQ(1, lapd->GetInfo(info));
    EXPECT_EQ(1, info.get_msuRxCount().getValue());
    EXPECT_EQ(1, info.get_vr().getValue());
    EXPECT_EQ(ACP::IsdnSide::user, info.get_side());

    Send({0x08, 0x01, 0x00});
    Wait(1000);
    EXPECT_EQ(1, lapd->GetInfo(info));
    EXPECT_EQ(ACP::LAPDState::timer_recovery, info.get_lapdState());
    EXPECT_TRUE(info.get_t200run());
    EXPECT_FALSE(info.get_t203run());
    EXPECT_EQ(1, info.get_msuTxCount().getValue());
    EXPECT_EQ(1, info.get_mT200().getValue());
    EXPECT_EQ(1, info.get_queueAck().getValue());
    EXPECT_EQ(1, info.get_rc().getValue());
    EXPECT_FALSE(info.get_ackPending());

    lapd->set_side(ISDN::Side::network);
    EXPECT_EQ(1, lapd->GetInfo(info));
    EXPECT_EQ(ACP::IsdnSide::network, info.get_side());
}

TEST_F(LapdTest, StatisticsStateAndStatusTexts) {
    lapd->local_activate();
    Wait(3000);  // three T200 expiries
    Rx({0x00, 0x01, 0x73});
    Wait(10000);  // one T203 expiry
    std::ostringstream stats;
    stats << lapd->stats();
    EXPECT_EQ(
        "\n   - timers expire count: T200: 3, T202: 0, T203: 1"
        "\n   - errors: 0, retrains: 0"
        "\n   - queue overflows: out: 0, ack: 0",
        stats.str());

    Protocol_status st = lapd->status();
    EXPECT_FALSE(st->success());
    std::ostringstream text;
    st->out(text);
    EXPECT_EQ(
        "current status"
        "\n   - state: Timer recovery"
        "\n   - self: TEI=0, SAPI=0, busy=0"
        "\n   - peer: TEI=0, SAPI=0, busy=0"
        "\n   - counters: VS=0, VA=0, VR=0, RC=0"
        "\n   - internal signals: AckRQ=0, RetrRQ=0, QueuedUp=0"
        "\n   - flags: L3Initiated=1, Establishable=1, RejectException=0"
        "\n   - timers: T200 running, T202 stopped, T203 stopped",
        text.str());
    const auto* status = dynamic_cast<const ISDN::LAPD::Status*>(st.get());
    ASSERT_NE(nullptr, status);
    Wait(1000);  // the snapshot does not follow the entity
    EXPECT_EQ(0, status->snapshot().RC);
    EXPECT_EQ(1, lapd->snapshot().RC);

    Capture out(std::cout);
    lapd->show_stat();
    EXPECT_EQ(
        " - current state: Timer recovery\n - statistics: "
        "\n   - timers expire count: T200: 4, T202: 0, T203: 1"
        "\n   - errors: 0, retrains: 0"
        "\n   - queue overflows: out: 0, ack: 0\n",
        out.text());
    std::ostringstream names;
    names << ISDN::Side::user << ' ' << ISDN::Side::network << ' ' << ISDN::statetext(8);
    EXPECT_EQ("user network (unknown)", names.str());
}

TEST_F(LapdTest, TraceLinesFollowTheLogLevel) {
    lapd->set_linkno(3);
    {
        Capture log(std::clog);
        lapd->set_log(2);
        Establish();
        Wait(10000);  // 6 -> 7 is not shown at level 2
        lapd->local_deactivate();
        EXPECT_EQ(
            "LAPD[3] (TEI assigned): DL-ESTABLISH\n"
            "LAPD[3] : change state \"TEI assigned\" -> \"Awaiting establishment\"\n"
            "LAPD[3] : change state \"Awaiting establishment\" -> \"Multiple frame established\"\n"
            "LAPD[3] (Multiple frame established): T203.\n"
            "LAPD[3] (Timer recovery): DL-RELEASE\n"
            "LAPD[3] (Timer recovery): discard queue  OutData=0 AckData=0\n"
            "LAPD[3] (Multiple frame established): T203. (ended; 0 more like it suppressed since the last "
            "line; it lasted 0.0 s, 1 in all)\n"
            "LAPD[3] : change state \"Timer recovery\" -> \"Awaiting release\"\n",
            log.text());
    }
    Capture log(std::clog);
    lapd->set_log(3);
    Rx({0x00, 0x01, 0x73});
    EXPECT_EQ(
        "LAPD[3] (Awaiting release): rx: 00 01 73\nframe network->user SFrame tei = 0 (73 )\n"
        "LAPD[3] : change state \"Awaiting release\" -> \"TEI assigned\"\n"
        "LAPD[3] (TEI assigned): outgoing queue empty.\n",
        log.text());
}

}  // namespace
