// The bus self-test without /dev/hal: the disconnect mode still answers success,
// with one line; the read mode finds the idle reads and fails.
#include "hardware/hw_tests.h"

#include <cerrno>
#include <optional>

#include "hardware/hw_mux.h"
#include "tests/hardware/service_fixture.h"

namespace {

using namespace ServerTest;

class HwTestsTest : public hardware_test::ServiceTest {
protected:
    std::vector<LGCP::Message> Run(int mode) {
        LGCP::Message m = Command(
            [mode](LGCP::Command& c) {
                LGCP::BpcTestParams& p = c.select_testBpc();
                p.set_bus(2);
                p.set_seed(1);
                if (mode == 0) p.set_mode().select_read();
                if (mode == 2) p.set_mode().select_disconnect();
                p.set_timeslot_start(0);
                p.set_timeslot_length(4);
            },
            true, 3);
        Bytes body = Encode(m);
        server.OnMessage(body.data(), static_cast<int>(body.size()));
        return link->Read();
    }

    std::optional<HwMux> mux;
    std::optional<HwTests> tests;
};

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
