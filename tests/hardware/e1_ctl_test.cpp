// The E1 trunk status on the loop's manual clock: sent at connect and every second
// from then on, also after the controller left; a trunk whose read fails is skipped
// with its line while the others are still reported.
#include "hardware/e1_ctl.h"

#include <poll.h>

#include <array>
#include <cerrno>
#include <string>
#include <vector>

#include "hardware/sim/cas_device.h"
#include "hardware/sim/maintenance_device.h"
#include "tests/core/lasting_lines.h"
#include "tests/hardware/service_fixture.h"

namespace {

using hardware_test::Relayed;
using Sim::MaintenanceDevice;

class E1CtlTest : public hardware_test::ServiceTest {
protected:
    void SetUp() override {
        ServiceTest::SetUp();
        Bind(e1);
    }
    // The trunks of the signals relayed at each loop time, in order.
    static std::vector<std::pair<uint32_t, std::vector<int>>> Ticks(const std::vector<Relayed>& seen) {
        std::vector<std::pair<uint32_t, std::vector<int>>> out;
        for (const Relayed& r : seen) {
            if (out.empty() || out.back().first != r.ms) out.push_back({r.ms, {}});
            out.back().second.push_back(r.signal.get_trunkStatus().get_trunk().getValue());
        }
        return out;
    }

