// Our MTP level 2 link against libss7, in real time. The helper program runs
// libss7 on the other end of a frame socket and reports what it sees as JSON
// lines; a small layer 3 above our link answers libss7's link tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/multiplexer.h"
#include "core/timer.h"
#include "signalling/ss7_slc.h"
#include "tests/signalling/support/frame_socket.h"
#include "tests/signalling/support/mtp2_user.h"
#include "tests/signalling/support/peer_process.h"

namespace {

constexpr unsigned kOurPc = 1;
constexpr unsigned kPeerPc = 2;
constexpr unsigned kSlc = 0;

// Routing label (ITU): DPC in bits 0-13, OPC in 14-27, SLS in 28-31, low octet first.
std::uint32_t Label(const Packet& p) {
    return p[1] | p[2] << 8 | p[3] << 16 | static_cast<std::uint32_t>(p[4]) << 24;
}

std::vector<unsigned char> Msu(unsigned char sio, std::uint32_t dpc, std::uint32_t opc, unsigned sls,
                               const std::vector<unsigned char>& body) {
    const std::uint32_t label = dpc | opc << 14 | static_cast<std::uint32_t>(sls) << 28;
    std::vector<unsigned char> msu(5 + body.size());
    msu[0] = sio;
    for (unsigned i = 0; i < 4; ++i) msu[1 + i] = static_cast<unsigned char>(label >> (8 * i));
    for (size_t i = 0; i < body.size(); ++i) msu[5 + i] = body[i];
    return msu;
}

// A link test message to the peer with a pattern of its own.
std::vector<unsigned char> LinkTest(unsigned char n) {
    return Msu(0x81, kPeerPc, kOurPc, kSlc, {0x11, 0x30, 0xC0, 0xDE, n});
}

// The helper program, its line to our link and its report lines.
class Peer {
public:
    bool Start(unsigned delay_ms) {
        int line[2];
        if (!FrameSocket::Pair(line)) return false;
        process_ = std::make_unique<PeerProcess>(
            LIBSS7_PEER,
            std::vector<std::string>{"3", std::to_string(kPeerPc), std::to_string(kOurPc),
                                     std::to_string(kSlc), std::to_string(delay_ms)},
            line[1]);
        ::close(line[1]);
        channel = std::make_unique<FrameSocket>(line[0]);
        return true;
    }
    void Command(const std::string& text) { process_->Command(text); }
    const std::vector<std::string>& lines() const { return process_->lines(); }
    // Index of the first report from `from` on that contains every text, or -1.
    int Find(std::initializer_list<const char*> texts, size_t from = 0) const {
        for (size_t i = from; i < lines().size(); ++i) {
            bool all = true;
            for (const char* t : texts) all = all && lines()[i].find(t) != std::string::npos;
            if (all) return static_cast<int>(i);
        }
        return -1;
    }
    std::string Dump() const {
        std::string all;
        for (const auto& l : lines()) all += l + "\n";
        return all;
    }

