#include "hardware/hdlc.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/trace_ctl.h"
#include "core/packet.h"
#include "hardware/hal_requests.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "hardware/mcc_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/mcc_device.h"
#include "tests/core/held_blocks.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/multiplexer_test.h"
#include "tests/hardware/line_test_util.h"

namespace {

using Sim::Request;
namespace Hal = Hardware::Hal;
namespace Mcc = Hardware::Mcc;
using Words = std::vector<std::int32_t>;
using line_test::Bytes;

const int kTs16 = Tdm::TrunkTimeSlot(0, 16);

using line_test::PacketOf;

struct Sink : HDLC::Notify {
    void on_hdlc_receive(Packet& frame) override {
        frames.emplace_back(frame.data(), frame.data() + frame.length());
        if (on_frame) on_frame();
    }
    void on_hdlc_error(Cause::Type cause) override { errors.push_back(cause); }
    void on_hdlc_ready() override { ++ready; }
    std::vector<Bytes> frames;
    std::vector<int> errors;
    int ready = 0;
    std::function<void()> on_frame;
};

using FarEnd = line_test::RecordingFarEnd;

class HdlcTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        line_test::ResetBoardOnce();
        HwMux::instance();
        board.SetOpenError(Mcc::kPath, 0);
        trunks.Reset();
        board.ClearRequests();
        saved_err_ = std::cerr.rdbuf(err_.rdbuf());
        saved_log_ = std::clog.rdbuf(log_.rdbuf());
        traces.signalling.hdlc = false;
        // Something to poll when no channel is left, so the loop never finds itself idle.
        idle_.Schedule(Fd(::dup(quiet_.fd[0])), POLLIN);
    }
    void TearDown() override {
        idle_.Release();
        std::cerr.rdbuf(saved_err_);
        std::clog.rdbuf(saved_log_);
        traces.signalling.hdlc = false;
        LoopTest::TearDown();
    }

    static std::vector<std::string> Lines(std::ostringstream& s) {
        std::vector<std::string> lines;
        std::istringstream in(s.str());
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        s.str("");
        return lines;
    }
    std::vector<std::string> Errors() { return Lines(err_); }
    std::vector<std::string> Log() { return Lines(log_); }

    void Passes(std::size_t n) {
        timeouts.clear();
        max_passes = n;
        run();
    }

    // A channel on time slot 16 of trunk 0, activated.
    void Activate(HDLC& hdlc, int mode = 0, int tdm = kTs16, int tdm2 = -1) {
        HDLC::Params p = hdlc.params();
        p.timeslot = 16;
        p.tdm = tdm;
        p.tdm2 = tdm2;
        p.mode = mode;
        hdlc.params(p);
        ASSERT_TRUE(hdlc.activate());
    }
    Sim::MccDevice::Channel& ChannelOf(const HDLC& hdlc) { return *mcc.channel(hdlc.controller_channel()); }
    // Every block of the pool, until the packets are dropped.
    Sim::Board& board = Sim::board();
    Sim::MccDevice& mcc = board.device<Sim::MccDevice>(Mcc::kPath);
    Sim::Trunks& trunks = Sim::trunks();

private:
    SocketPair quiet_;
    Event idle_;
    std::ostringstream err_, log_;
    std::streambuf* saved_err_ = nullptr;
    std::streambuf* saved_log_ = nullptr;
};

