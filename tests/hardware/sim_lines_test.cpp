#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "hardware/board_record.h"
#include "hardware/hdlc.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "hardware/mcc_requests.h"
#include "hardware/e1_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/line_setup.h"
#include "hardware/sim/maintenance_device.h"
#include "hardware/sim/mcc_device.h"
#include "hardware/sim/trunk_ports.h"
#include "tests/core/multiplexer_test.h"
#include "tests/hardware/line_test_util.h"

namespace {

namespace Mcc = Hardware::Mcc;
using line_test::Bytes;

TEST(LineChannelsTest, OneNumberPerTrunkTimeSlotAndLineChannel) {
    EXPECT_EQ(Tdm::TrunkTimeSlot(0, 0), 256);
    EXPECT_EQ(Tdm::TrunkTimeSlot(0, 16), 272);
    EXPECT_EQ(Tdm::TrunkTimeSlot(3, 31), 383);
    EXPECT_EQ(Tdm::BriLineChannel(0, Tdm::kBriB1), 512);
    EXPECT_EQ(Tdm::BriLineChannel(7, Tdm::kBriD), 542);
    for (int bad : {-1, 4}) EXPECT_EQ(Tdm::TrunkTimeSlot(bad, 16), -1);
    EXPECT_EQ(Tdm::TrunkTimeSlot(0, 32), -1);
    EXPECT_EQ(Tdm::BriLineChannel(8, 0), -1);
    EXPECT_EQ(Tdm::BriLineChannel(0, 3), -1);
    // Every channel maps back to its place, and nothing else is on a line.
    int lines = 0;
    for (int ch = 0; ch < Tdm::kDeviceChannels; ++ch) {
        Tdm::LinePlace p = Tdm::PlaceOf(ch);
        if (p.kind == Tdm::LinePlace::none) continue;
        ++lines;
        int back = p.kind == Tdm::LinePlace::e1 ? Tdm::TrunkTimeSlot(p.line, p.channel)
                                                : Tdm::BriLineChannel(p.line, p.channel);
        EXPECT_EQ(back, ch);
        EXPECT_FALSE(Tdm::IsHdlcChannel(ch));
        EXPECT_EQ(Sim::TrunkPorts::Parse(Sim::TrunkPorts::Name(ch)), ch);
    }
    EXPECT_EQ(lines, 4 * 32 + 8 * 3);
    EXPECT_EQ(Sim::TrunkPorts::Name(272), "e1-0-16");
    EXPECT_EQ(Sim::TrunkPorts::Name(514), "bri-0-d");
    for (const char* bad : {"e1-4-16", "e1-0-32", "bri-0-e", "e1-0-", ""}) EXPECT_EQ(Sim::TrunkPorts::Parse(bad), -1);
}

struct Sink : HDLC::Notify {
    void on_hdlc_receive(Packet& frame) override { frames.emplace_back(frame.data(), frame.data() + frame.length()); }
    void on_hdlc_error(Cause::Type) override { ++errors; }
    void on_hdlc_ready() override {}
    std::vector<Bytes> frames;
    int errors = 0;
};

using FarEnd = line_test::RecordingFarEnd;

using line_test::PacketOf;

class SimLinesTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        line_test::ResetBoardOnce();
        HwMux::instance();
        trunks.Reset();
        char pattern[] = "/tmp/tmb-lines-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        idle_.Schedule(Fd(::dup(quiet_.fd[0])), POLLIN);
        saved_ = std::cerr.rdbuf(err_.rdbuf());
    }
    void TearDown() override {
        std::cerr.rdbuf(saved_);
        idle_.Release();
        trunks.Reset();
        std::filesystem::remove_all(dir);
        LoopTest::TearDown();
    }
    void Passes(std::size_t n) {
        timeouts.clear();
        max_passes = n;
        run();
    }
    void Activate(HDLC& hdlc, int tdm) {
        HDLC::Params p;
        p.tdm = tdm;
        p.timeslot = Tdm::PlaceOf(tdm).channel;
        hdlc.params(p);
        ASSERT_TRUE(hdlc.activate());
    }
    static int Connect(const std::string& path) {
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0) << path;
        return fd;
    }
    static Bytes Receive(int fd) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 1000) != 1) return {};
        unsigned char buffer[512];
        ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        return n > 0 ? Bytes(buffer, buffer + n) : Bytes{};
    }

    Sim::Board& board = Sim::board();
    Sim::MccDevice& mcc = board.device<Sim::MccDevice>(Mcc::kPath);
    Sim::Trunks& trunks = Sim::trunks();
    std::string dir;
    std::ostringstream err_;

