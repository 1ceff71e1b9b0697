// The simulation daemon's wall clock stepped under it (a first NTP sync, `date -s`)
// by a preloaded shim while a controller pings: no timer may take the step for
// elapsed time, so the controller and its slots stay.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstddef>

#include "tests/slots/commands.h"
#include "tests/slots/daemon_session.h"
#include "tests/slots/wall_clock_shim.h"

namespace {

using namespace DaemonSession;

constexpr int kSuccess = -1;

class ClockStepDaemon : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NamespaceAllowed()) GTEST_SKIP() << "no private mount namespace here";
        dir = TempDir("tmb-wall-");
        ASSERT_FALSE(dir.empty());
        fd = ::open((dir + "/shift").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_GE(fd, 0);
        wall_clock_shift zero{};
        ASSERT_EQ(::pwrite(fd, &zero, sizeof zero, 0), static_cast<ssize_t>(sizeof zero));
    }
    void TearDown() override {
        if (fd >= 0) ::close(fd);
        if (!dir.empty()) (void)std::system(("rm -rf '" + dir + "'").c_str());
    }

    void Step(int64_t seconds) {
        ASSERT_EQ(::pwrite(fd, &seconds, sizeof seconds, offsetof(wall_clock_shift, seconds)),
                  static_cast<ssize_t>(sizeof seconds));
    }
    uint32_t Reads() const {
        uint32_t reads = 0;
        ssize_t n = ::pread(fd, &reads, sizeof reads, offsetof(wall_clock_shift, reads));
        return n == static_cast<ssize_t>(sizeof reads) ? reads : 0;
    }

    // Pings every 100 ms for `ms`: the first answer other than success, or success.
    static int PingFor(Controller& controller, int ms) {
        auto ping = [](LGCP::Command& c) { c.select_ping(); };
        for (auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end; ::usleep(100000))
            if (int answer = controller.Command(0, ping, 3000); answer != kSuccess) return answer;
        return kSuccess;
    }

    std::string dir;
    int fd = -1;
};

TEST_F(ClockStepDaemon, WallClockStepsKeepTheControllerAndItsSlots) {
    Daemon daemon(TAMBORIL_SIM,
                  {{"LD_PRELOAD", TAMBORIL_WALL_CLOCK_SHIM}, {WALL_CLOCK_SHIFT_ENV, dir + "/shift"}});
    ASSERT_TRUE(daemon.WaitStarted()) << daemon.Err();
    Controller controller;
    ASSERT_TRUE(controller.Connect(daemon.port));
    auto trunk = [](unsigned timeslot) {
        return [=](LGCP::Command& c) { c.select_create(slot_test::TrunkParams(0, timeslot)); };
    };
    ASSERT_EQ(controller.Command(1, trunk(5)), kSuccess);
    ASSERT_EQ(controller.Command(2, trunk(6)), kSuccess);
    ASSERT_EQ(PingFor(controller, 500), kSuccess);

    // An hour ahead, then ten minutes back.
    for (auto [seconds, ms] : {std::pair<int64_t, int>{3600, 2000}, {3000, 600}}) {
        SCOPED_TRACE(seconds);
        uint32_t reads = Reads();
        ASSERT_NO_FATAL_FAILURE(Step(seconds));
        // The daemon's own timers (its connection check every second) wake it first: a
        // ping first would re-arm the heartbeat before any timer is looked at.
        ::usleep(1500 * 1000);
        ASSERT_EQ(PingFor(controller, ms), kSuccess) << daemon.Out() << daemon.Err();
        EXPECT_EQ((daemon.Out() + daemon.Err()).find("heartbeat timeout"), std::string::npos);
        // The daemon's clock calls go through the shim, whichever clock it reads.
        EXPECT_GT(Reads(), reads);
        // Both slots still there: a connect needs both.
        EXPECT_EQ(controller.Command(1, [](LGCP::Command& c) { c.select_connect(2); }), kSuccess);
    }
    EXPECT_EQ(controller.Command(1, [](LGCP::Command& c) { c.select_destroy(); }), kSuccess);
    EXPECT_TRUE(controller.responses.empty());
}

}  // namespace
