// The basic-rate network side against libpri terminals on a simulated S bus, in real
// time; the frames that crossed the bus are then dissected by tshark.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/multiplexer.h"
#include "core/protocol.h"
#include "core/timer.h"
#include "hardware/sim/pcapng_writer.h"
#include "signalling/lapd_nt.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"
#include "tests/signalling/support/frame_socket.h"
#include "tests/signalling/support/peer_process.h"

namespace {

// The D-channel carrier: the engine's frames go to the socket, the socket's come up.
struct FrameLayer : Protocol, HDLC::Notify {
    explicit FrameLayer(FrameSocket* socket) : socket(socket) { socket->bind(this); }
    void message(Packet& p) override { socket->hdlc_transmit(p); }
    void on_hdlc_receive(Packet& frame) override { on_message(frame); }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}
    FrameSocket* socket;
};

struct Layer3 : Protocol {
    void receive(Packet& p) override {
        if (on_receive) on_receive(p);
    }
    void Send(std::initializer_list<unsigned char> bytes) {
        Packet p;
        prepare_head(p);
        for (unsigned char b : bytes) p.put8(b);
        transmit(p);
    }
    std::function<void(const Packet&)> on_receive;
};

struct PeerEvent {
    int terminal;
    std::string event;
    int cref;
};

// The peer program with its end of the bus, its JSON lines taken apart.
class Peer {
public:
    Peer(int bus, const std::vector<std::string>& args) : process_(LIBPRI_BRI_PEER, WithBus(args), bus) {
        process_.on_line = [this](const std::string& line) { OnLine(line); };
    }

    std::function<void(const PeerEvent&)> on_event;
    std::vector<PeerEvent> events;

    bool Saw(int terminal, const std::string& what) const {
        for (const PeerEvent& e : events)
            if (e.terminal == terminal && e.event == what) return true;
        return false;
    }

private:
    static std::vector<std::string> WithBus(const std::vector<std::string>& args) {
        std::vector<std::string> all{"--fd", "3"};
        all.insert(all.end(), args.begin(), args.end());
        return all;
    }
    void OnLine(const std::string& line) {
        PeerEvent e{};
        char name[64] = {};
        int channel = 0;
        if (std::sscanf(line.c_str(), "{\"terminal\":%d,\"event\":\"%63[^\"]\",\"cref\":%d,\"channel\":%d}",
                        &e.terminal, name, &e.cref, &channel) != 4)
            return;
        e.event = name;
        events.push_back(e);
        if (on_event) on_event(e);
    }

    PeerProcess process_;
};

struct Stop {
    void OnStop() {
        expired = true;
        multiplexer.terminate();
    }
    bool expired = false;
};

const unsigned char kCallProceeding = 0x02, kConnect = 0x07, kSetup = 0x05;

class LapdNtLibpriBri : public testing::Test {
protected:
    void Start(int terminals, const std::vector<std::string>& extra) {
        int fd[2];
        ASSERT_TRUE(FrameSocket::Pair(fd));
        socket = new FrameSocket(fd[0]);
        std::vector<std::string> args{"--terminals", std::to_string(terminals), "--seconds", "80"};
        args.insert(args.end(), extra.begin(), extra.end());
        peer = std::make_unique<Peer>(fd[1], args);
        ::close(fd[1]);
        capture = TempCapture("lapd_nt_libpri");
        ASSERT_FALSE(capture.empty());
        ASSERT_TRUE(tap.Open(capture, Sim::PcapngWriter::kLinkLapd));
        socket->tap(&tap);
        socket->drop_tx = [this](const Packet& p) { return Watch(p, true); };
        socket->drop_rx = [this](const Packet& p) { return Watch(p, false); };
        stack.add_protocol_tail(carrier = new FrameLayer(socket));
        stack.add_protocol_tail(lapd = new ISDN::LAPD_NT);
        stack.add_protocol_tail(l3 = new Layer3);
        lapd->activate();
    }
    void TearDown() override {
        peer.reset();
        tap.Close();
        delete socket;
        if (!capture.empty() && !std::getenv("KEEP_CAPTURE")) std::remove(capture.c_str());
    }
    // Runs the loop until done() holds (checked after every peer event and frame) or seconds pass.
    bool RunUntil(const std::function<bool()>& done, unsigned seconds) {
        done_ = done;
        Stop stop;
        Timer limit;
        limit.set(seconds * 1000, &Stop::OnStop, &stop);
        multiplexer.run(false, true);
        done_ = nullptr;
        return !stop.expired;
    }
    // Observes a frame crossing the bus; never drops it.
    bool Watch(const Packet& p, bool ours) {
        if (p.length() >= 8 && p[2] == 0x03 && p[3] == 0x0F) {  // TEI management
            if (ours && p[6] == ISDN::LAPD_NT::identity_check_request) ++checks;
            if (!ours && p[6] == ISDN::LAPD_NT::identity_check_response) ++check_responses;
        }
        if (p.length() >= 4 && p[2] == 0x01) {  // RR
            const unsigned tei = p[1] >> 1;
            if (ours && p[0] == 0x02 && (p[3] & 1)) polled.insert(tei);                      // poll
            if (!ours && p[0] == 0x02 && (p[3] & 1) && polled.count(tei)) answered.insert(tei);  // its answer
        }
        Check();
        return false;
    }
    void Check() {
        if (done_ && done_()) multiplexer.terminate();
    }
    // The tshark verdict on the capture: "" when every frame dissects cleanly.
    std::string Tshark(std::string* fields) {
        tap.Close();
        *fields = CommandOutput("tshark -r " + capture + " -T fields -e lapd.tei -e q931.message_type 2>/dev/null");
        return CommandOutput("tshark -r " + capture + " -Y _ws.malformed -T fields -e frame.number 2>/dev/null");
    }

