// The bus self-test: a run may cross into the next bus but not past the switch's
// table; without /dev/hal the disconnect mode still answers success, with one
// line, and the read mode finds the idle reads and fails.
#include "hardware/hw_tests.h"

#include <cerrno>
#include <optional>

#include "hardware/hw_mux.h"
#include "hardware/sim/hal_device.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace ServerTest;

class HwTestsTest : public hardware_test::ServiceTest {
protected:
    std::vector<LGCP::Message> Run(int mode, int bus = 2, int start = 0, int length = 4) {
        LGCP::Message m = Command(
            [=](LGCP::Command& c) {
                LGCP::BpcTestParams& p = c.select_testBpc();
                p.set_bus(bus);
                p.set_seed(1);
                if (mode == 0) p.set_mode().select_read();
                if (mode == 1) p.set_mode().select_write();
                if (mode == 2) p.set_mode().select_disconnect();
                p.set_timeslot_start(start);
                p.set_timeslot_length(length);
            },
            true, 3);
        Bytes body = Encode(m);
        server.OnMessage(body.data(), static_cast<int>(body.size()));
        return link->Read();
    }

    std::optional<HwMux> mux;
    std::optional<HwTests> tests;
};

TEST_F(HwTestsTest, ARunMayCrossIntoTheNextBusButNotPastTheTable) {
    mux.emplace();
    tests.emplace(&*mux);
    Bind(*tests);
    Connect();
    Sim::HalDevice& hal = board.device<Sim::HalDevice>("/dev/hal");

    auto answers = Run(1, 1, 126, 4);
    ASSERT_EQ(1u, answers.size());
    EXPECT_TRUE(IsSuccess(answers[0]));
    EXPECT_EQ(Sim::HalDevice::Mode::constant, hal.mode(8448)) << "time slot 0 of bus 2 was written";
    EXPECT_EQ(Sim::HalDevice::Mode::disabled, hal.mode(8450));

    answers = Run(1, 15, 126, 3);
    ASSERT_EQ(1u, answers.size());
    EXPECT_TRUE(IsError(answers[0], LGCP::ErrorCause::invalidParams));
    EXPECT_EQ(Sim::HalDevice::Mode::disabled, hal.mode(10239));
}

TEST_F(HwTestsTest, WithoutTheSwitchDisconnectSucceedsAndReadFails) {
    board.SetOpenError("/dev/hal", ENOENT);
    mux.emplace();
    tests.emplace(&*mux);
    Bind(*tests);
    Connect();

    auto answers = Run(2);
    ASSERT_EQ(1u, answers.size());
    EXPECT_TRUE(IsSuccess(answers[0]) && HasSeq(answers[0], 3));
    EXPECT_EQ(1u, errors.count("bus 2: disconnect test: no switch, nothing disabled"));

    answers = Run(0);
    ASSERT_EQ(1u, answers.size());
    EXPECT_TRUE(IsError(answers[0], LGCP::ErrorCause::busError));
    EXPECT_EQ(1u, errors.count_prefix("bus 2: test failed on channel 0 expected "));
}

}  // namespace