    MaintenanceDevice& maintenance = board.device<MaintenanceDevice>("/dev/maintenance");
    E1Ctl e1;
};

TEST_F(E1CtlTest, StatusOfEveryTrunkAtConnectAndEachSecondEvenAfterTheControllerLeft) {
    maintenance.SetStatus(1, {3, 2, 4, 5, 6, 7});
    maintenance.SetStatus(2, {9, 0, 0, 0, 0, 0});  // no state the signal can carry
    maintenance.FailStatus(3, EIO);
    RunFor(5000);
    EXPECT_TRUE(tap.Take().empty()) << "nothing before the first controller";

    Connect();
    const uint32_t start = Mux::milliseconds();
    RunFor(3000);
    std::vector<Relayed> seen = tap.Take();
    const std::vector<int> reported{0, 1, 2};
    using Tick = std::pair<uint32_t, std::vector<int>>;
    EXPECT_EQ(
        (std::vector<Tick>{
            {start, reported}, {start + 1000, reported}, {start + 2000, reported}, {start + 3000, reported}}),
        Ticks(seen));
    const std::string fail = "E1: synchronization status read fail, trunk = 3 cause = Input/output error";
    EXPECT_EQ(1u, errors.count_prefix(fail)) << "a lasting condition: its first line";

    ASSERT_FALSE(seen.empty());
    const ACP::TrunkStatus& one = seen[1].signal.get_trunkStatus();
    EXPECT_EQ(ACP::TrunkState::ais, one.get_state());
    EXPECT_EQ(2, one.get_slips().getValue());
    EXPECT_EQ(4, one.get_lossBF().getValue());
    EXPECT_EQ(5, one.get_lossCarrier().getValue());
    EXPECT_EQ(6, one.get_lossAIS().getValue());
    EXPECT_EQ(7, one.get_lossRAI().getValue());
    EXPECT_EQ(ACP::TrunkType::e1, one.get_type());
    EXPECT_FALSE(one.get_clockMaster());
    EXPECT_EQ(ACP::TrunkState::unknown, seen[2].signal.get_trunkStatus().get_state());
    // The controller saw them too.
    EXPECT_EQ(12u, link->Read().size());

    // Trunk 3 reads again; the controller leaves and the other services still hear.
    maintenance.FailStatus(3, 0);
    Leave();
    tap.Take();
    const uint32_t left = Mux::milliseconds();
    RunFor(2000);
    seen = tap.Take();
    ASSERT_EQ(8u, seen.size());
    EXPECT_EQ(3, seen[3].signal.get_trunkStatus().get_trunk().getValue());
    EXPECT_LE(seen.back().ms - left, 2000u);
    EXPECT_TRUE(e1.IsPolling());
    EXPECT_EQ(1u, errors.count_prefix(fail + " (ended; 3 more like it suppressed since the last line;"));
}

// Left alone for an hour, with trunk 3's status unreadable: each lasting condition
// writes its first line and a reminder every ten minutes, and its count when it ends.
TEST_F(E1CtlTest, AnHourWithoutAControllerAndAFailingTrunkWritesAFewLinesAndTheCountsAtTheEnds) {
    maintenance.FailStatus(3, EIO);
    Connect();
    Leave();
    tap.Take();
    RunFor(3600 * 1000);
    size_t unsent = tap.Take().size();
    EXPECT_GE(unsent, 3u * 3599);
    size_t failed = 0;
    for (const auto& r : board.Requests(Sim::Request::Kind::ioctl))
        failed += r.device == "/dev/maintenance" && r.number == Hardware::Maintenance::E1_GET_STATUS &&
                  r.InWords()[0] == 3;
    maintenance.FailStatus(3, 0);
    RunFor(1000);
    unsent += tap.Take().size();
    ASSERT_TRUE(link->Activate());  // the next controller

    const std::string fail = "E1: synchronization status read fail, trunk = 3 cause = Input/output error";
    const std::string ignored = "Control::Service::Send() ignore Send request in Connecting state.";
    for (const auto& [text, occurrences] : {std::pair{fail, failed}, std::pair{ignored, unsent}}) {
        const ConditionLines c = Account(errors.texts(), text);
        EXPECT_LE(c.written, 7u) << text;
        EXPECT_TRUE(c.ended) << text;
        EXPECT_EQ(occurrences, c.counted) << text;
    }
    // Nothing else but the line of the loss.
    EXPECT_EQ(1u, errors.count("control connection 10.1.2.3:4000 closed."));
    EXPECT_LE(errors.lines().size(), 1u + 2 * 8) << testing::PrintToString(errors.texts());
}

std::string ReadFail(int trunk, const char* cause) {
    return "E1: synchronization status read fail, trunk = " + std::to_string(trunk) + " cause = " + cause;
}

// Every trunk's status read fails on every other tick for an hour: at most eight lines
// a trunk, which count every failed read.
TEST_F(E1CtlTest, TrunksThatFailEveryOtherTickForAnHourWriteEightLinesEachAndCountEveryFailure) {
    Connect();
    for (int tick = 0; tick < 3600; ++tick) {
        for (int trunk = 0; trunk < 4; ++trunk) maintenance.FailStatus(trunk, tick % 2 == 0 ? EIO : 0);
        RunFor(1000);
        link->Read();  // the controller keeps up
    }
    Leave();
    RunFor(600 * 1000);  // the last counts, written once the failures stay away
    std::array<uint64_t, 4> failed{};
    for (const auto& r : board.Requests(Sim::Request::Kind::ioctl))
        if (r.number == Hardware::Maintenance::E1_GET_STATUS && r.error != 0) ++failed.at(r.InWords()[0]);
    for (int trunk = 0; trunk < 4; ++trunk) {
        EXPECT_LE(errors.count_prefix(ReadFail(trunk, "")), 8u) << trunk;
        const ConditionLines c = Account(errors.texts(), ReadFail(trunk, "Input/output error"));
        EXPECT_EQ(1800u, failed[trunk]) << trunk;
        EXPECT_EQ(failed[trunk], c.counted) << trunk;
        EXPECT_TRUE(c.ended) << trunk;
    }
}

TEST_F(E1CtlTest, ACauseThatChangesIsWrittenAtOnceAndEndsTheLast) {
    Connect();
    maintenance.FailStatus(0, EIO);
    RunFor(2000);
    maintenance.FailStatus(0, ETIMEDOUT);
    RunFor(1000);
    EXPECT_EQ(errors.texts(),
              (std::vector<std::string>{
                  ReadFail(0, "Input/output error"),
                  ReadFail(0, "Input/output error") +
                      " (ended; 1 more like it suppressed since the last line; it lasted 2.0 s, 2 in all)",
                  ReadFail(0, "Connection timed out")}));
}

TEST_F(E1CtlTest, WithoutTheMaintenanceDeviceNothingIsSentAndTheNextTickTriesAgain) {
    board.SetOpenError("/dev/maintenance", ENOENT);
    Connect();
    RunFor(1500);
    EXPECT_TRUE(tap.Take().empty());
    EXPECT_EQ(0u, errors.count_prefix("E1: "));
    board.SetOpenError("/dev/maintenance", 0);
    RunFor(1000);
    EXPECT_EQ(4u, tap.Take().size());
}

// The driver reports POLLERR on the CAS device at every poll, with no change record to
// read: the device rests between polls, stays open and writes one line; the record that
// comes once the driver recovers is read and ends the condition.
TEST_F(E1CtlTest, CasDeviceInErrorWithoutRecordsRestsBetweenPollsWithOneLine) {
    Sim::CasDevice& cas = board.device<Sim::CasDevice>(Hardware::Cas::kPath);
    short fault = POLLERR;
    StickBits([&](int fd) -> short { return board.DeviceOf(fd) == &cas ? fault : 0; });
    Connect();
    LGCP::CasCommand open;
    open.set_channel().set_path(2);
    open.ref_channel().set_timeslot(7);
    open.set_cmd().select_open(1);
    e1.HandleCas(open);
    ASSERT_TRUE(e1.IsCasOpen());
    ExpectNoSpinFor2s();
    EXPECT_TRUE(e1.IsCasOpen());
    const std::string line = "E1: cas interface reports POLLERR without data: polled again every 100 ms";
    EXPECT_EQ(1u, errors.count(line));

    fault = 0;
    tap.Take();
    ASSERT_EQ(1, cas.FarEnd(2, 7, 0x5));
    PassesIn(200);
    size_t changes = 0;
    for (const Relayed& r : tap.Take())
        changes += r.signal.cas_isSelected() && r.signal.get_cas().get_rx().getValue() == 0x5;
    EXPECT_EQ(1u, changes);
    const ConditionLines c = Account(errors.texts(), line);
    EXPECT_EQ(1u, c.written);
    EXPECT_TRUE(c.ended);
}

}  // namespace
