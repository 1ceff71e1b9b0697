// The heartbeat on a driven loop clock: the silent controller is dropped 120 s after
// its last command, a pinging one stays, and no expiry outlives the connection.
#include "server/heartbeat_ctl.h"

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/multiplexer.h"
#include "server/ctrl_server.h"
#include "tests/server/server_test_util.h"

using namespace ServerTest;

namespace {

class DisconnectWatch : public CtrlSrv::Service {
public:
    void OnConnect() override {}
    void OnDisconnect() override {
        ++disconnects;
        at = Mux::milliseconds();
        multiplexer.terminate();
    }
    bool OnCommand(const LGCP::Command&) override {
        ++commands;
        return false;
    }
    int commands = 0;
    int disconnects = 0;
    uint32_t at = 0;
};

class HeartbeatTest : public testing::Test {
protected:
    static constexpr uint64_t kStart = 5000000;

    void SetUp() override {
        // Every poll looks without waiting and then moves the clock on by its time-out.
        multiplexer.set_poll([this](pollfd* fds, nfds_t count, int timeout) {
            if (++passes > 10000) multiplexer.terminate();
            uint32_t now = Mux::milliseconds();
            uint32_t left = static_cast<int32_t>(stopAt - now) > 0 ? stopAt - now : 0;
            if (timeout < 0 || static_cast<uint32_t>(timeout) >= left) {
                clock.advance_ms(left);
                multiplexer.terminate();
            } else {
                clock.advance_ms(static_cast<uint64_t>(timeout));
            }
            return ::poll(fds, count, 0);
        });
        server.Bind(&heartbeat);
        server.Bind(&watch);
        link = new FakeLink;
        ASSERT_TRUE(server.Activate(link));
    }
    void TearDown() override {
        server.Deactivate();
        multiplexer.set_poll({});
    }
    void Feed(const LGCP::Message& m) {
        Bytes body = Encode(m);
        server.OnMessage(body.data(), static_cast<int>(body.size()));
    }
    void RunUntil(uint32_t ms) {
        stopAt = ms;
        multiplexer.run(false, true);
    }

    Mux::ManualClock clock{kStart};
    HeartBeatCtl heartbeat;
    DisconnectWatch watch;
    CtrlSrv::Server server;
    FakeLink* link = nullptr;
    int passes = 0;
    uint32_t stopAt = 0;
};

TEST_F(HeartbeatTest, PingIsAnsweredByTheHeartbeatAndArmsIt) {
    Feed(Ping(true, 3, 9));
    auto out = link->Read();
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsSuccess(out[0]));
    EXPECT_TRUE(HasSeq(out[0], 3));
    EXPECT_TRUE(HasSlot(out[0], 9));
    EXPECT_TRUE(heartbeat.IsArmed());
    Feed(Ping());
    out = link->Read();
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsSuccess(out[0]));
    EXPECT_FALSE(out[0].seq_isPresent());
    EXPECT_FALSE(out[0].slot_isPresent());
    // The services after the heartbeat never see a ping.
    EXPECT_EQ(0, watch.commands);
}

TEST_F(HeartbeatTest, SilentControllerIsDroppedTwoMinutesAfterItsLastCommandWhateverTheWallClockDoes) {
    Feed(Command([](LGCP::Command& c) { c.select_query(); }, true, 1));
    uint32_t last = Mux::milliseconds();
    Capture log(std::clog);
    clock.step_wall_ms(-600 * 1000);
    RunUntil(last + 60000);
    EXPECT_EQ(0, watch.disconnects);
    clock.step_wall_ms(3600 * 1000);
    RunUntil(last + 200000);
    EXPECT_EQ(1, watch.disconnects);
    EXPECT_EQ(last + HeartBeatCtl::kTimeout, watch.at);
    EXPECT_EQ(1u, log.count("heartbeat timeout!!!\n"));
    EXPECT_FALSE(heartbeat.IsArmed());
}

TEST_F(HeartbeatTest, ClientThatNeverSendsIsDroppedTwoMinutesAfterConnect) {
    // Its kernel answering keep-alive probes must not let it hold the only connection.
    Capture log(std::clog);
    RunUntil(kStart + 1000000);
    EXPECT_EQ(1, watch.disconnects);
    EXPECT_EQ(kStart + HeartBeatCtl::kTimeout, watch.at);
    EXPECT_EQ(1u, log.count("heartbeat timeout!!!\n"));
}

TEST_F(HeartbeatTest, PingEveryMinuteKeepsTheControllerWhateverTheWallClockDoes) {
    for (int i = 0; i < 5; ++i) {
        Feed(Ping(true, i));
        clock.step_wall_ms(i % 2 == 0 ? 3600 * 1000 : -600 * 1000);
        RunUntil(Mux::milliseconds() + 60000);
        EXPECT_EQ(1u, link->Read().size());
    }
    EXPECT_EQ(0, watch.disconnects);
    EXPECT_TRUE(heartbeat.IsArmed());
}

TEST_F(HeartbeatTest, UndecodableFramesDoNotRearm) {
    Feed(Ping(true, 1));
    uint32_t last = Mux::milliseconds();
    RunUntil(last + 100000);
    Capture err(std::cerr);
    Bytes junk = Hex("FFFF");
    server.OnMessage(junk.data(), static_cast<int>(junk.size()));
    LGCP::Message signal;
    signal.set_pdu().select_signal().select_activated();
    Feed(signal);  // not a command: answered, but no heartbeat
    RunUntil(last + 200000);
    EXPECT_EQ(1, watch.disconnects);
    EXPECT_EQ(last + HeartBeatCtl::kTimeout, watch.at);
}

TEST_F(HeartbeatTest, DisconnectCancelsTheExpiry) {
    Feed(Ping());
    server.Deactivate();
    EXPECT_FALSE(heartbeat.IsArmed());
    EXPECT_EQ(1, watch.disconnects);
}

}  // namespace