TEST_F(HdlcTest, ActivationAllocatesAChannelAndWiresItBothWays) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    hdlc.trunk(2);
    traces.signalling.hdlc = true;
    Activate(hdlc);
    const int t = hdlc.controller_channel();
    EXPECT_TRUE(Tdm::IsHdlcChannel(t));
    EXPECT_TRUE(hdlc.is_open());
    EXPECT_FALSE(hdlc.is_ready());
    EXPECT_EQ(Log(), (std::vector<std::string>{"hdlc [2/16]: deactivated", "hdlc [2/16]: activated"}));

    auto opens = board.Requests(Request::Kind::open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].device, "/dev/mcc/ctl");
    auto ioctls = board.Requests(Request::Kind::ioctl);
    ASSERT_EQ(ioctls.size(), 4u);
    EXPECT_EQ(ioctls[0].number, Mcc::MCC_ALLOCATE);
    EXPECT_EQ(ioctls[0].InWords(), (Words{3, 512, 0, 1, 4}));
    EXPECT_EQ(ioctls[1].number, Mcc::MCC_TIMESLOT);
    EXPECT_EQ(ioctls[1].result, t);
    EXPECT_EQ(ioctls[2].number, Hal::MUX_CONNECT);
    EXPECT_EQ(ioctls[2].InWords(), (Words{kTs16, t}));  // onto the time slot
    EXPECT_EQ(ioctls[3].InWords(), (Words{t, kTs16}));  // from the time slot

    Passes(2);  // the first write-ready event
    EXPECT_TRUE(hdlc.is_ready());
    EXPECT_EQ(sink.ready, 1);

    // Mode codes, and mode 2 transmitting onto tdm2.
    HDLC pri, bri;
    Activate(pri, 1);
    board.ClearRequests();
    Activate(bri, 2, 40, 41);
    ioctls = board.Requests(Request::Kind::ioctl);
    ASSERT_EQ(ioctls.size(), 4u);
    EXPECT_EQ(ioctls[0].InWord(0), 1);
    EXPECT_EQ(ioctls[2].InWords(), (Words{41, bri.controller_channel()}));
    EXPECT_EQ(ioctls[3].InWords(), (Words{bri.controller_channel(), 40}));
    EXPECT_EQ(ChannelOf(pri).allocate[0], 0);
}

TEST_F(HdlcTest, FailedActivationLeavesOneLineAndNothingOpen) {
    HDLC hdlc;
    HDLC::Params p;
    p.timeslot = 16;
    p.tdm = kTs16;
    p.mode = 3;
    hdlc.params(p);
    EXPECT_FALSE(hdlc.activate());
    EXPECT_EQ(Errors(), (std::vector<std::string>{"hdlc [0/16]: invalid mode 3"}));
    EXPECT_TRUE(board.Requests(Request::Kind::open).empty());

    p.mode = 0;
    hdlc.params(p);
    board.SetOpenError(Mcc::kPath, ENOENT);
    EXPECT_FALSE(hdlc.activate());
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{"hdlc [0/16]: fail to open MCC device: No such file or directory"}));
    board.SetOpenError(Mcc::kPath, 0);

    board.FailRequest(Mcc::kPath, Mcc::MCC_ALLOCATE, EBUSY);
    EXPECT_FALSE(hdlc.activate());
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{"hdlc [0/16]: MCC_ALLOCATE fail: Device or resource busy"}));
    board.FailRequest(Mcc::kPath, Mcc::MCC_TIMESLOT, ENOSPC);
    EXPECT_FALSE(hdlc.activate());
    EXPECT_EQ(Errors(),
              (std::vector<std::string>{"hdlc [0/16]: MCC_TIMESLOT fail: No space left on device"}));
    EXPECT_FALSE(hdlc.is_open());
    EXPECT_EQ(board.OpenCount(Mcc::kPath), 0u);
    EXPECT_EQ(board.Requests(Request::Kind::ioctl).size(), 3u);  // no switching after a failure
}

TEST_F(HdlcTest, TransmitCountsAndFramesLeaveOnTheTimeSlot) {
    HDLC hdlc;
    Packet frame = PacketOf({0x02, 0x01, 0x7F});
    EXPECT_FALSE(hdlc.hdlc_transmit(frame));  // inactive
    EXPECT_EQ(hdlc.statistics().txDiscard, 1u);
    EXPECT_EQ(hdlc.statistics().txSU, 0u);
    EXPECT_EQ(hdlc.statistics().txError, 0u);

    FarEnd line;
    trunks.Attach(kTs16, &line);
    Activate(hdlc);
    EXPECT_EQ(hdlc.statistics().txDiscard, 0u);  // every activation starts at zero
    Packet empty;
    EXPECT_TRUE(hdlc.hdlc_transmit(empty));
    EXPECT_EQ(hdlc.statistics().txSU, 0u);
    traces.signalling.hdlc = true;
    EXPECT_TRUE(hdlc.hdlc_transmit(frame));
    EXPECT_EQ(Log(), (std::vector<std::string>{"HDLC[0]: tx 02 01 7F"}));
    EXPECT_EQ(hdlc.statistics().txSU, 1u);
    EXPECT_EQ(line.frames, (std::vector<Bytes>{{0x02, 0x01, 0x7F}}));

    // A write the controller refuses counts as an error.
    auto& channel = ChannelOf(hdlc);
    channel.tdm = -1;
    EXPECT_FALSE(hdlc.hdlc_transmit(frame));
    EXPECT_EQ(hdlc.statistics().txError, 1u);
    channel.tdm = hdlc.controller_channel();
    trunks.Attach(kTs16, nullptr);
}