private:
    SocketPair quiet_;
    Event idle_;
    std::streambuf* saved_ = nullptr;
};

TEST_F(SimLinesTest, ControllerHandsOutChannelsOfItsRangeOnlyAfterAllocation) {
    int a = board.open(Mcc::kPath, O_RDWR | O_NONBLOCK);
    int b = board.open(Mcc::kPath, O_RDWR | O_NONBLOCK);
    EXPECT_EQ(board.ioctl(a, Mcc::MCC_TIMESLOT, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    Hardware::BoardRecord<5> words{1, 512, 0, 1, 4};
    ASSERT_EQ(board.ioctl(a, Mcc::MCC_ALLOCATE, words.data()), 0);
    ASSERT_EQ(board.ioctl(b, Mcc::MCC_ALLOCATE, words.data()), 0);
    int ta = board.ioctl(a, Mcc::MCC_TIMESLOT, nullptr);
    int tb = board.ioctl(b, Mcc::MCC_TIMESLOT, nullptr);
    EXPECT_TRUE(Tdm::IsHdlcChannel(ta));
    EXPECT_TRUE(Tdm::IsHdlcChannel(tb));
    EXPECT_NE(ta, tb);
    EXPECT_EQ(board.ioctl(a, Mcc::MCC_TIMESLOT, nullptr), ta);  // asked again: the same
    EXPECT_EQ(mcc.channel(ta)->allocate, (std::array<std::int32_t, 5>{1, 512, 0, 1, 4}));
    EXPECT_EQ(board.write(a, "\x01", 1), 1);
    Hardware::BoardRecord<1> other{0};
    EXPECT_EQ(board.ioctl(a, 0x40044D09, other.data()), -1);  // no such request
    EXPECT_EQ(errno, ENOTTY);

    // A closed channel gives its TDM channel back.
    board.close(a);
    int c = board.open(Mcc::kPath, O_RDWR);
    ASSERT_EQ(board.ioctl(c, Mcc::MCC_ALLOCATE, words.data()), 0);
    EXPECT_EQ(board.ioctl(c, Mcc::MCC_TIMESLOT, nullptr), ta);
    EXPECT_EQ(mcc.channel(tb)->written, 0u);
    board.close(b);
    board.close(c);
}

TEST_F(SimLinesTest, TrunkPortCarriesFramesBetweenAProgramAndAChannel) {
    const int ch = Tdm::TrunkTimeSlot(0, 16);
    Sim::TrunkPorts ports(trunks);
    ASSERT_TRUE(ports.Open(dir, ch));
    EXPECT_FALSE(ports.Open(dir, ch));  // once per channel
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc, ch);

    int client = Connect(dir + "/e1-0-16");
    Passes(2);
    ASSERT_TRUE(ports.connected(ch));
    ASSERT_EQ(::send(client, "\x02\x01\x7F", 3, 0), 3);
    ASSERT_EQ(::send(client, "\x00\x01\x03\x08", 4, 0), 4);
    Passes(3);
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{{0x02, 0x01, 0x7F}, {0x00, 0x01, 0x03, 0x08}}));
    Packet out = PacketOf({0x02, 0x03, 0x01, 0x01});
    ASSERT_TRUE(hdlc.hdlc_transmit(out));
    EXPECT_EQ(Receive(client), (Bytes{0x02, 0x03, 0x01, 0x01}));

    // A second program replaces the first; a program that leaves detaches.
    int second = Connect(dir + "/e1-0-16");
    Passes(2);
    ASSERT_TRUE(hdlc.hdlc_transmit(out));
    EXPECT_EQ(Receive(second), (Bytes{0x02, 0x03, 0x01, 0x01}));
    ::close(second);
    ::close(client);
    Passes(3);
    EXPECT_FALSE(ports.connected(ch));
    ASSERT_TRUE(hdlc.hdlc_transmit(out));
    EXPECT_EQ(ports.lost(ch), 1u);
    EXPECT_TRUE(hdlc.is_open());
}