    ProtocolsList stack;
    FrameSocket* socket = nullptr;
    FrameLayer* carrier = nullptr;
    ISDN::LAPD_NT* lapd = nullptr;
    Layer3* l3 = nullptr;
    std::unique_ptr<Peer> peer;
    Sim::PcapngWriter tap;
    std::string capture;
    std::set<unsigned> polled, answered;
    int checks = 0, check_responses = 0;
    std::function<bool()> done_;
};

TEST_F(LapdNtLibpriBri, OneTerminalGetsTei64AndItsCallIsAnswered) {
    std::vector<unsigned char> setup;
    Start(1, {"--call", "0"});
    l3->on_receive = [&](const Packet& p) {
        if (p.length() < 4 || p[3] != kSetup) return;
        setup.assign(p.data(), p.data() + p.length());
        const unsigned char cref = p[2] | 0x80;
        l3->Send({0x08, 0x01, cref, kCallProceeding, 0x18, 0x01, 0x89});
        l3->Send({0x08, 0x01, cref, kConnect});
    };
    peer->on_event = [&](const PeerEvent&) { Check(); };
    EXPECT_TRUE(RunUntil([&] { return peer->Saw(0, "answer"); }, 20));
    EXPECT_TRUE(peer->Saw(0, "dchan_up"));
    EXPECT_TRUE(peer->Saw(0, "proceeding"));
    EXPECT_TRUE(lapd->user(0).is_assigned());
    EXPECT_EQ(64, lapd->user(0).get_Tei());
    ASSERT_GE(setup.size(), 4u);
    EXPECT_EQ(0x08, setup[0]);
    EXPECT_EQ(0x01, setup[1]);
}

TEST_F(LapdNtLibpriBri, TerminalAnswersTheIdentityCheckAndKeepsItsTei) {
    Start(1, {"--t203", "70000"});
    RunUntil([&] { return checks == 2 && lapd->user(0).is_assigned() && !lapd->user(0).is_check(); }, 64);
    EXPECT_EQ(2, checks);  // at activation and 60 s later
    EXPECT_GE(check_responses, 1);
    RunUntil([] { return false; }, 3);  // past the 2 s an answer may take
    EXPECT_TRUE(lapd->user(0).is_assigned());
    EXPECT_EQ(64, lapd->user(0).get_Tei());
    EXPECT_TRUE(peer->Saw(0, "dchan_up"));
    EXPECT_FALSE(peer->Saw(0, "dchan_down"));
}

TEST_F(LapdNtLibpriBri, TwoTerminalsOnOneBus) {
    if (!HaveTshark()) std::printf("tshark not installed: no dissection\n");
    int caller_cref = -1;
    bool broadcast = false;
    Start(2, {"--call", "0", "--t203", "25000"});  // our idle poll comes first
    l3->on_receive = [&](const Packet& p) {
        if (p.length() < 4 || p[3] != kSetup) return;
        caller_cref = p[2];
        const unsigned char cref = p[2] | 0x80;
        l3->Send({0x08, 0x01, cref, kCallProceeding, 0x18, 0x01, 0x89});
        l3->Send({0x08, 0x01, cref, kConnect});
    };
    peer->on_event = [&](const PeerEvent& e) {
        if (e.event == "answer" && !broadcast) {
            broadcast = true;  // a call from the network: speech, B2, to number 456
            l3->Send({0x08, 0x01, 0x01, kSetup, 0x04, 0x03, 0x80, 0x90, 0xA3, 0x18, 0x01, 0x8A, 0x70, 0x04, 0x81,
                      0x34, 0x35, 0x36});
        }
        Check();
    };
    EXPECT_TRUE(RunUntil(
        [&] { return peer->Saw(0, "ring") && peer->Saw(1, "ring") && answered.count(64) && answered.count(65); },
        45));

    EXPECT_TRUE(peer->Saw(0, "dchan_up") && peer->Saw(1, "dchan_up"));
    EXPECT_EQ(64, lapd->user(0).get_Tei());
    EXPECT_EQ(65, lapd->user(1).get_Tei());
    EXPECT_TRUE(lapd->user(0).is_assigned() && lapd->user(1).is_assigned());
    EXPECT_GE(caller_cref, 0);
    // Our answer reached the caller only; the broadcast reached both.
    EXPECT_TRUE(peer->Saw(0, "proceeding") && peer->Saw(0, "answer"));
    EXPECT_FALSE(peer->Saw(1, "proceeding") || peer->Saw(1, "answer"));
    EXPECT_TRUE(peer->Saw(0, "ring") && peer->Saw(1, "ring"));
    EXPECT_EQ((std::set<unsigned>{64, 65}), answered);

    if (!HaveTshark()) return;
    std::string fields;
    EXPECT_EQ("", Tshark(&fields));
    EXPECT_NE(std::string::npos, fields.find("64\t0x05")) << fields;  // the terminal's SETUP
    EXPECT_NE(std::string::npos, fields.find("127\t0x05")) << fields;  // our broadcast
    EXPECT_NE(std::string::npos, fields.find("64\t0x07")) << fields;  // our CONNECT
}

}  // namespace
