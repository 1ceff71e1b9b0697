// The SPI framer channels: start-up and clock-master register writes, the status
// register's mapping to trunk states and slips on the loop's manual clock, and a
// /dev/hal without SPI, which turns the service off for good.
#include "hardware/spi_ctrl.h"

#include <cerrno>
#include <optional>
#include <vector>

#include "hardware/hal_requests.h"
#include "hardware/sim/hal_device.h"
#include "tests/core/lasting_lines.h"
#include "tests/hardware/service_fixture.h"

namespace {

namespace Hal = Hardware::Hal;
using Sim::HalDevice;
using Sim::Request;
using Write = std::vector<int>;  // {channel, register, data}

class SpiCtrlTest : public hardware_test::ServiceTest {
protected:
    std::vector<Write> SpiWrites() const {
        std::vector<Write> out;
        for (const Request& r : board.Requests(Request::Kind::ioctl))
            if (r.number == Hal::SPI_WRITE) out.push_back({r.in[0], r.in[1], r.in[2]});
        return out;
    }
    size_t SpiRequests() const {
        size_t n = 0;
        for (const Request& r : board.Requests(Request::Kind::ioctl))
            n += r.number == Hal::SPI_WRITE || r.number == Hal::SPI_READ;
        return n;
    }
    std::vector<int> States() {
        std::vector<int> out;
        for (const auto& r : tap.Take()) out.push_back(r.signal.get_trunkStatus().get_state());
        return out;
    }
    std::vector<int> Slips() {
        std::vector<int> out;
        for (const auto& r : tap.Take()) out.push_back(r.signal.get_trunkStatus().get_slips().getValue());
        return out;
    }

    HalDevice& hal = board.device<HalDevice>("/dev/hal");
    // Bound services must outlive the server's last disconnect in TearDown.
    std::optional<spiCtrl> spi;
};

TEST_F(SpiCtrlTest, StartUpClockMasterAndShutDownWriteTheRegistersInOrder) {
    spi.emplace();
    std::vector<Write> writes = SpiWrites();
    ASSERT_EQ(7u * 8u, writes.size());
    EXPECT_EQ((std::vector<Write>{{0, 50, 0x80},
                                  {0, 48, 0x08},
                                  {0, 87, 0x30},
                                  {0, 52, 0x60},
                                  {0, 53, 0},
                                  {0, 54, 0},
                                  {0, 55, 0},
                                  {0, 50, 0}}),
              std::vector<Write>(writes.begin(), writes.begin() + 8));
    EXPECT_EQ(Write({6, 50, 0}), writes.back());
    EXPECT_EQ(0, hal.spi().Writes(7)) << "the last channel is left as it is";

    board.ClearRequests();
    spi->clock(3);
    writes = SpiWrites();
    ASSERT_EQ(9u, writes.size());
    for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(Write({ch, 87, 0x30}), writes[ch]);
    EXPECT_EQ(Write({3, 87, 0x38}), writes[8]);
    board.ClearRequests();
    spi->clock(8);
    EXPECT_TRUE(SpiWrites().empty());
    EXPECT_EQ(1u, log.count("spi: bad channel for set clock master 8"));

    spi.reset();
    writes = SpiWrites();
    ASSERT_EQ(16u, writes.size());
    for (int ch = 0; ch < 8; ++ch) EXPECT_EQ(Write({ch, 50, 0x80}), writes[ch]);
    EXPECT_EQ(Write({7, 87, 0x30}), writes.back());
}

TEST_F(SpiCtrlTest, StatusRegisterGivesTheStateAndASlipOncePerRiseOnItsChannel) {
    spi.emplace();
    Bind(*spi);
    const std::uint8_t values[8] = {0xC5, 0x85, 0x45, 0x01, 0x00, 0xE5, 0xE5, 0xC5};
    for (int ch = 0; ch < 8; ++ch) hal.spi().SetStatus(ch, values[ch]);
    Connect();
    EXPECT_TRUE(tap.Take().empty()) << "the first pass is a second after connect";
    RunFor(1000);
    std::vector<hardware_test::Relayed> seen = tap.Take();
    ASSERT_EQ(8u, seen.size());
    const std::vector<int> states{ACP::TrunkState::normal,      ACP::TrunkState::rai,
                                  ACP::TrunkState::ais,         ACP::TrunkState::lossBF,
                                  ACP::TrunkState::lossCarrier, ACP::TrunkState::normal,
                                  ACP::TrunkState::normal,      ACP::TrunkState::normal};
    for (int ch = 0; ch < 8; ++ch) {
        const ACP::TrunkStatus& s = seen[ch].signal.get_trunkStatus();
        EXPECT_EQ(ch, s.get_trunk().getValue());
        EXPECT_EQ(states[ch], s.get_state()) << ch;
        EXPECT_EQ(ch == 5 || ch == 6 ? 1 : 0, s.get_slips().getValue()) << ch;
        EXPECT_EQ(ACP::TrunkType::bri, s.get_type());
    }
    RunFor(1000);
    EXPECT_EQ(std::vector<int>(8, 0), Slips()) << "the slip bit stayed set";
    hal.spi().SetStatus(5, 0xC5);
    RunFor(1000);
    tap.Take();
    hal.spi().SetStatus(5, 0xE5);
    RunFor(1000);
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, 0, 1, 0, 0}), Slips());

    Leave();
    EXPECT_FALSE(spi->IsPolling());
    RunFor(3000);
    EXPECT_TRUE(tap.Take().empty());
}