TEST_F(SimLinesTest, TrunkPortTakesEmptyAndOverlongDatagramsWithoutHangingUp) {
    const int ch = Tdm::TrunkTimeSlot(1, 16);
    Sim::TrunkPorts ports(trunks);
    ASSERT_TRUE(ports.Open(dir, ch));
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc, ch);
    int client = Connect(dir + "/e1-1-16");
    Passes(2);
    ASSERT_TRUE(ports.connected(ch));
    const std::vector<unsigned char> huge(packet_max_size + 1, 0x55);
    ASSERT_EQ(::send(client, "", 0, 0), 0);
    ASSERT_EQ(::send(client, huge.data(), huge.size(), 0), static_cast<ssize_t>(huge.size()));
    ASSERT_EQ(::send(client, "\x02\x01\x7F", 3, 0), 3);
    Passes(3);
    EXPECT_TRUE(ports.connected(ch));
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{{0x02, 0x01, 0x7F}}));
    EXPECT_EQ(ports.empty(ch), 1u);
    EXPECT_EQ(ports.tooLong(ch), 1u);
    EXPECT_NE(err_.str().find("sim: trunk port " + dir + "/e1-1-16: datagram of 65537 octets longer than 65536, "
                              "dropped\n"),
              std::string::npos)
        << err_.str();
    ::close(client);
    Passes(3);
    EXPECT_FALSE(ports.connected(ch));
}

TEST_F(SimLinesTest, ADestroyedChannelGivesBackItsDescriptorsAtOnce) {
    auto descriptors = [] {
        std::size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) n += !entry.is_directory();
        return n;
    };
    const std::size_t before = descriptors();
    int tdm = -1;
    {
        HDLC hdlc;
        Activate(hdlc, Tdm::TrunkTimeSlot(3, 16));
        tdm = hdlc.controller_channel();
        ASSERT_NE(mcc.channel(tdm), nullptr);
    }
    EXPECT_EQ(mcc.channel(tdm), nullptr);
    EXPECT_EQ(descriptors(), before);
}

TEST_F(SimLinesTest, FaultKnobsActPerDirection) {
    const int ch = Tdm::TrunkTimeSlot(2, 16);
    FarEnd line;
    trunks.Attach(ch, &line);
    HDLC hdlc;
    Sink sink;
    hdlc.bind(&sink);
    Activate(hdlc, ch);
    auto& channel = *mcc.channel(hdlc.controller_channel());
    channel.tx.drop_nth = 2;
    channel.rx.duplicate_nth = 1;
    for (unsigned char i = 1; i <= 3; ++i) {
        Packet p = PacketOf({i});
        ASSERT_TRUE(hdlc.hdlc_transmit(p));  // a lost frame still left the daemon
        trunks.Arrive(ch, &i, 1);
    }
    Passes(2);
    EXPECT_EQ(line.frames, (std::vector<Bytes>{{1}, {3}}));
    EXPECT_EQ(sink.frames, (std::vector<Bytes>{{1}, {1}, {2}, {3}}));
    EXPECT_EQ(hdlc.statistics().txSU, 3u);

    channel.tx.Clear();
    channel.rx.Clear();
    channel.rx.drop_fraction = 1.0;
    channel.tx.drop_fraction = 0.5;
    line.frames.clear();
    for (int i = 0; i < 200; ++i) {
        unsigned char b = static_cast<unsigned char>(i);
        Packet p = PacketOf({b});
        hdlc.hdlc_transmit(p);
        trunks.Arrive(ch, &b, 1);
    }
    Passes(2);
    EXPECT_EQ(sink.frames.size(), 4u);  // nothing more came through
    EXPECT_GT(line.frames.size(), 50u);
    EXPECT_LT(line.frames.size(), 150u);
    trunks.Attach(ch, nullptr);
}

