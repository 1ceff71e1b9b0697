// Our LAPD entity against libpri (primary rate both ways, basic-rate TEI
// assignment), in real time over a frame socket. libpri runs in a helper
// process that reports its events as JSON lines.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <string>

#include "core/multiplexer.h"
#include "hardware/sim/pcapng_writer.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"
#include "tests/signalling/support/frame_socket.h"
#include "tests/signalling/support/peer_process.h"

namespace {

bool IsIFrame(const Packet& f) {
    return f.length() >= 4 && (f.data()[2] & 1) == 0;
}

// Q.931 message type of a message with a call reference of any length.
int MessageType(const Bytes& m) {
    if (m.size() < 2) return -1;
    const size_t at = 2 + (m[1] & 0x0F);
    return at < m.size() ? m[at] : -1;
}

class LapdLibpri : public testing::Test {
protected:
    void Start(ISDN::Side::type side, const char* mode) {
        int fd[2];
        ASSERT_TRUE(FrameSocket::Pair(fd));
        capture_path = TempCapture("lapd_libpri");
        ASSERT_FALSE(capture_path.empty());
        ASSERT_TRUE(capture.Open(capture_path, Sim::PcapngWriter::kLinkLapd));
        lapd = new ISDN::LAPD(side, 0);
        stack.add_protocol_tail(lapd);
        socket = std::make_unique<FrameSocket>(fd[0]);
        socket->bind(lapd);
        socket->tap(&capture);
        lapd->hdlc(socket.get());
        // Every distinct I frame that crossed, dropped or not, by direction.
        socket->drop_tx = [this](const Packet& f) {
            if (!IsIFrame(f)) return false;
            tx_ns.insert(f.data()[2] >> 1);
            return std::exchange(drop_tx_next, false);
        };
        socket->drop_rx = [this](const Packet& f) {
            if (!IsIFrame(f)) return false;
            rx_ns.insert(f.data()[2] >> 1);
            return std::exchange(drop_rx_next, false);
        };
        std::vector<std::string> args{"3", mode};
        if (std::getenv("LIBPRI_DEBUG") != nullptr) args.push_back("debug");
        peer = std::make_unique<PeerProcess>(LIBPRI_PEER, args, fd[1]);
        ::close(fd[1]);
    }
    void TearDown() override {
        peer.reset();
        socket.reset();
        capture.Close();
        if (!capture_path.empty() && !HasFailure()) std::remove(capture_path.c_str());
        else if (!capture_path.empty()) std::cerr << "capture kept: " << capture_path << std::endl;
    }

    // Runs the loop in real time until done() holds or ms pass.
    bool RunUntil(const std::function<bool()>& done, unsigned ms) {
        check_ = done;
        waited_ = 0;
        limit_ = ms;
        poll_.set(10, &LapdLibpri::OnPoll, this);
        multiplexer.run(false, true);
        poll_.reset();
        return done();
    }
    unsigned state() const { return lapd->snapshot().state; }
    void Send(const Bytes& message) {
        Packet p = PacketOf(message);
        lapd->message(p);
    }
    std::vector<int> Types() const {
        std::vector<int> types;
        for (const Bytes& m : stack.messages) types.push_back(MessageType(m));
        return types;
    }
    // The counters of both ends agree: each distinct I frame on the wire is one message.
    void ExpectCountersMatchTheWire() {
        ACP::IsdnLinkInfo info;
        lapd->GetInfo(info);
        EXPECT_EQ(static_cast<int>(tx_ns.size()), info.get_msuTxCount().getValue());
        EXPECT_EQ(static_cast<int>(rx_ns.size()), info.get_msuRxCount().getValue());
        EXPECT_EQ(stack.messages.size(), rx_ns.size());
        EXPECT_EQ(info.get_vs().getValue(), info.get_va().getValue());
    }
    void Release() {
        lapd->local_deactivate();
        EXPECT_TRUE(RunUntil([this] { return state() != ISDN::LAPDFullState::awaiting_release; }, 5000));
        EXPECT_NE(stack.deactivated.end(),
                  std::find(stack.deactivated.begin(), stack.deactivated.end(), "+success (UA received)"));
    }
    // tshark finds no malformed frame in the capture.
    void ExpectWellFormedCapture() {
        capture.Close();
        if (!HaveTshark()) return;
        const std::string out =
            CommandOutput("tshark -r " + capture_path + " -T fields -e _ws.malformed -e _ws.expert 2>/dev/null");
        std::string text;
        int lines = 0;
        for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1) {
            ++lines;
            if (out.compare(at, end + 1 - at, "\t\n") != 0) text += out.substr(at, end + 1 - at);
        }
        EXPECT_GT(lines, 4);
        EXPECT_EQ("", text);
    }

    RecordingStack stack;
    ISDN::LAPD* lapd = nullptr;
    std::unique_ptr<FrameSocket> socket;
    std::unique_ptr<PeerProcess> peer;
    Sim::PcapngWriter capture;
    std::string capture_path;
    std::set<int> tx_ns, rx_ns;
    bool drop_tx_next = false;
    bool drop_rx_next = false;

private:
    void OnPoll() {
        waited_ += 10;
        if (check_() || waited_ >= limit_) {
            multiplexer.terminate();
            return;
        }
        poll_.set(10, &LapdLibpri::OnPoll, this);
    }
    std::function<bool()> check_;
    unsigned waited_ = 0;
    unsigned limit_ = 0;
    Timer poll_;
};

