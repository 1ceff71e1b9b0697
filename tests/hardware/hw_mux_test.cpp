#include "hardware/hw_mux.h"

#include <fcntl.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/clock.h"
#include "core/multiplexer.h"
#include "core/timer.h"
#include "hardware/hal_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/hal_device.h"

namespace {

using Sim::HalDevice;
using Sim::Request;
namespace Hal = Hardware::Hal;
using Words = std::vector<std::int32_t>;

class HwMuxTest : public ::testing::Test {
protected:
    void SetUp() override {
        board.Reset();
        saved_ = std::clog.rdbuf(log_.rdbuf());
    }
    void TearDown() override {
        std::clog.rdbuf(saved_);
        board.Reset();
    }

    // Log lines written since the last call.
    std::vector<std::string> TakeLog() {
        std::vector<std::string> lines;
        std::string line;
        std::istringstream in(log_.str());
        while (std::getline(in, line)) lines.push_back(line);
        log_.str("");
        return lines;
    }

    // A switch already open, with the log and request record cleared.
    std::unique_ptr<HwMux> OpenMux() {
        auto mux = std::make_unique<HwMux>();
        EXPECT_TRUE(mux->IsOpened());
        TakeLog();
        board.ClearRequests();
        return mux;
    }

    std::vector<Request> Ioctls() const { return board.Requests(Request::Kind::ioctl); }

    Sim::Board& board = Sim::board();
    HalDevice& hal = board.device<HalDevice>("/dev/hal");

private:
    std::ostringstream log_;
    std::streambuf* saved_ = nullptr;
};

TEST_F(HwMuxTest, OpeningDisablesEveryBusOutputAndStartsTheRefresh) {
    hal.Drive(8192, 0x11);
    hal.Drive(10239, 0x22);
    HwMux mux;
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"hwMux: init", "hwMux: device opened"}));

    auto opens = board.Requests(Request::Kind::open);
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].device, "/dev/hal");
    EXPECT_EQ(fcntl(opens[0].result, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);

    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 2048u);
    for (int i = 0; i < 2048; ++i) {
        EXPECT_EQ(ioctls[i].number, Hal::MUX_DISABLE);
        EXPECT_EQ(ioctls[i].InWords(), Words{8192 + i});
        EXPECT_EQ(mux.output(i), HwMux::kDisabled);
    }
    EXPECT_EQ(hal.mode(8192), HalDevice::Mode::disabled);
    EXPECT_EQ(hal.mode(10239), HalDevice::Mode::disabled);
    EXPECT_TRUE(mux.refreshing());

    board.ClearRequests();
    EXPECT_TRUE(mux.IsOpened());  // already open: nothing issued
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(HwMuxTest, ConnectFeedsTheDestinationAndRecordsBusOutputs) {
    auto mux = OpenMux();
    ASSERT_TRUE(mux->Write(5, 0x42));
    board.ClearRequests();

    ASSERT_TRUE(mux->Connect(5, Tdm::BusChannel(3, 7)));
    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 1u);
    EXPECT_EQ(ioctls[0].number, Hal::MUX_CONNECT);
    EXPECT_EQ(ioctls[0].InWords(), (Words{8583, 5}));  // 8192 + 3 * 128 + 7
    EXPECT_EQ(mux->output(391), 5);
    EXPECT_EQ(hal.Carried(8583), 0x42);

    // A device-side destination touches no table entry.
    ASSERT_TRUE(mux->Connect(100, 50));
    EXPECT_EQ(Ioctls().back().InWords(), (Words{50, 100}));
    for (int i = 0; i < 2048; ++i) {
        if (i != 391) {
            EXPECT_EQ(mux->output(i), HwMux::kDisabled) << i;
        }
    }
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(HwMuxTest, DisconnectIdlesWithD5DisableAndWriteSetTheirMarks) {
    auto mux = OpenMux();
    ASSERT_TRUE(mux->Disconnect(8200));
    ASSERT_TRUE(mux->Disable(8201));
    ASSERT_TRUE(mux->Write(8202, 0xA7));
    ASSERT_TRUE(mux->Disconnect(7));  // device-side: no entry

    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 4u);
    EXPECT_EQ(ioctls[0].number, Hal::MUX_WRITE);
    EXPECT_EQ(ioctls[0].InWords(), (Words{8200, 0xD5}));
    EXPECT_EQ(ioctls[1].number, Hal::MUX_DISABLE);
    EXPECT_EQ(ioctls[1].InWords(), Words{8201});
    EXPECT_EQ(ioctls[2].number, Hal::MUX_WRITE);
    EXPECT_EQ(ioctls[2].InWords(), (Words{8202, 0xA7}));
    EXPECT_EQ(ioctls[3].InWords(), (Words{7, 0xD5}));

    EXPECT_EQ(mux->output(8), HwMux::kIdle);
    EXPECT_EQ(mux->output(9), HwMux::kDisabled);
    EXPECT_EQ(mux->output(10), HwMux::kIdle);
    EXPECT_EQ(hal.Carried(8200), 0xD5);
    EXPECT_EQ(hal.mode(8201), HalDevice::Mode::disabled);
    EXPECT_TRUE(TakeLog().empty());
}