TEST_F(SpiCtrlTest, AStatusRegisterThatCannotBeReadIsOneConditionPerChannelUntilItReadsAgain) {
    spi.emplace();
    Bind(*spi);
    Connect();
    board.FailRequest("/dev/hal", Hal::SPI_READ, EIO, 5 * spiCtrl::kChannels);
    RunFor(5000);
    EXPECT_EQ(std::vector<int>(5 * spiCtrl::kChannels, ACP::TrunkState::lossCarrier), States());
    for (int ch = 0; ch < spiCtrl::kChannels; ++ch)
        EXPECT_EQ(1u, log.count("spi: read error: channel=" + std::to_string(ch) + " addr=51")) << ch;
    RunFor(1000);
    EXPECT_EQ(std::vector<int>(spiCtrl::kChannels, ACP::TrunkState::lossCarrier), States())
        << "status 0 again";
    for (int ch = 0; ch < spiCtrl::kChannels; ++ch)
        EXPECT_EQ(1u, log.count_prefix("spi: read error: channel=" + std::to_string(ch) +
                                       " addr=51 (ended; 4 more like it suppressed since the last line;"))
            << ch;
    EXPECT_EQ(2u * spiCtrl::kChannels, log.count_prefix("spi: read error"));
}

// Every register read fails on every other tick for an hour: each channel's condition
// comes and goes 1800 times in at most eight lines that count every failure.
TEST_F(SpiCtrlTest, ARegisterThatFailsEveryOtherReadForAnHourIsAtMostEightLinesPerChannel) {
    spi.emplace();
    Bind(*spi);
    Connect();
    for (int tick = 0; tick < 3600; ++tick) {
        if (tick % 2 == 0) board.FailRequest("/dev/hal", Hal::SPI_READ, EIO, spiCtrl::kChannels);
        RunFor(1000);
        link->Read();  // the controller keeps up
    }
    Leave();
    spi.reset();  // writes what the conditions hold
    for (int ch = 0; ch < spiCtrl::kChannels; ++ch) {
        const std::string text = "spi: read error: channel=" + std::to_string(ch) + " addr=51";
        EXPECT_LE(log.count_prefix(text), 8u) << ch;
        const ConditionLines c = Account(log.texts(), text);
        EXPECT_EQ(1800u, c.counted) << ch;
        EXPECT_TRUE(c.ended) << ch;
    }
}

TEST_F(SpiCtrlTest, HalWithoutSpiTurnsTheServiceOffForGood) {
    spi.emplace();
    Bind(*spi);
    Connect();
    hal.spi().SetAbsent(true);
    RunFor(3000);
    EXPECT_TRUE(tap.Take().empty()) << "no lost carrier reported for a missing bus";
    EXPECT_EQ(1u, log.count("spi: hal without spi"));
    EXPECT_FALSE(spi->IsAvailable());
    EXPECT_FALSE(spi->IsPolling());

    hal.spi().SetAbsent(false);
    board.ClearRequests();
    spi->clock(2);
    spi->enable_channel(1);
    Leave();
    Connect();
    RunFor(2000);
    EXPECT_EQ(0u, SpiRequests());
    EXPECT_TRUE(tap.Take().empty());
    EXPECT_EQ(1u, log.count("spi: hal without spi"));
}

TEST_F(SpiCtrlTest, OnlyChannelOperationsOpenTheDeviceAndAConnectPollsAnOpenOne) {
    board.SetOpenError("/dev/hal", ENOENT);
    spi.emplace();
    Bind(*spi);
    Connect();
    EXPECT_FALSE(spi->IsPolling());
    board.SetOpenError("/dev/hal", 0);
    Leave();
    Connect();
    EXPECT_FALSE(spi->IsPolling()) << "a connect opens nothing";
    EXPECT_EQ(1u, log.count("spi: try init"));
    RunFor(2000);
    EXPECT_TRUE(tap.Take().empty());

    spi->clock(-1);
    EXPECT_TRUE(spi->IsOpen());
    EXPECT_EQ(2u, log.count("spi: try init"));
    EXPECT_EQ(1u, log.count("spi: /dev/hal open fail"));
    Leave();
    Connect();
    EXPECT_TRUE(spi->IsPolling());
    RunFor(1000);
    EXPECT_EQ(8u, tap.Take().size());
}

}  // namespace