const Bytes kSetup = {0x08, 0x02, 0x00, 0x01, 0x05,   // call reference 1, SETUP
                      0x04, 0x03, 0x80, 0x90, 0xA3,   // speech, 64 kbit/s, A-law
                      0x18, 0x03, 0xA9, 0x83, 0x81,   // primary rate, exclusive B channel 1
                      0x70, 0x04, 0x81, '1', '2', '3',  // called party number
                      0xA1};                          // sending complete
const Bytes kStatusEnquiry = {0x08, 0x02, 0x00, 0x05, 0x75};

TEST_F(LapdLibpri, NetworkAgainstOurUserSide) {
    Start(ISDN::Side::user, "network");
    // libpri brings the link up: our UA, then activation.
    ASSERT_TRUE(RunUntil([this] { return state() == 6 && peer->Saw("up"); }, 10000)) << stack.activated;
    EXPECT_GE(stack.activated, 1);

    Release();
    if (state() == ISDN::LAPDFullState::tei_assigned) lapd->local_activate();
    ASSERT_TRUE(RunUntil([this] { return state() == 6; }, 10000));

    // Our SETUP is lost on the way: the STATUS ENQUIRY behind it draws libpri's REJ.
    drop_tx_next = true;
    // libpri's CALL PROCEEDING is lost: the CONNECT behind it draws our REJ.
    drop_rx_next = true;
    Send(kSetup);
    Send(kStatusEnquiry);
    auto types = [this] { return Types(); };
    auto has = [&](int type) {
        const std::vector<int> t = types();
        return std::find(t.begin(), t.end(), type) != t.end();
    };
    ASSERT_TRUE(RunUntil([&] { return peer->Saw("ring") && has(0x07) && (has(0x7D) || has(0x5A)); }, 15000))
        << testing::PrintToString(Types()) << testing::PrintToString(peer->lines());
    const std::vector<int> t = Types();
    EXPECT_LT(std::find(t.begin(), t.end(), 0x02), std::find(t.begin(), t.end(), 0x07));
    EXPECT_GE(lapd->stats().retrains, 1u);
    EXPECT_GE(lapd->stats().out_of_sequence, 1u);
    ASSERT_TRUE(RunUntil([this] { return lapd->unacknowledged() == 0 && lapd->queued() == 0; }, 5000));
    ExpectCountersMatchTheWire();
    Release();
    ExpectWellFormedCapture();
}

TEST_F(LapdLibpri, CpeAgainstOurNetworkSide) {
    Start(ISDN::Side::network, "cpe");
    ASSERT_TRUE(RunUntil([this] { return state() == 6 && peer->Saw("up"); }, 10000));

    // Two SETUPs back to back; the first is lost on its way to us.
    drop_rx_next = true;
    peer->Command("call 2");
    ASSERT_TRUE(RunUntil([this] { return Types() == std::vector<int>{0x05, 0x05}; }, 10000))
        << testing::PrintToString(Types());
    EXPECT_GE(lapd->stats().out_of_sequence, 1u);
    const Bytes& setup = stack.messages[0];
    ASSERT_GE(setup.size(), 5u);
    ASSERT_EQ(2, setup[1]);
    EXPECT_LT(setup[3], stack.messages[1][3]);  // the first call placed arrives first

    // Our CALL PROCEEDING is lost: the CONNECT behind it draws libpri's REJ.
    const unsigned char hi = setup[2] | 0x80, lo = setup[3];
    drop_tx_next = true;
    Send({0x08, 0x02, hi, lo, 0x02, 0x18, 0x03, 0xA9, 0x83, 0x81});
    Send({0x08, 0x02, hi, lo, 0x07});
    ASSERT_TRUE(RunUntil([this] { return peer->Saw("proceeding") && peer->Saw("answer"); }, 10000))
        << testing::PrintToString(peer->lines());
    EXPECT_GE(lapd->stats().retrains, 1u);
    ASSERT_TRUE(RunUntil([this] { return lapd->unacknowledged() == 0 && lapd->queued() == 0; }, 5000));
    ExpectCountersMatchTheWire();
    Release();
    ExpectWellFormedCapture();
}

TEST_F(LapdLibpri, BasicRateNetworkAssignsOurTei) {
    Start(ISDN::Side::user, "bri-network");
    lapd->change_to_bri();
    // DL-ESTABLISH without a TEI: the request goes out, the establishment waits for the TEI.
    lapd->mdl_remove();
    lapd->local_activate();
    EXPECT_EQ(ISDN::LAPDFullState::establish_awaiting_tei, state());
    ASSERT_TRUE(RunUntil([this] { return state() == 6; }, 15000))
        << ISDN::statetext(state()) << testing::PrintToString(peer->lines());
    EXPECT_GE(lapd->snapshot().self_tei, 64);
    EXPECT_LT(lapd->snapshot().self_tei, 127);
    EXPECT_GE(stack.activated, 1);
    Send(kStatusEnquiry);
    ASSERT_TRUE(RunUntil([this] { return !stack.messages.empty(); }, 5000));
    EXPECT_TRUE(MessageType(stack.messages[0]) == 0x7D || MessageType(stack.messages[0]) == 0x5A);
    ExpectWellFormedCapture();
}

}  // namespace
