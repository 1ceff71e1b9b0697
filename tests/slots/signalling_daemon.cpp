// The signalling slots of the built simulation daemon over TCP, against
// independent SS7 and ISDN stacks (libss7, libpri) attached to its trunk ports,
// and a raw HDLC slot and a far end sending garbage played by the test itself.
// Real time: labelled slow.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <regex>

#include "core/multiplexer.h"
#include "core/timer.h"
#include "tests/signalling/support/peer_process.h"
#include "tests/slots/commands.h"
#include "tests/slots/daemon_session.h"

namespace {

using namespace DaemonSession;

constexpr unsigned kOurPc = 1;
constexpr unsigned kPeerPc = 2;

using Octets = std::vector<unsigned char>;

// Index of the first line of the peer from `from` on with every text, or -1.
int Find(const PeerProcess& peer, std::initializer_list<std::string> texts, size_t from = 0) {
    const auto& lines = peer.lines();
    for (size_t i = from; i < lines.size(); ++i) {
        bool all = true;
        for (const auto& t : texts) all = all && lines[i].find(t) != std::string::npos;
        if (all) return static_cast<int>(i);
    }
    return -1;
}

Octets Of(const ASN1::OCTET_STRING& s) {
    return Octets(s.begin(), s.end());
}

class SignallingDaemon : public testing::Test {
protected:
    void Start(const std::string& ports) {
        if (!NamespaceAllowed()) GTEST_SKIP() << "no private mount namespace here";
        daemon = std::make_unique<Daemon>(TAMBORIL_SIM, std::map<std::string, std::string>{{"TAMBORIL_TRUNK_PORTS", ports}});
        ASSERT_TRUE(daemon->WaitStarted()) << daemon->Err();
        ASSERT_TRUE(controller.Connect(daemon->port));
    }
    void TearDown() override {
        if (HasFailure() && daemon) {
            std::cout << "daemon stderr:\n" << daemon->Err().substr(0, 20000) << "\n";
            for (const auto& p : peers)
                if (p)
                    for (const auto& line : p->lines()) std::cout << "peer: " << line.substr(0, 300) << "\n";
        }
    }

    // Runs the loop (which reads the peers) and reads the controller until the
    // condition holds or ms passed.
    bool Until(int ms, const std::function<bool()>& condition) {
        for (auto end = Clock::now() + std::chrono::milliseconds(ms);;) {
            controller.Pump(0);
            if (condition()) return true;
            if (Clock::now() >= end) return false;
            Timer slice;
            slice.set(20, +[] { multiplexer.terminate(); });
            multiplexer.run(false, true);
        }
    }
    PeerProcess& Attach(const std::string& port, const char* program, const std::vector<std::string>& args) {
        int line = daemon->ConnectPort(port);
        EXPECT_GE(line, 0) << port;
        peers.push_back(std::make_unique<PeerProcess>(program, args, line));
        if (line >= 0) ::close(line);
        return *peers.back();
    }
    // The first signal for `slot` that the test accepts, taken out; null when none.
    const LGCP::Signal* Signal(unsigned slot, const std::function<bool(const LGCP::Signal&)>& accept) {
        for (auto it = controller.signals.begin(); it != controller.signals.end(); ++it)
            if (ServerTest::HasSlot(*it, slot) && accept(it->get_pdu().get_signal())) {
                taken_ = it->get_pdu().get_signal();
                controller.signals.erase(it);
                return &taken_;
            }
        return nullptr;
    }
    bool WaitSignal(unsigned slot, int ms, const std::function<bool(const LGCP::Signal&)>& accept) {
        return Until(ms, [&] { return Signal(slot, accept) != nullptr; });
    }
    static bool Ioctl(const LGCP::Signal& s, int alternative) {
        return s.ioctl_isSelected() && s.get_ioctl().currentSelection() == alternative;
    }
    int Create(unsigned slot, const LGCP::CreateParams& params) {
        return controller.Command(slot, [&](LGCP::Command& c) { c.select_create(params); });
    }
    int Activate(unsigned slot) {
        return controller.Command(slot, [](LGCP::Command& c) { c.select_activate().select_empty(); });
    }
    int UserData(unsigned slot, const Octets& bytes) {
        return controller.Command(slot,
                                  [&](LGCP::Command& c) { c.select_userData(std::vector<char>(bytes.begin(), bytes.end())); });
    }