TEST_F(HdlcTest, WaitingFramesArriveInOrderInOneEventUntilTheSinkStops) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc);
    traces.signalling.hdlc = true;
    const Bytes a{0x00, 0x01, 0x7F}, b{0x02, 0x03}, c{0x04};
    for (const Bytes& f : {a, b, c}) trunks.Arrive(kTs16, f.data(), f.size());
    Passes(2);  // one event
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{a, b, c}));
    EXPECT_EQ(hdlc.statistics().rxSU, 3u);
    auto log = Log();
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ(log[0], "hdlc [0/16]: do_read");
    EXPECT_EQ(log[1], "HDLC[0]: rx 00 01 7F");
    EXPECT_EQ(log[4], "Mux: terminating...");

    // A sink that ends the channel inside a receive gets nothing more, no error.
    traces.signalling.hdlc = false;
    sink.frames.clear();
    sink.on_frame = [&] { hdlc.deactivate(); };
    for (const Bytes& f : {a, b}) trunks.Arrive(kTs16, f.data(), f.size());
    Passes(2);
    EXPECT_EQ(sink.frames.size(), 1u);
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_FALSE(hdlc.is_open());
    EXPECT_TRUE(Errors().empty());
}

TEST_F(HdlcTest, FullControllerQueueWaitsForOneWriteReadyEvent) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    FarEnd line;
    trunks.Attach(kTs16, &line);
    Activate(hdlc);
    Passes(2);
    ASSERT_EQ(sink.ready, 1);

    ChannelOf(hdlc).stalled = true;
    Packet frame = PacketOf(Bytes(200, 0x55));
    std::uint32_t sent = 0;
    while (hdlc.hdlc_transmit(frame)) ASSERT_LT(++sent, 100000u);
    EXPECT_GT(sent, 0u);
    EXPECT_FALSE(hdlc.is_ready());
    EXPECT_EQ(hdlc.statistics().txSU, sent);  // the refused frame is not counted
    EXPECT_EQ(hdlc.statistics().txError, 0u);
    Passes(3);
    EXPECT_EQ(sink.ready, 1);  // still full
    EXPECT_TRUE(line.frames.empty());

    mcc.Drain(ChannelOf(hdlc));
    Passes(3);
    EXPECT_EQ(sink.ready, 2);
    EXPECT_TRUE(hdlc.is_ready());
    EXPECT_EQ(line.frames.size(), sent);
    trunks.Attach(kTs16, nullptr);
}

TEST_F(HdlcTest, ReadErrorsEndTheChannelOnce) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc);
    ChannelOf(hdlc).read_error = EIO;
    const Bytes f{0x01};
    trunks.Arrive(kTs16, f.data(), f.size());
    Passes(3);
    EXPECT_FALSE(hdlc.is_open());
    EXPECT_EQ(sink.errors, (std::vector<int>{HDLC::Notify::Cause::read_error}));
    EXPECT_EQ(Errors(), (std::vector<std::string>{"hdlc [0/16]: read error: Input/output error"}));

    // The board going away: end of file.
    sink.errors.clear();
    Activate(hdlc);
    ::shutdown(ChannelOf(hdlc).file->peer, SHUT_RDWR);
    Passes(3);
    EXPECT_FALSE(hdlc.is_open());
    EXPECT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"hdlc [0/16]: read error: end of file"}));

    // A hang-up or error without data to read: no read, and the loop is not spun.
    sink.errors.clear();
    Activate(hdlc);
    Passes(2);
    int polled = 0;
    multiplexer.set_poll([&](pollfd* fds, nfds_t count, int) {
        ++polled;
        if (polled > 5) multiplexer.terminate();
        int n = ::poll(fds, count, 0);
        for (nfds_t i = 0; i < count; ++i)
            if (fds[i].events & POLLIN && fds[i].fd >= 0 && fds[i].revents == 0 && polled == 1) {
                fds[i].revents = POLLHUP;
                ++n;
            }
        return n;
    });
    run();
    EXPECT_FALSE(hdlc.is_open());
    EXPECT_EQ(sink.errors.size(), 1u);
    auto errors = Errors();
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "hdlc [0/16]: read error: POLLHUP");
}

