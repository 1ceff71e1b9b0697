#include "tests/signalling/support/frame_socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/core/multiplexer_test.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"

namespace {

struct Sink : HDLC::Notify {
    void on_hdlc_receive(Packet& frame) override { frames.push_back(frame.text()); }
    void on_hdlc_error(Cause::Type) override {
        ++errors;
        if (stop_on_error) multiplexer.terminate();
    }
    bool stop_on_error = false;
    void on_hdlc_ready() override { ++ready; }
    std::vector<std::string> frames;
    int errors = 0;
    int ready = 0;
};

Packet Frame(std::initializer_list<unsigned char> bytes) {
    Packet p;
    p.reserve_head(0);
    for (unsigned char b : bytes) p.put8(b);
    return p;
}

class FrameSocketTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        ASSERT_TRUE(FrameSocket::Pair(fd));
        a = std::make_unique<FrameSocket>(fd[0]);
        b = std::make_unique<FrameSocket>(fd[1]);
        a->bind(&sink_a);
        b->bind(&sink_b);
    }
    void Passes(size_t n) {
        timeouts.clear();
        max_passes = n;
        run();
    }
    int fd[2];
    std::unique_ptr<FrameSocket> a, b;
    Sink sink_a, sink_b;
};

TEST_F(FrameSocketTest, CarriesWholeFramesInOrderAndDropsOnRequest) {
    Packet one = Frame({0x02, 0x01, 0x7F}), two = Frame({0x00, 0x01, 0x01, 0x03}), three = Frame({0x09});
    b->drop_rx = [](const Packet& p) { return p.length() == 1; };
    EXPECT_TRUE(a->hdlc_transmit(one));
    EXPECT_TRUE(a->hdlc_transmit(two));
    EXPECT_TRUE(a->hdlc_transmit(three));
    Passes(3);
    EXPECT_EQ((std::vector<std::string>{one.text(), two.text()}), sink_b.frames);
    EXPECT_EQ(3u, a->sent());
    EXPECT_EQ(2u, b->received());
}

TEST_F(FrameSocketTest, FullSocketReportsReadyOnceAndHangUpIsAnError) {
    Packet big;
    big.reserve_head(0);
    big.put(4000);
    int sent = 0;
    while (a->hdlc_transmit(big)) ASSERT_LT(++sent, 100000);
    EXPECT_FALSE(a->is_ready());
    Passes(2);
    EXPECT_EQ(0, sink_a.ready);  // nothing drained yet
    b.reset();  // the far end goes away: its queue is freed
    sink_a.stop_on_error = true;
    Passes(10);
    EXPECT_EQ(1, sink_a.ready);
    EXPECT_TRUE(a->is_ready());
    EXPECT_EQ(1, sink_a.errors);
    EXPECT_FALSE(a->is_open());
}

TEST(FrameSocketTap, WritesPcapngThatTsharkReads) {
    if (!HaveTshark()) GTEST_SKIP() << "tshark not installed";
    const std::string path = TempCapture("frame_tap");
    ASSERT_FALSE(path.empty());
    {
        Sim::PcapngWriter writer;
        ASSERT_TRUE(writer.Open(path, Sim::PcapngWriter::kLinkLapd));
        const unsigned char sabme[] = {0x00, 0x01, 0x7F};  // SAPI 0, TEI 0, SABME with P
        const unsigned char ua[] = {0x02, 0x01, 0x73};
        writer.Write(sabme, sizeof sabme, Sim::PcapngWriter::Direction::outbound, 1000000);
        writer.Write(ua, sizeof ua, Sim::PcapngWriter::Direction::inbound, 1001000);
    }
    const std::string command = std::string("tshark -r ") + path + " -T fields -e lapd.sapi -e lapd.tei 2>/dev/null";
    const std::string text = CommandOutput(command);
    std::remove(path.c_str());
    EXPECT_EQ("0\t0\n0\t0\n", text) << command;
}

}  // namespace
