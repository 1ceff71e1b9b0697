// The stream-socket layer over a socket pair: loss reports and bounded writes.
#include "core/strm_protocol.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sstream>
#include <thread>

#include <sys/time.h>

#include "core/errno_text.h"
#include "tests/core/control_service_test.h"
#include "tests/core/multiplexer_test.h"

using namespace testing_core;

namespace {

class Owner : public ProtocolsFamily {
public:
    Owner() { strm = static_cast<StrmProtocol*>(add_protocol_tail(new StrmProtocol)); }
    void on_message(Packet& p) override {
        const Packet& piece = p;
        received.append(reinterpret_cast<const char*>(piece.data()), piece.length());
    }
    void on_activated(Protocol*) override { active = true; }
    void on_deactivated(Protocol*, Protocol_status st) override {
        ++losses;
        status = st->message();
        success = st->success();
    }
    void send(const std::string& bytes) {
        Packet p;
        prepare_head(p);
        std::memcpy(p.put(static_cast<unsigned>(bytes.size())), bytes.data(), bytes.size());
        message(p);
    }
    StrmProtocol* strm;
    std::string received;
    bool active = false;
    int losses = 0;
    std::string status;
    bool success = true;
};

class StrmTest : public testing::Test {
protected:
    void SetUp() override {
        std::signal(SIGPIPE, SIG_IGN);
        NonBlockMode(pair.fd[0]);
        owner.strm->attach(Fd(pair.fd[0]));
        ::close(pair.fd[0]);
        pair.fd[0] = -1;
        owner.strm->service_name("test");
        owner.activate();
    }
    SocketPair pair;
    Owner owner;
    Runner run;
};

TEST(Strm, ActivationWithoutDescriptorReportsFdNotAttached) {
    Owner owner;
    owner.activate();
    EXPECT_FALSE(owner.active);
    EXPECT_EQ("fd not attached", owner.status);
    EXPECT_FALSE(owner.success);
}

TEST_F(StrmTest, ReadsPiecesAndWritesPackets) {
    EXPECT_TRUE(owner.active);
    ASSERT_EQ(3, ::write(pair.fd[1], "abc", 3));
    ASSERT_TRUE(run.until([&] { return owner.received == "abc"; }));
    owner.send("xyz");
    char buffer[8];
    ASSERT_EQ(3, ::read(pair.fd[1], buffer, sizeof(buffer)));
    EXPECT_EQ("xyz", std::string(buffer, 3));
}

TEST_F(StrmTest, StatusDumpShowsTheReadMeasureOfTheSocket) {
    for (const char* piece : {"ab", "c"}) {
        ASSERT_EQ(static_cast<ssize_t>(std::strlen(piece)), ::write(pair.fd[1], piece, std::strlen(piece)));
        const size_t want = owner.received.size() + std::strlen(piece);
        ASSERT_TRUE(run.until([&] { return owner.received.size() == want; }));
    }
    std::ostringstream os;
    multiplexer.dump(os);
    std::istringstream text(os.str());
    std::string row;
    for (std::string line; std::getline(text, line);)
        if (line.find("StrmProtocol::on_event") != std::string::npos) row = line;
    EXPECT_NE(std::string::npos, row.find(" counter=2 ")) << os.str();
    EXPECT_EQ(2u, owner.strm->get_read_measure().counter());
}

TEST_F(StrmTest, PeerCloseReportsAReadErrorAndReleasesTheDescriptor) {
    // The peer's end of stream without a hang-up: one read of 0 bytes.
    ::shutdown(pair.fd[1], SHUT_WR);
    ASSERT_TRUE(run.until([&] { return owner.losses == 1; }));
    EXPECT_EQ(0u, owner.status.rfind("read error: ", 0));
    EXPECT_FALSE(owner.success);
    EXPECT_FALSE(owner.strm->opened());
    owner.strm->release();  // a second release does nothing
    EXPECT_EQ(1, owner.losses);
}

TEST_F(StrmTest, HangUpWithDataWaitingIsALossWithoutReading) {
    ASSERT_EQ(3, ::write(pair.fd[1], "abc", 3));
    pair.close(1);
    ASSERT_TRUE(run.until([&] { return owner.losses == 1; }));
    EXPECT_EQ(0u, owner.status.rfind("pollhup: ", 0));
    EXPECT_EQ("", owner.received);
}

TEST_F(StrmTest, WriteToAClosedPeerIsCountedLoggedAndReported) {
    LineCapture errors(std::cerr);
    pair.close(1);
    owner.send("lost");
    EXPECT_EQ(1, owner.losses);
    EXPECT_EQ(
        "write error: " +
            [] {
                std::ostringstream os;
                os << Errno(EPIPE);
                return os.str();
            }(),
        owner.status);
    EXPECT_EQ(1u, owner.strm->GetOverflowCounter());
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ(0u, errors.lines()[0].text.rfind("SockStream[test]: write error, sendbuf=", 0));
}

TEST_F(StrmTest, FullSendBufferTimesOutAfterOneSecondInAll) {
    LineCapture errors(std::cerr);
    const int small = 4096;
    ::setsockopt(pair.fd[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    const uint32_t start = Mux::milliseconds();
    // The peer never reads, so some write of these must wait and give up.
    for (int i = 0; i < 64 && owner.losses == 0; ++i) owner.send(std::string(60000, 'w'));
    const uint32_t spent = Mux::milliseconds() - start;
    EXPECT_EQ(1, owner.losses);
    EXPECT_EQ("write timeout", owner.status);
    EXPECT_EQ(1u, owner.strm->GetOverflowCounter());
    EXPECT_GE(spent, 1000u);
    EXPECT_LT(spent, 1500u);
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ(0u, errors.lines()[0].text.rfind("SockStream[test]: write timeout, sendbuf=", 0));
    EXPECT_FALSE(owner.strm->opened());
}

// The wall clock as the system gives it, stepped five seconds further back at every read.
int ClockSteppingBack(Mux::timeval& tv) {
    static int32_t steps = 0;
    ::timeval now;
    ::gettimeofday(&now, nullptr);
    tv.tv_sec = static_cast<int32_t>(now.tv_sec) - 5 * ++steps;
    tv.tv_usec = static_cast<int32_t>(now.tv_usec);
    return 0;
}

TEST_F(StrmTest, WriteBoundHoldsWhenTheClockStepsBack) {
    LineCapture errors(std::cerr);
    const int small = 4096;
    ::setsockopt(pair.fd[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    Mux::ClockSource previous = Mux::set_clock_source(ClockSteppingBack);
    auto spent = std::chrono::steady_clock::duration::zero();
    for (int i = 0; i < 64 && owner.losses == 0; ++i) {
        const auto start = std::chrono::steady_clock::now();
        owner.send(std::string(60000, 'w'));
        spent = std::chrono::steady_clock::now() - start;
    }
    Mux::set_clock_source(previous);
    EXPECT_EQ("write timeout", owner.status);
    EXPECT_GE(spent, std::chrono::milliseconds(1000));
    EXPECT_LT(spent, std::chrono::milliseconds(1500));
}

TEST_F(StrmTest, DeactivationReleasesTheSocketAndReportsSuccess) {
    owner.deactivate();
    EXPECT_EQ(1, owner.losses);
    EXPECT_TRUE(owner.success);
    EXPECT_EQ("success", owner.status);
    EXPECT_FALSE(owner.strm->opened());
    char byte;
    EXPECT_EQ(0, ::read(pair.fd[1], &byte, 1));  // the peer sees the end of the stream
}

TEST_F(StrmTest, SendBufferThatDrainsWithinTheSecondCompletesTheWrite) {
    LineCapture errors(std::cerr);
    const int small = 8192;
    ::setsockopt(pair.fd[1], SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
    const std::string bytes(1000000, 'd');
    size_t total = 0;
    // The peer reads slowly, so the write waits for room many times.
    std::thread reader([&] {
        char buffer[16384];
        while (total < bytes.size()) {
            pollfd p{pair.fd[1], POLLIN, 0};
            if (::poll(&p, 1, 2000) != 1) break;
            const ssize_t n = ::read(pair.fd[1], buffer, sizeof(buffer));
            if (n <= 0) break;
            total += static_cast<size_t>(n);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (size_t at = 0; at < bytes.size(); at += 50000) owner.send(bytes.substr(at, 50000));
    reader.join();
    EXPECT_EQ(bytes.size(), total);
    EXPECT_EQ(0, owner.losses);
    EXPECT_EQ(0u, owner.strm->GetOverflowCounter());
    EXPECT_TRUE(errors.lines().empty());
    EXPECT_TRUE(owner.strm->opened());
}

}  // namespace
