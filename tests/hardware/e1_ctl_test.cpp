// The E1 trunk status on the loop's manual clock: sent at connect and every second
// from then on, also after the controller left; a trunk whose read fails is skipped
// with its line while the others are still reported.
#include "hardware/e1_ctl.h"

#include <cerrno>

#include "hardware/sim/maintenance_device.h"
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
    EXPECT_EQ(4u, errors.count("E1: synchronization status read fail, trunk = 3 cause = Input/output error"));

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

}  // namespace