TEST_F(HwMuxTest, ReadReturnsTheCarriedByteAndLeavesTheTable) {
    auto mux = OpenMux();
    ASSERT_TRUE(mux->Write(8330, 0x5A));
    board.ClearRequests();
    EXPECT_EQ(mux->Read(8330), 0x5A);
    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 1u);
    EXPECT_EQ(ioctls[0].number, Hal::MUX_READ);
    EXPECT_EQ(ioctls[0].InWords(), (Words{8330, 255}));
    EXPECT_EQ(mux->output(138), HwMux::kIdle);

    EXPECT_EQ(mux->Read(8331), 0xFF);  // disabled output
    EXPECT_EQ(mux->output(139), HwMux::kDisabled);
}

TEST_F(HwMuxTest, RefreshReDisablesOutputsTheBoardEnabledAgain) {
    auto mux = OpenMux();
    ASSERT_TRUE(mux->Disable(8200));
    ASSERT_TRUE(mux->Disconnect(8300));
    hal.Drive(8200, 0x33);  // the board enables both behind our back
    hal.Drive(8300, 0x44);
    board.ClearRequests();

    // The first pass after opening starts at output 1 and covers 128 outputs,
    // all but the idle one.
    mux->OnDPC();
    auto first = Ioctls();
    ASSERT_EQ(first.size(), 127u);
    EXPECT_EQ(first.front().InWords(), Words{8193});
    EXPECT_EQ(first.back().InWords(), Words{8320});
    for (const Request& r : first) EXPECT_EQ(r.number, Hal::MUX_DISABLE);
    EXPECT_EQ(hal.mode(8200), HalDevice::Mode::disabled);

    // A full sweep takes 16 passes and skips the idle output.
    for (int pass = 1; pass < 16; ++pass) mux->OnDPC();
    auto sweep = Ioctls();
    EXPECT_EQ(sweep.size(), 2047u);
    for (const Request& r : sweep) EXPECT_NE(r.InWord(0), 8300);
    EXPECT_EQ(sweep.back().InWords(), Words{8192});  // wrapped to output 0
    EXPECT_EQ(hal.Carried(8300), 0x44);
    EXPECT_TRUE(TakeLog().empty());  // refresh results are not logged
}

// The refresh rides on the loop: every pass re-disables the next outputs.
TEST_F(HwMuxTest, RefreshRunsOnEveryPassOfTheLoop) {
    auto mux = OpenMux();
    ASSERT_TRUE(mux->Disable(8200));
    board.ClearRequests();

    // Something for the loop to wait on, so that it does not take itself for hung.
    struct Idle {
        void OnTimer() {}
    } idle;
    Mux::ManualClock clock{1000000};
    Timer far;
    far.set(3600000, &Idle::OnTimer, &idle);

    std::vector<std::size_t> per_pass;
    multiplexer.set_poll([&](pollfd*, nfds_t, int) {
        per_pass.push_back(Ioctls().size());
        if (per_pass.size() == 40) multiplexer.terminate();
        if (per_pass.size() <= 5) hal.Drive(8200, 0x77);  // the board enables it again
        return 0;
    });
    multiplexer.run(false, true);
    multiplexer.set_poll({});

    ASSERT_EQ(per_pass.size(), 40u);
    // Each pass issued the same, non-zero multiple of the 128 requests of a refresh call.
    std::size_t first = per_pass[0];
    ASSERT_GT(first, 0u);
    EXPECT_EQ(first % 128, 0u);
    for (std::size_t i = 1; i < per_pass.size(); ++i) EXPECT_EQ(per_pass[i] - per_pass[i - 1], first) << i;
    for (const Request& r : Ioctls()) EXPECT_EQ(r.number, Hal::MUX_DISABLE);
    // The last 35 passes swept the bus at least twice: the output is disabled again.
    EXPECT_EQ(hal.mode(8200), HalDevice::Mode::disabled);

    // Without a refresh the board's change would stand: the loop stops calling once destroyed.
    mux.reset();
    EXPECT_EQ(board.OpenCount("/dev/hal"), 0u);
}

TEST_F(HwMuxTest, ReDisableHappensWithinSixteenPassesWhereverTheCursorIs) {
    auto mux = OpenMux();
    for (int pass = 0; pass < 5; ++pass) mux->OnDPC();
    ASSERT_TRUE(mux->Disable(8200));
    hal.Drive(8200, 0x33);
    board.ClearRequests();
    int passes = 0;
    while (hal.mode(8200) != HalDevice::Mode::disabled && passes < 16) {
        mux->OnDPC();
        ++passes;
    }
    EXPECT_LE(passes, 16);
    EXPECT_EQ(hal.mode(8200), HalDevice::Mode::disabled);
}