    std::unique_ptr<FrameSocket> channel;

private:
    std::unique_ptr<PeerProcess> process_;
};

class Libss7Test : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(peer.Start(line_delay));
        link.set_emergency(emergency);
        if (getenv("MTP2_TRACE"))
            link.trace = SS7::SLC::Trace{true, false, false, false, false, true, true, true};
        link.set_dpc(kPeerPc);
        link.set_opc(kOurPc);
        link.set_slc(kSlc);
        link.hdlc(peer.channel.get());
        peer.channel->bind(&link);
        user.keep_events = false;
        user.answer = [this](Packet& msu) { AnswerLinkTest(msu); };
        ASSERT_TRUE(RunUntil(5000, [&] { return peer.Find({"\"ready\""}) >= 0; }));
    }

    // A test layer 3: a signalling link test message is answered with the
    // acknowledgement carrying the same pattern, the label turned round.
    // Traffic restart allowed is answered in kind.
    void AnswerLinkTest(Packet& msu) {
        if (msu.length() < 6 || (msu[0] & 0x0F) > 2) return;
        const std::uint32_t label = Label(msu);
        std::vector<unsigned char> body(msu.data() + 5, msu.data() + msu.length());
        if ((msu[0] & 0x0F) == 0 && body[0] == 0x17) {
            ++restarts;
        } else if (body[0] == 0x11 && body.size() >= 2) {
            body[0] = 0x21;
            ++link_tests;
        } else {
            return;
        }
        user.Send(Msu(msu[0], (label >> 14) & 0x3FFF, label & 0x3FFF, label >> 28, body));
    }

    // Runs the loop in real time until the condition holds or ms have passed.
    bool RunUntil(unsigned ms, std::function<bool()> condition) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        bool met = false;
        std::function<void()> check = [&] {
            if (condition()) {
                met = true;
                multiplexer.terminate();
            } else if (std::chrono::steady_clock::now() >= end) {
                multiplexer.terminate();
            } else {
                poll_timer.set<Libss7Test>(5, &Libss7Test::OnPoll, this);
            }
        };
        on_poll = check;
        poll_timer.set<Libss7Test>(0, &Libss7Test::OnPoll, this);
        multiplexer.run(false, true);
        poll_timer.reset();
        return met;
    }
    void OnPoll() { on_poll(); }

    bool Worked() const { return link.get_state_id() == 5; }
    // In service at both ends with libss7's layer 3 up.
    void BringUp() {
        user.activate();
        ASSERT_TRUE(RunUntil(12000, [&] { return Worked() && peer.Find({"\"code\":1"}) >= 0; }))
            << peer.Dump();
    }
    // How many link test acknowledgements with pattern n came up.
    int Acks(unsigned char n) const {
        char tail[16];
        std::snprintf(tail, sizeof tail, "21 30 C0 DE %02X", n);
        int count = 0;
        for (const auto& r : user.received) count += r.find(tail) != std::string::npos;
        return count;
    }
    int LinkUp(size_t from = 0) const { return peer.Find({"\"code\":3"}, from); }
    int LinkDown(size_t from = 0) const { return peer.Find({"\"code\":4"}, from); }

    Peer peer;
    Mtp2Stack stack;
    SS7::SLC& link = *stack.link;
    Mtp2User& user = *stack.user;
    Timer poll_timer;
    std::function<void()> on_poll;
    int link_tests = 0;
    int restarts = 0;
    bool emergency = false;
    unsigned line_delay = 0;
};

// libss7 sends SIO from its start: our idle link answers it before any
// activation, so the alignment kind is set before the peer runs. Both ends
// then prove for about T4e; libss7 stops in aligned ready if our first FISU
// reaches it while it still proves, so the line towards it is made long
// enough that its proving ends first.
class Libss7EmergencyTest : public Libss7Test {
protected:
    Libss7EmergencyTest() {
        emergency = true;
        line_delay = 100;
    }
};

// Our side aligns normally (SIN, T4n). libss7 answers with SIE and proves for
// its short period, so our proving ends at its first FISU, well inside T4n.
TEST_F(Libss7Test, NormalAlignmentLinkTestAndMsusBothWays) {
    const auto start = std::chrono::steady_clock::now();
    user.activate();
    ASSERT_TRUE(RunUntil(12000, [&] { return Worked() && LinkUp() >= 0; })) << peer.Dump();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::milliseconds(10500));
    EXPECT_GE(peer.Find({"\"lssu\":1", "\"rx\""}), 0);  // our SIN

    // libss7's layer 3 tests the link; ours answers.
    ASSERT_TRUE(RunUntil(15000, [&] { return link_tests > 0; })) << peer.Dump();
    // And we test it: libss7 answers with the same pattern.
    user.Send(Msu(0x81, kPeerPc, kOurPc, kSlc, {0x11, 0x40, 0xA5, 0x5A, 0x01, 0x02}));
    ASSERT_TRUE(RunUntil(3000, [&] {
        for (const auto& r : user.received)
            if (r.find("21 40 A5 5A 01 02") != std::string::npos) return true;
        return false;
    })) << peer.Dump();
    // ISUP from libss7 reaches our layer 3 once its MTP is up.
    ASSERT_TRUE(RunUntil(3000, [&] { return peer.Find({"\"code\":1"}) >= 0; })) << peer.Dump();
    peer.Command("grs");
    ASSERT_TRUE(RunUntil(3000, [&] {
        for (const auto& r : user.received)
            if ((r.substr(0, 2) == "85" || r.substr(0, 2) == "84") && r.size() > 20) return true;
        return false;
    })) << peer.Dump();
    EXPECT_EQ(5u, link.get_state_id());
    EXPECT_EQ(1, user.ups);
    EXPECT_EQ(0, user.downs);
}