// pcapng as the writer lays it out: the link type of the first interface and
// the captured bytes of each enhanced packet block.
struct Capture {
    std::uint16_t link = 0;
    std::vector<Bytes> frames;
};

Capture ReadCapture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Bytes all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, &all[at], 4);
        return v;
    };
    Capture c;
    for (std::size_t at = 0; at + 12 <= all.size();) {
        std::uint32_t type = u32(at), length = u32(at + 4);
        if (length < 12 || at + length > all.size()) break;
        if (type == 1) std::memcpy(&c.link, &all[at + 8], 2);
        if (type == 6) {
            std::uint32_t captured = u32(at + 20);
            c.frames.emplace_back(all.begin() + at + 28, all.begin() + at + 28 + captured);
        }
        at += length;
    }
    return c;
}

TEST_F(SimLinesTest, CableJoinsTwoTrunksAndTheTapRecordsBothDirections) {
    const int a_ch = Tdm::TrunkTimeSlot(0, 16), b_ch = Tdm::TrunkTimeSlot(3, 16);
    ASSERT_TRUE(trunks.Cable(0, 3));
    EXPECT_FALSE(trunks.Cable(1, 1));
    EXPECT_FALSE(trunks.Cable(0, 4));
    EXPECT_EQ(trunks.cabled_to(3), 0);
    ASSERT_TRUE(trunks.Tap(a_ch, dir + "/ts16.pcapng", Sim::PcapngWriter::kLinkLapd));
    HDLC a, b;
    Sink sa, sb;
    a.bind(&sa);
    b.bind(&sb);
    Activate(a, a_ch);
    Activate(b, b_ch);
    Packet sabme = PacketOf({0x02, 0x01, 0x7F}), ua = PacketOf({0x02, 0x01, 0x73});
    ASSERT_TRUE(a.hdlc_transmit(sabme));
    Passes(2);
    ASSERT_TRUE(b.hdlc_transmit(ua));
    Passes(2);
    EXPECT_EQ(sb.frames, (std::vector<Bytes>{{0x02, 0x01, 0x7F}}));
    EXPECT_EQ(sa.frames, (std::vector<Bytes>{{0x02, 0x01, 0x73}}));
    EXPECT_EQ(trunks.left(a_ch), 1u);
    EXPECT_EQ(trunks.arrived(a_ch), 1u);
    trunks.Untap(a_ch);
    Capture c = ReadCapture(dir + "/ts16.pcapng");
    EXPECT_EQ(c.link, 203);
    EXPECT_EQ(c.frames, (std::vector<Bytes>{{0x02, 0x01, 0x7F}, {0x02, 0x01, 0x73}}));

    // Uncabled, nothing crosses.
    trunks.Uncable(3);
    EXPECT_EQ(trunks.cabled_to(0), -1);
    ASSERT_TRUE(a.hdlc_transmit(sabme));
    Passes(2);
    EXPECT_EQ(sb.frames.size(), 1u);
}