TEST_F(HwMuxTest, NegativeAndUnheldChannelsAreRefusedWithoutRequest) {
    auto mux = OpenMux();
    EXPECT_EQ(mux->Read(-1), 255);
    EXPECT_FALSE(mux->Connect(-1, 9000));
    EXPECT_FALSE(mux->Disconnect(-1));
    EXPECT_FALSE(mux->Disable(-5));
    EXPECT_FALSE(mux->Write(-1, 1));
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"hwMux: ERROR not opened"});

    // Channels above the shared bus lie outside the table: refused, not recorded.
    EXPECT_FALSE(mux->Connect(5, 10240));
    EXPECT_FALSE(mux->Connect(10240, 8192));
    EXPECT_FALSE(mux->Disconnect(10240));
    EXPECT_FALSE(mux->Disable(70000));
    EXPECT_FALSE(mux->Write(10240, 1));
    EXPECT_EQ(mux->Read(10240), 255);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"hwMux: connect 5 -> 10240 refused: no such channel",
                                                   "hwMux: connect 10240 -> 8192 refused: no such channel"}));
    EXPECT_TRUE(board.requests().empty());
    EXPECT_EQ(mux->output(0), HwMux::kDisabled);
}

TEST_F(HwMuxTest, FailedRequestsAreLoggedAndKeepTheTableEntry) {
    auto mux = OpenMux();
    board.FailRequest("/dev/hal", Hal::MUX_CONNECT, EIO);
    board.FailRequest("/dev/hal", Hal::MUX_WRITE, EBUSY, 2);
    board.FailRequest("/dev/hal", Hal::MUX_DISABLE, EINVAL);
    board.FailRequest("/dev/hal", Hal::MUX_READ, ENODEV);

    EXPECT_FALSE(mux->Connect(5, 8575));
    EXPECT_FALSE(mux->Disconnect(8200));
    EXPECT_FALSE(mux->Write(8201, 0x0A));
    EXPECT_FALSE(mux->Disable(8202));
    EXPECT_EQ(mux->Read(8203), 255);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                             "hwMux: connect 5 -> 8575 failed: Input/output error",
                             "hwMux: disconnect failed 8200 : Device or resource busy",
                             "hwMux: write failed 8201 <- 0xa : Device or resource busy",
                             "hwMux: disable failed 8202 : Invalid argument",
                             "hwMux: read failed 8203 -> 0xff : No such device",
                         }));
    EXPECT_EQ(mux->output(383), 5);
    EXPECT_EQ(mux->output(8), HwMux::kIdle);
    EXPECT_EQ(mux->output(9), HwMux::kIdle);
    EXPECT_EQ(mux->output(10), HwMux::kDisabled);
    EXPECT_EQ(Ioctls().size(), 5u);  // each issued once, none retried
}

TEST_F(HwMuxTest, MissingDeviceFailsEveryCallAndReadsGive255) {
    board.SetOpenError("/dev/hal", ENOENT);
    HwMux mux;
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{"hwMux: init",
                                                   "hwMux: can't open device: No such file or directory"}));
    EXPECT_FALSE(mux.refreshing());

    const std::string failed = "hwMux: can't open device: No such file or directory";
    EXPECT_FALSE(mux.Connect(1, 8192));
    EXPECT_EQ(TakeLog(), (std::vector<std::string>{failed, "hwMux: ERROR not opened"}));
    EXPECT_FALSE(mux.Disconnect(8192));
    EXPECT_FALSE(mux.Disable(8192));
    EXPECT_FALSE(mux.Write(8192, 1));
    EXPECT_EQ(mux.Read(8192), 255);
    EXPECT_EQ(TakeLog(), (std::vector<std::string>(4, failed)));

    mux.OnDPC();  // nothing to refresh without a device
    EXPECT_TRUE(Ioctls().empty());
    EXPECT_EQ(board.Requests(Request::Kind::open).size(), 6u);  // every call tried again
    EXPECT_FALSE(mux.refreshing());
}

TEST_F(HwMuxTest, FailedOpenIsRetriedByTheNextCall) {
    board.SetOpenError("/dev/hal", EACCES);
    HwMux mux;
    EXPECT_EQ(TakeLog().back(), "hwMux: can't open device: Permission denied");

    board.SetOpenError("/dev/hal", 0);
    board.ClearRequests();
    EXPECT_TRUE(mux.Disable(8200));
    EXPECT_EQ(TakeLog(), std::vector<std::string>{"hwMux: device opened"});
    auto ioctls = Ioctls();
    ASSERT_EQ(ioctls.size(), 2049u);  // the opening sweep, then the call itself
    EXPECT_EQ(ioctls.back().InWords(), Words{8200});
    EXPECT_TRUE(mux.refreshing());
    EXPECT_EQ(board.Requests(Request::Kind::open).size(), 1u);
}

TEST_F(HwMuxTest, DestructionClosesTheDevice) {
    {
        HwMux mux;
        EXPECT_EQ(board.OpenCount("/dev/hal"), 1u);
    }
    EXPECT_EQ(board.OpenCount("/dev/hal"), 0u);
}

}  // namespace