TEST_F(Libss7EmergencyTest, EmergencyAlignmentAndOneLostMsuEachWayRecovered) {
    const auto start = std::chrono::steady_clock::now();
    BringUp();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3000));
    EXPECT_GE(peer.Find({"\"lssu\":2", "\"rx\""}), 0) << peer.Dump();  // our SIE
    const std::uint32_t nacks = link.statistics()[7], repeats = link.statistics()[6];

    // Ours lost: libss7 asks again and we retransmit with the same FSNs.
    peer.Command("drop_rx_msu 1");
    ASSERT_TRUE(RunUntil(1000, [&] { return peer.Find({"\"done\":\"drop_rx_msu"}) >= 0; }));
    for (unsigned char n = 1; n <= 3; ++n) user.Send(LinkTest(n));
    ASSERT_TRUE(RunUntil(5000, [&] { return Acks(1) && Acks(2) && Acks(3); })) << peer.Dump();
    EXPECT_GE(peer.Find({"\"dropped\":\"rx\""}), 0);
    EXPECT_EQ(repeats + 1, link.statistics()[6]);

    // libss7's lost: we send a negative acknowledgement and it repeats.
    peer.Command("drop_tx_msu 1");
    ASSERT_TRUE(RunUntil(1000, [&] { return peer.Find({"\"done\":\"drop_tx_msu"}) >= 0; }));
    for (unsigned char n = 4; n <= 5; ++n) user.Send(LinkTest(n));
    ASSERT_TRUE(RunUntil(5000, [&] { return Acks(4) && Acks(5); })) << peer.Dump();
    EXPECT_GE(peer.Find({"\"dropped\":\"tx\""}), 0);
    EXPECT_EQ(nacks + 1, link.statistics()[7]);
    for (unsigned char n = 1; n <= 5; ++n) EXPECT_EQ(1, Acks(n)) << int(n);
    RunUntil(200, [] { return false; });
    EXPECT_EQ(0u, link.statistics()[5]);
    EXPECT_EQ(0, user.downs);
}

TEST_F(Libss7Test, WithheldAcknowledgementsExpireT7ThenTheLinkRealigns) {
    BringUp();
    link.trace.timers = true;
    peer.Command("mute 14000");
    ASSERT_TRUE(RunUntil(1000, [&] { return peer.Find({"\"done\":\"mute"}) >= 0; }));
    const auto sent = std::chrono::steady_clock::now();
    user.Send(LinkTest(7));
    ASSERT_TRUE(RunUntil(14000, [&] { return user.downs > 0; })) << peer.Dump();
    const auto waited = std::chrono::steady_clock::now() - sent;
    EXPECT_GE(waited, std::chrono::milliseconds(11900));
    EXPECT_LT(waited, std::chrono::milliseconds(13000));
    const size_t down_at = peer.lines().size();
    ASSERT_TRUE(RunUntil(3000, [&] { return peer.Find({"\"lssu\":3", "\"rx\""}) >= 0; })) << peer.Dump();
    ASSERT_TRUE(RunUntil(10000, [&] { return LinkDown() >= 0; })) << peer.Dump();
    ASSERT_TRUE(RunUntil(15000, [&] { return Worked() && LinkUp(down_at) >= 0; })) << peer.Dump();
    EXPECT_EQ(2, user.ups);
}

TEST_F(Libss7Test, TrunkLossTakesTheLinkDownAndLibss7SeesIt) {
    BringUp();
    const size_t before = peer.lines().size();
    link.OnTrunkHardStatus(false);
    EXPECT_EQ(0u, link.get_state_id());
    EXPECT_EQ(1, user.downs);
    ASSERT_TRUE(RunUntil(5000, [&] { return LinkDown(before) >= 0; })) << peer.Dump();
    EXPECT_GE(peer.Find({"\"lssu\":3", "\"rx\""}, before), 0);
    // libss7 starts again and our idle link follows its SIO.
    ASSERT_TRUE(RunUntil(15000, [&] { return Worked() && LinkUp(before) >= 0; })) << peer.Dump();
    EXPECT_EQ(2, user.ups);
}

}  // namespace