TEST_F(SimLinesTest, AProgramHangingUpCutsItsTrunkUntilOneConnectsAgain) {
    auto& framers = board.device<Sim::MaintenanceDevice>(Hardware::Maintenance::kPath);
    Sim::MaintenanceDevice::Status before;
    before.slips = 5;
    framers.SetStatus(1, before);
    ::setenv(Sim::LineSetup::kDir, dir.c_str(), 1);
    ::setenv(Sim::LineSetup::kPorts, "e1-1-16,bri-1-d", 1);
    std::ostringstream log;
    std::streambuf* saved = std::clog.rdbuf(log.rdbuf());
    Sim::LineSetup setup(trunks);
    EXPECT_TRUE(setup.FromEnvironment());
    std::clog.rdbuf(saved);
    ::unsetenv(Sim::LineSetup::kPorts);
    ::unsetenv(Sim::LineSetup::kDir);

    int client = Connect(dir + "/e1-1-16");
    int bri = Connect(dir + "/bri-1-d");
    Passes(2);
    EXPECT_EQ(framers.status(1).state, 0);
    ::close(bri);  // a basic-rate line has no E1 framer
    Passes(2);
    EXPECT_EQ(framers.status(1).state, 0);
    ::close(client);
    Passes(2);
    EXPECT_EQ(framers.status(1).state, 2);
    EXPECT_EQ(framers.status(1).lossCarrier, 1);
    EXPECT_EQ(framers.status(1).slips, 5);
    client = Connect(dir + "/e1-1-16");
    Passes(2);
    EXPECT_EQ(framers.status(1).state, 0);
    EXPECT_EQ(framers.status(1).lossCarrier, 0);
    ::close(client);
    Passes(2);
    framers.SetStatus(1, Sim::MaintenanceDevice::Status{});
}

TEST_F(SimLinesTest, EnvironmentSetsUpPortsCablesAndTapsOrNamesWhatIsWrong) {
    ::setenv(Sim::LineSetup::kDir, dir.c_str(), 1);
    ::setenv(Sim::LineSetup::kPorts, "e1-1-16,bri-2-d", 1);
    ::setenv(Sim::LineSetup::kCable, "1-2", 1);
    ::setenv(Sim::LineSetup::kTap, ("e1-1-16=mtp2:" + dir + "/mtp2.pcapng").c_str(), 1);
    {
        Sim::LineSetup setup(trunks);
        std::ostringstream log;
        std::streambuf* saved = std::clog.rdbuf(log.rdbuf());
        EXPECT_TRUE(setup.FromEnvironment());
        std::clog.rdbuf(saved);
        EXPECT_EQ(log.str(), "sim: 2 trunk ports in " + dir + "\n");
        EXPECT_EQ(::access((dir + "/e1-1-16").c_str(), F_OK), 0);
        EXPECT_EQ(::access((dir + "/bri-2-d").c_str(), F_OK), 0);
        EXPECT_EQ(trunks.cabled_to(1), 2);
        EXPECT_EQ(::access((dir + "/mtp2.pcapng").c_str(), F_OK), 0);
    }
    EXPECT_NE(::access((dir + "/e1-1-16").c_str(), F_OK), 0);  // the sockets go with their owner

    ::setenv(Sim::LineSetup::kPorts, "e1-9-16", 1);
    EXPECT_FALSE(Sim::LineSetup(trunks).FromEnvironment());
    ::unsetenv(Sim::LineSetup::kPorts);
    ::unsetenv(Sim::LineSetup::kDir);
    ::setenv(Sim::LineSetup::kCable, "0-0", 1);
    EXPECT_FALSE(Sim::LineSetup(trunks).FromEnvironment());
    ::unsetenv(Sim::LineSetup::kCable);
    ::setenv(Sim::LineSetup::kTap, "e1-0-16=q931:/tmp/x", 1);
    EXPECT_FALSE(Sim::LineSetup(trunks).FromEnvironment());
    ::unsetenv(Sim::LineSetup::kTap);
    EXPECT_EQ(err_.str(),
              "sim: TAMBORIL_TRUNK_PORTS: \"e1-9-16\" is no line channel\n"
              "sim: TAMBORIL_TRUNK_CABLE: \"0-0\" is no pair of trunks 0..3\n"
              "sim: TAMBORIL_TRUNK_TAP: \"e1-0-16=q931:/tmp/x\" is not <channel>=<lapd|mtp2>:<file>\n");
}

}  // namespace