    std::unique_ptr<Daemon> daemon;
    Controller controller;
    std::vector<std::unique_ptr<PeerProcess>> peers;
    LGCP::Signal taken_;
};

#ifdef LIBSS7_PEER
TEST_F(SignallingDaemon, Ss7LinkAgainstLibss7OnTrunk0) {
    Start("e1-0-16");
    ASSERT_EQ(Create(1, slot_test::Ss7(0, kOurPc, kPeerPc, false)), -1);
    PeerProcess& peer = Attach("e1-0-16", LIBSS7_PEER, {"3", std::to_string(kPeerPc), std::to_string(kOurPc), "0"});
    ASSERT_EQ(Activate(1), -1);

    // Normal proving (8.2 s) brings the link in service at both ends.
    ASSERT_TRUE(WaitSignal(1, 20000, [](const LGCP::Signal& s) { return s.activated_isSelected(); }));
    ASSERT_TRUE(Until(3000, [&] { return Find(peer, {"\"code\":3"}) >= 0; }));
    ASSERT_TRUE(WaitSignal(1, 4000, [](const LGCP::Signal& s) {
        return Ioctl(s, LGCP::IoctlResponse::ss7LinkInfo::id) &&
               s.get_ioctl().get_ss7LinkInfo().get_ss7state() == ACP::SS7State::worked;
    }));

    // libss7's link test reaches us as user data; our answer reaches libss7.
    Octets sltm;
    ASSERT_TRUE(WaitSignal(1, 15000, [&](const LGCP::Signal& s) {
        if (!s.userData_isSelected()) return false;
        Octets b = Of(s.get_userData());
        if (b.size() < 7 || (b[0] & 0x0F) != 1 || b[5] != 0x11) return false;
        sltm = b;
        return true;
    }));
    const std::uint32_t label = sltm[1] | sltm[2] << 8 | sltm[3] << 16 | static_cast<std::uint32_t>(sltm[4]) << 24;
    EXPECT_EQ(label & 0x3FFF, kOurPc);
    EXPECT_EQ((label >> 14) & 0x3FFF, kPeerPc);
    const std::uint32_t back = kPeerPc | kOurPc << 14 | (label & 0xF0000000u);
    Octets slta = sltm;
    for (unsigned i = 0; i < 4; ++i) slta[1 + i] = static_cast<unsigned char>(back >> (8 * i));
    slta[5] = 0x21;
    ASSERT_EQ(UserData(1, slta), -1);
    const std::string hex = ServerTest::ToHex(Bytes(slta.begin(), slta.end()));
    EXPECT_TRUE(Until(3000, [&] { return Find(peer, {"\"dir\":\"rx\"", "\"msu\":\"" + hex + "\""}) >= 0; }))
        << hex;

    const int seq = controller.Send(1, [](LGCP::Command& c) { c.select_ioctl().select_ss7RqBSN(); });
    EXPECT_EQ(controller.Answer(seq), -1);
    EXPECT_TRUE(WaitSignal(1, 2000, [](const LGCP::Signal& s) { return Ioctl(s, LGCP::IoctlResponse::ss7BSN::id); }));

    // Cut the trunk: the peer hangs up, the framer loses the carrier, the link goes.
    controller.signals.clear();
    peers.clear();
    EXPECT_TRUE(WaitSignal(1, 5000, [](const LGCP::Signal& s) {
        return s.deactivated_isSelected() && s.get_deactivated() == LGCP::DeactivateCause::networkError;
    }));
    bool loss = false;
    for (const auto& m : controller.signals)
        if (m.get_pdu().get_signal().trunkStatus_isSelected() &&
            m.get_pdu().get_signal().get_trunkStatus().get_trunk().getValue() == 0 &&
            m.get_pdu().get_signal().get_trunkStatus().get_state() == ACP::TrunkState::lossCarrier)
            loss = true;
    EXPECT_TRUE(loss);
    EXPECT_EQ(controller.Command(1, [](LGCP::Command& c) { c.select_destroy(); }), -1);
}

// Four links whose far ends stop acknowledging can hold more packet buffers than
// the pool has: user data is then refused, and every command is still answered.
TEST_F(SignallingDaemon, FourUnacknowledgedSs7LinksNeverCostTheControllerAnAnswer) {
    Start("e1-0-16,e1-1-16,e1-2-16,e1-3-16");
    std::vector<PeerProcess*> far;
    for (unsigned t = 0; t < 4; ++t) {
        ASSERT_EQ(Create(1 + t, slot_test::Ss7(t, kOurPc, kPeerPc, false)), -1);
        far.push_back(&Attach("e1-" + std::to_string(t) + "-16", LIBSS7_PEER,
                              {"3", std::to_string(kPeerPc), std::to_string(kOurPc), "0"}));
        ASSERT_EQ(Activate(1 + t), -1);
    }
    for (unsigned t = 0; t < 4; ++t)
        ASSERT_TRUE(WaitSignal(1 + t, 30000, [](const LGCP::Signal& s) { return s.activated_isSelected(); }));
    for (PeerProcess* p : far) p->Command("mute 60000");

    // 400 for the first link overrun its TB; the rest, spread over all four, the pool.
    Octets msu(41, 0x5A);
    msu[0] = 0x03;
    std::map<int, int> answers;  // seq -> how many
    std::vector<int> sent, pings;
    for (int i = 0; i < 2000; ++i) {
        const unsigned slot = i < 400 ? 1 : 1 + static_cast<unsigned>(i) % 4;
        sent.push_back(controller.Send(slot, [&](LGCP::Command& c) {
            c.select_userData(std::vector<char>(msu.begin(), msu.end()));
        }));
        if (i % 100 == 99) {
            pings.push_back(controller.Send(0, [](LGCP::Command& c) { c.select_ping(); }));
            controller.Pump(5);  // read while the daemon answers, so neither socket fills
        }
    }
    int refused = 0, other = 0;
    Until(20000, [&] {
        for (const LGCP::Message& m : controller.responses) {
            ++answers[m.get_seq().getValue()];
            const auto& r = m.get_pdu().get_response();
            if (r.error_isSelected() && r.get_error() == LGCP::ErrorCause::unsupported)
                ++refused;
            else if (!r.success_isSelected())
                ++other;
        }
        controller.responses.clear();
        return answers.size() >= sent.size() + pings.size();
    });
    int not_once = 0;
    for (const std::vector<int>* seqs : {&sent, &pings})
        for (int seq : *seqs) not_once += answers[seq] != 1;
    EXPECT_EQ(not_once, 0);
    EXPECT_EQ(answers.size(), sent.size() + pings.size());
    EXPECT_EQ(other, 0);
    // 4 x (200 + 127) blocks would be more than the pool holds.
    EXPECT_GE(refused, 2000 - 4 * 327);
    const std::string err = daemon->Err();
    EXPECT_NE(err.find("no space in TB buffer"), std::string::npos);
    EXPECT_NE(err.find("no packet for user data"), std::string::npos);
    EXPECT_EQ(controller.Command(0, [](LGCP::Command& c) { c.select_ping(); }), -1);
}
#endif

#ifdef LIBPRI_PEER
// A SETUP on a primary-rate D channel: speech, B channel 1, to 123.
const Octets kSetup = {0x08, 0x01, 0x01, 0x05, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18, 0x03,
                      0xA9, 0x83, 0x81, 0x70, 0x04, 0x81, '1',  '2',  '3',  0xA1};

TEST_F(SignallingDaemon, IsdnPrimaryRateUserSideAgainstLibpriNetworkOnTrunk1) {
    Start("e1-1-16");
    ASSERT_EQ(Create(2, slot_test::Isdn(1, false, false)), -1);
    PeerProcess& peer = Attach("e1-1-16", LIBPRI_PEER, {"3", "network"});
    ASSERT_EQ(Activate(2), -1);
    ASSERT_TRUE(WaitSignal(2, 10000, [](const LGCP::Signal& s) { return s.activated_isSelected(); }));
    ASSERT_TRUE(Until(5000, [&] { return Find(peer, {"\"up\""}) >= 0; }));

    ASSERT_EQ(UserData(2, kSetup), -1);
    EXPECT_TRUE(Until(5000, [&] { return Find(peer, {"\"ring\""}) >= 0; }));
    // CALL PROCEEDING, then CONNECT, with the call reference flag of the answering side.
    std::vector<int> types;
    EXPECT_TRUE(Until(5000, [&] {
        while (const LGCP::Signal* s = Signal(2, [](const LGCP::Signal& x) { return x.userData_isSelected(); })) {
            Octets b = Of(s->get_userData());
            const std::size_t ref = b.size() >= 2 ? (b[1] & 0x0F) : 0;
            if (ref >= 1 && b.size() >= 3 + ref && b[0] == 0x08 && (b[2] & 0x80)) types.push_back(b[2 + ref]);
        }
        return types.size() >= 2;
    }));
    EXPECT_EQ(types, (std::vector<int>{0x02, 0x07}));
    EXPECT_TRUE(WaitSignal(2, 4000, [](const LGCP::Signal& s) {
        return Ioctl(s, LGCP::IoctlResponse::isdnLinkInfo::id) &&
               s.get_ioctl().get_isdnLinkInfo().get_lapdState() == ACP::LAPDState::multiple_frame_established;
    }));

    // The controller leaves: the link is released, and libpri sees it go.
    const std::size_t before = peer.lines().size();
    controller.Close();
    EXPECT_TRUE(Until(5000, [&] { return Find(peer, {"\"down\""}, before) >= 0; }));
}

TEST_F(SignallingDaemon, BasicRateNetworkSideAgainstLibpriTerminals) {
#ifndef LIBPRI_BRI_PEER
    GTEST_SKIP() << "no basic-rate peer";
#else
    Start("bri-0-d");
    ASSERT_EQ(Create(3, slot_test::Isdn(0, true, true)), -1);
    ASSERT_EQ(Activate(3), -1);
    // Terminal 0 calls; once its call proceeds, terminal 1 calls with the same call reference 1.
    PeerProcess& peer =
        Attach("bri-0-d", LIBPRI_BRI_PEER,
               {"--fd", "3", "--terminals", "2", "--call", "0", "--then", "1", "--seconds", "40"});
    // Each SETUP is answered with CALL PROCEEDING (B1), which must reach the terminal that called.
    int setups = 0;
    auto proceeding = [&](int terminal) {
        return Find(peer, {"\"terminal\":" + std::to_string(terminal) + ",", "\"proceeding\""}) >= 0;
    };
    EXPECT_TRUE(Until(30000, [&] {
        while (const LGCP::Signal* s =
                   Signal(3, [](const LGCP::Signal& x) { return x.userData_isSelected(); })) {
            Octets b = Of(s->get_userData());
            if (b.size() < 4 || b[0] != 0x08 || b[1] != 0x01 || b[3] != 0x05) continue;
            ++setups;
            EXPECT_EQ(0x01, b[2]);
            EXPECT_EQ(
                UserData(3, {0x08, 0x01, static_cast<unsigned char>(b[2] | 0x80), 0x02, 0x18, 0x01, 0x89}),
                -1);
        }
        return proceeding(0) && proceeding(1);
    }));
    EXPECT_EQ(2, setups);
#endif
}
#endif

// A far end that sends garbage as fast as it can on an SS7 link, a primary-rate
// D channel, a basic-rate network side and a raw HDLC slot: each kind of line
// (its text without numbers) comes a few times a second, not once a frame, and
// the controller still hears every time the SS7 link goes down.
TEST_F(SignallingDaemon, RandomFramesOnEveryLinkKindWriteAFewLinesOfEachKindASecond) {
    const std::vector<std::string> ports{"e1-0-16", "e1-1-16", "bri-0-d", "e1-2-16"};
    Start("e1-0-16,e1-1-16,e1-2-16,bri-0-d");
    constexpr unsigned char kAddress = 0x30;
    ASSERT_EQ(Create(1, slot_test::Ss7(0, kOurPc, kPeerPc, false)), -1);
    ASSERT_EQ(Create(2, slot_test::Isdn(1, false, false)), -1);
    ASSERT_EQ(Create(3, slot_test::Isdn(0, true, true)), -1);
    ASSERT_EQ(Create(4, slot_test::Hdlc(2, kAddress)), -1);
    for (unsigned slot : {1u, 2u, 3u}) ASSERT_EQ(Activate(slot), -1);
    std::vector<int> lines;
    for (const auto& port : ports) {
        lines.push_back(daemon->ConnectPort(port));
        ASSERT_GE(lines.back(), 0) << port;
    }
    const std::size_t before = daemon->Err().size();

    // Random octets, half of them under a header the link takes for its own (an
    // SS7 unit with a matching length, a LAPD address of SAPI 0 or 63, the raw
    // slot's address), mostly short so that the links run through their states,
    // and now and then one longer than the controller takes.
    std::mt19937 random(20240611);
    std::vector<unsigned char> frame;
    auto next_frame = [&](std::size_t port) {
        const unsigned size = random() % 64;
        frame.resize(size == 0   ? (port == 3 ? 16400 : 400)
                     : size < 48 ? 1 + random() % 8
                                 : 9 + random() % 300);
        for (auto& octet : frame) octet = static_cast<unsigned char>(random());
        if (random() % 2 != 0) return;
        if (port == 0 && frame.size() >= 3)
            frame[2] = static_cast<unsigned char>(std::min<std::size_t>(frame.size() - 3, 63));
        if ((port == 1 || port == 2) && frame.size() >= 3) {
            // I, RR, REJ, SABME, UA, DM, DISC, FRMR, UI
            static const unsigned char controls[] = {0x00, 0x01, 0x09, 0x7F, 0x73, 0x0F, 0x53, 0x87, 0x03};
            frame[0] = static_cast<unsigned char>((random() % 4 ? 0 : 63 << 2) | (frame[0] & 2));
            const unsigned tei = random() % 3;
            frame[1] = static_cast<unsigned char>((tei == 0 ? 0 : tei == 1 ? 127 : frame[1] >> 1) << 1 | 1);
            frame[2] =
                static_cast<unsigned char>(controls[random() % std::size(controls)] | (frame[2] & 0x10));
        }
        if (port == 3) frame[0] = kAddress;
    };
    constexpr int kSeconds = 4;
    int down = 0;
    const auto start = Clock::now();
    Until(kSeconds * 1000, [&] {
        char sink[512];
        for (std::size_t i = 0; i < lines.size(); ++i) {
            for (int n = 0; n < 64; ++n) {
                next_frame(i);
                (void)::send(lines[i], frame.data(), frame.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
            }
            while (::recv(lines[i], sink, sizeof sink, MSG_DONTWAIT) > 0) {
            }
        }
        while (Signal(1, [](const LGCP::Signal& s) { return s.deactivated_isSelected(); }) != nullptr) ++down;
        controller.signals.clear();
        return false;
    });
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_EQ(controller.Command(0, [](LGCP::Command& c) { c.select_ping(); }), -1);
    std::istringstream err(daemon->Err().substr(before));
    for (int line : lines) ::close(line);

    const std::regex numbers("0x[0-9A-Fa-f]+|\\b[0-9A-F]{2}\\b|[0-9]+");
    std::map<std::string, int> kinds;
    int link_down = 0;
    for (std::string line; std::getline(err, line);) {
        if (line.rfind("   - ", 0) == 0) continue;  // a LAPD record's dump lines go with its first
        ++kinds[std::regex_replace(line, numbers, "")];
        link_down += line.rfind("01:pstn: link down", 0) == 0;
    }
    const int bound = static_cast<int>(4 * (seconds + 2));
    for (const auto& [text, count] : kinds) EXPECT_LE(count, bound) << text;
    EXPECT_GT(down, link_down);
}

TEST_F(SignallingDaemon, HdlcSlotFramesBothWays) {
    Start("e1-2-16");
    int line = daemon->ConnectPort("e1-2-16");
    ASSERT_GE(line, 0);
    ASSERT_EQ(Create(4, slot_test::Hdlc(2, 0x30)), -1);
    EXPECT_EQ(controller.Command(4,
                                 [](LGCP::Command& c) {
                                     auto& list = c.select_ioctl().select_hdlcPackages();
                                     LGCP::HdlcPackage a, b;
                                     a.set_body(std::vector<char>{'a', 'b', 'c'});
                                     b.set_body(std::vector<char>{'d'});
                                     list.push_back(a);
                                     list.push_back(b);
                                 }),
              -1);
    std::vector<std::string> frames;
    Until(3000, [&] {
        char buf[256];
        ssize_t n;
        while ((n = ::recv(line, buf, sizeof buf, MSG_DONTWAIT)) > 0) frames.emplace_back(buf, static_cast<size_t>(n));
        return frames.size() >= 2;
    });
    EXPECT_EQ(frames, (std::vector<std::string>{"\x30" "abc", "\x30" "d"}));

    const char in[] = "\x30xyz";
    ASSERT_EQ(::send(line, in, 4, 0), 4);
    ASSERT_TRUE(WaitSignal(4, 3000, [](const LGCP::Signal& s) {
        return Ioctl(s, LGCP::IoctlResponse::hdlcPackages::id) && s.get_ioctl().get_hdlcPackages().size() == 1 &&
               Of(s.get_ioctl().get_hdlcPackages()[0].get_body()) == Octets{'x', 'y', 'z'};
    }));
    EXPECT_TRUE(WaitSignal(4, 4000, [](const LGCP::Signal& s) {
        return Ioctl(s, LGCP::IoctlResponse::hdlcLinkInfo::id) &&
               s.get_ioctl().get_hdlcLinkInfo().get_txSU().getValue() == 2 &&
               s.get_ioctl().get_hdlcLinkInfo().get_rxSU().getValue() == 1;
    }));
    ::close(line);
}

}  // namespace