// The driver reports POLLIN|POLLERR on the channel at every poll, with no frame to read:
// the channel rests between polls, stays and writes one line; the frame that comes once
// the driver recovers is read and ends the condition.
TEST_F(HdlcTest, AChannelInErrorWithoutFramesRestsBetweenPollsWithOneLine) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc);
    Passes(2);
    short fault = POLLIN | POLLERR;
    StickBits([&](int fd) -> short { return board.DeviceOf(fd) == &mcc ? fault : 0; });
    ExpectNoSpinFor2s();
    EXPECT_TRUE(hdlc.is_open());
    EXPECT_TRUE(sink.errors.empty());
    const std::string line = "hdlc [0/16]: reports POLLIN|POLLERR without data: polled again every 100 ms";
    EXPECT_EQ(Errors(), std::vector<std::string>{line});

    fault = 0;
    const Bytes f{0x01, 0x02};
    trunks.Arrive(kTs16, f.data(), f.size());
    PassesIn(200);
    EXPECT_EQ(sink.frames, std::vector<Bytes>{f});
    const std::vector<std::string> end = Errors();
    EXPECT_EQ(end.size(), 1u);
    EXPECT_TRUE(Account(end, line).ended);
}

TEST_F(HdlcTest, EmptyPacketPoolDropsFramesWithOneLine) {
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc);
    std::vector<Packet> held = HoldEveryBlock();
    const Bytes f{0x01, 0x02};
    for (int i = 0; i < 3; ++i) trunks.Arrive(kTs16, f.data(), f.size());
    Passes(2);
    EXPECT_EQ(hdlc.rx_dropped(), 3u);
    EXPECT_EQ(hdlc.statistics().rxSU, 0u);
    EXPECT_EQ(Errors(), (std::vector<std::string>{"hdlc [0/16]: no packet for a received frame: dropped"}));
    EXPECT_TRUE(hdlc.is_open());

    held.clear();
    trunks.Arrive(kTs16, f.data(), f.size());
    Passes(2);
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{f}));
}

// Two of our channels at the two ends of a cabled trunk pair.
TEST_F(HdlcTest, CabledTrunksCarryTenThousandFramesEachWayInOrder) {
    ASSERT_TRUE(trunks.Cable(0, 1));
    HDLC a, b;
    Sink sa, sb;
    a.bind(&sa);
    b.bind(&sb);
    Activate(a, 0, Tdm::TrunkTimeSlot(0, 16));
    Activate(b, 0, Tdm::TrunkTimeSlot(1, 16));
    constexpr int kFrames = 10000;
    constexpr int kWindow = 100;  // what the link layers keep outstanding, about
    for (int sent = 0; sent < kFrames; sent += kWindow) {
        for (int i = sent; i < sent + kWindow; ++i) {
            Packet fa = PacketOf({static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i), 0xA0});
            Packet fb = PacketOf({static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i), 0xB0});
            ASSERT_TRUE(a.hdlc_transmit(fa));
            ASSERT_TRUE(b.hdlc_transmit(fb));
        }
        Passes(2);
    }
    ASSERT_EQ(sb.frames.size(), static_cast<std::size_t>(kFrames));
    ASSERT_EQ(sa.frames.size(), static_cast<std::size_t>(kFrames));
    for (int i = 0; i < kFrames; ++i) {
        ASSERT_EQ(sb.frames[i],
                  (Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i), 0xA0}));
        ASSERT_EQ(sa.frames[i],
                  (Bytes{static_cast<unsigned char>(i >> 8), static_cast<unsigned char>(i), 0xB0}));
    }
    EXPECT_EQ(a.statistics().txSU, b.statistics().rxSU);
    EXPECT_EQ(b.statistics().txSU, a.statistics().rxSU);
    EXPECT_EQ(a.statistics().txSU, static_cast<std::uint32_t>(kFrames));
}

// A frame kept for retransmission is shared: writing it must not need a copy.
TEST_F(HdlcTest, SharedFrameGoesOutWhenThePoolIsEmpty) {
    FarEnd line;
    trunks.Attach(kTs16, &line);
    HDLC hdlc;
    Activate(hdlc);
    Packet frame = PacketOf({0x80, 0x81, 0x00});
    const Packet kept = frame;
    std::vector<Packet> held = HoldEveryBlock();
    EXPECT_TRUE(hdlc.hdlc_transmit(frame));
    EXPECT_EQ(frame.get(), kept.get());
    EXPECT_EQ(line.frames, (std::vector<Bytes>{{0x80, 0x81, 0x00}}));
    trunks.Attach(kTs16, nullptr);
}

}  // namespace
