// The board control services over a real loopback TCP connection, bound in the
// daemon's order after the heartbeat and the slots service, on the simulated
// board and a driven loop clock: each command's exact answer, the driver requests
// it made and the signals it caused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/acceptor_net.h"
#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/e1_requests.h"
#include "hardware/hal_requests.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/cas_device.h"
#include "hardware/sim/hal_device.h"
#include "hardware/spi_ctrl.h"
#include "monitoring/monitoring_ctl.h"
#include "server/ctrl_server.h"
#include "server/heartbeat_ctl.h"
#include "server/main/components.h"
#include "slots/slots.h"
#include "tests/core/control_service_test.h"
#include "tests/server/server_test_util.h"

using namespace ServerTest;

namespace {

namespace Hal = Hardware::Hal;
namespace Cas = Hardware::Cas;
namespace M = Hardware::Maintenance;
using Words = std::vector<std::int32_t>;
using Call = std::pair<unsigned long, Words>;
using Calls = std::vector<Call>;

constexpr int kFenceSeq = 900000;

// The board as it is at power-on, before the services that open it at construction.
struct FreshBoard {
    FreshBoard() { Sim::board().Reset(); }
};

// The requests of these numbers on the device since the last clear. The switch's
// refresh and the status polls run on their own and are left out by choosing.
Calls Requests(const std::string& device, std::initializer_list<unsigned long> numbers) {
    Calls out;
    for (const auto& r : Sim::board().Requests(Sim::Request::Kind::ioctl)) {
        if (r.device != device) continue;
        for (unsigned long n : numbers)
            if (r.number == n) out.emplace_back(r.number, r.InWords());
    }
    return out;
}

std::string Hex(const LGCP::Message& m) {
    return ToHex(Encode(m));
}
std::string Success(int seq, long slot = -1) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    m.set_pdu().select_response().select_success();
    return Hex(m);
}
std::string Failure(int seq, LGCP::ErrorCause::NamedNumber cause, long slot = -1) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    m.set_pdu().select_response().select_error(cause);
    return Hex(m);
}
std::string CasSignal(int path, int timeslot, int rx, int tx) {
    LGCP::Message m;
    LGCP::CasSignalling& s = m.set_pdu().select_signal().select_cas();
    s.set_channel().set_path(path);
    s.ref_channel().set_timeslot(timeslot);
    s.set_rx(rx);
    s.set_tx(tx);
    return Hex(m);
}

LGCP::Message Cmd(int seq, long slot, const std::function<void(LGCP::Command&)>& select) {
    return Command(select, true, seq, slot);
}
LGCP::Message TestBpc(int seq, int bus, int seed, int mode, int start, int length, long slot = -1) {
    return Cmd(seq, slot, [=](LGCP::Command& c) {
        LGCP::BpcTestParams& p = c.select_testBpc();
        p.set_bus(bus);
        p.set_seed(seed);
        if (mode == 0) p.set_mode().select_read();
        if (mode == 1) p.set_mode().select_write();
        if (mode == 2) p.set_mode().select_disconnect();
        p.set_timeslot_start(start);
        p.set_timeslot_length(length);
    });
}
LGCP::Message ClockCfg(int seq, LGCP::ClkSel0::NamedNumber sel, LGCP::BExtEn::NamedNumber ext, int source) {
    return Cmd(seq, -1, [=](LGCP::Command& c) {
        LGCP::ClockCfg& cfg = c.select_clockCfg();
        cfg.set_clkSel0(sel);
        cfg.set_bextEn(ext);
        cfg.set_source(source);
    });
}
LGCP::Message TrunkCfg(int seq, int trunk, LGCP::TrunkMode::NamedNumber mode) {
    return Cmd(seq, -1, [=](LGCP::Command& c) {
        LGCP::TrunkCfg& cfg = c.select_trunkCfg();
        cfg.set_trunk(trunk);
        cfg.set_mode(mode);
    });
}
// `cmd`: 0 open, 1 close, 2 set, 3 get.
LGCP::Message CasCmd(int seq, int path, int timeslot, int cmd, int value = 0, long slot = -1) {
    return Cmd(seq, slot, [=](LGCP::Command& c) {
        LGCP::CasCommand& cas = c.select_ioctl().select_cas();
        cas.set_channel().set_path(path);
        cas.ref_channel().set_timeslot(timeslot);
        if (cmd == 0) cas.set_cmd().select_open(value);
        if (cmd == 1) cas.set_cmd().select_close();
        if (cmd == 2) cas.set_cmd().select_set(value);
        if (cmd == 3) cas.set_cmd().select_get();
    });
}

class BoardServicesTest : public testing::Test {
protected:
    void SetUp() override {
        Slots::SetPause(&NoPause);
        server.Bind(&heartbeat);
        server.Bind(&slots);
        server.Bind(&hwTests);
        server.Bind(&bus);
        server.Bind(&e1);
        server.Bind(&spi);
        acceptor = new Control::AcceptorNetCheckConnection(0);
        acceptor->bind_address("127.0.0.1");
        ASSERT_TRUE(server.Activate(acceptor));
        port = acceptor->local_port();
    }
    void TearDown() override {
        EXPECT_EQ(0u, errors.count_prefix("ctrl ["));
        server.Deactivate();
        Slots::SetPause(nullptr);
        Sim::board().Reset();
    }
    static void NoPause(unsigned) {}

    // A controller connects; the E1 trunks' status greets it.
    void Connect() {
        controller.emplace(testing_core::Client::Tcp(port));
        ASSERT_TRUE(runner.until([this] {
            Collect();
            return statuses.size() >= 4;
        }));
        statuses.clear();
    }
    // Frames received so far: trunk status signals apart, the rest in order.
    void Collect() {
        const std::string& all = controller->received();
        pending.insert(pending.end(), all.begin() + static_cast<long>(seen), all.end());
        seen = all.size();
        for (Bytes& body : SplitFrames(pending)) {
            LGCP::Message m;
            ASSERT_TRUE(Decode(body, m));
            if (m.get_pdu().signal_isSelected() && m.get_pdu().get_signal().trunkStatus_isSelected())
                statuses.push_back(m);
            else
                messages.push_back(ToHex(body));
        }
    }
    // Sends the message and a ping as a fence; what came before the fence's answer.
    std::vector<std::string> Exchange(const LGCP::Message& message) {
        Sim::board().ClearRequests();
        messages.clear();
        Bytes frame = Tpkt(Encode(message));
        Bytes fence = Tpkt(Encode(Ping(true, kFenceSeq)));
        frame.insert(frame.end(), fence.begin(), fence.end());
        controller->send(std::string(frame.begin(), frame.end()));
        const std::string fenceAnswer = Success(kFenceSeq);
        EXPECT_TRUE(runner.until([&] {
            Collect();
            return !messages.empty() && messages.back() == fenceAnswer;
        }));
        if (!messages.empty()) messages.pop_back();
        return std::exchange(messages, {});
    }
    std::string Answer(const LGCP::Message& message) {
        auto answers = Exchange(message);
        EXPECT_EQ(1u, answers.size());
        return answers.empty() ? std::string() : answers.back();
    }

    FreshBoard fresh;
    testing_core::DrivenClock clock;
    testing_core::LineCapture log{std::clog};
    testing_core::LineCapture errors{std::cerr};
    testing_core::Runner runner;
    Sim::HalDevice& hal = Sim::board().device<Sim::HalDevice>("/dev/hal");
    Sim::CasDevice& cas = Sim::board().device<Sim::CasDevice>(Cas::kPath);
    HwMux mux;
    HeartBeatCtl heartbeat;
    Slots slots;
    HwTests hwTests{&mux};
    spiCtrl spi;
    BusCtl bus{&spi};
    E1Ctl e1;
    CtrlSrv::Server server;  // after the services: it leaves before they do
    Control::AcceptorNetCheckConnection* acceptor = nullptr;
    uint16_t port = 0;
    std::optional<testing_core::Client> controller;
    std::string::size_type seen = 0;
    Bytes pending;
    std::vector<std::string> messages;
    std::vector<LGCP::Message> statuses;
};

TEST_F(BoardServicesTest, BusSelfTestReadsWritesAndDisablesTheRun) {
    Connect();
    // glibc's first bytes after srandom(7), as the controller computes them.
    const int pattern[] = {0xF5, 0x43, 0x3B};
    for (int i = 0; i < 3; ++i) hal.Drive(8330 + i, pattern[i]);
    EXPECT_EQ(Success(1), Answer(TestBpc(1, 1, 7, 0, 10, 3)));
    EXPECT_EQ(
        (Calls{{Hal::MUX_READ, {8330, 255}}, {Hal::MUX_READ, {8331, 255}}, {Hal::MUX_READ, {8332, 255}}}),
        Requests(Hal::kPath, {Hal::MUX_READ, Hal::MUX_WRITE}));

    hal.Break(8331);
    EXPECT_EQ(Failure(2, LGCP::ErrorCause::busError), Answer(TestBpc(2, 1, 7, 0, 10, 3)));
    EXPECT_EQ(1u, errors.count("bus 1: test failed on channel 11 expected 43 read BC"));
    EXPECT_EQ(Failure(3, LGCP::ErrorCause::busError), Answer(TestBpc(3, 1, 7, 1, 10, 3)));
    EXPECT_EQ(1u, errors.count("bus 1: write failed on channel 11 write 43 written BC"));

    hal.Break(8331, false);
    EXPECT_EQ(Success(4, 9), Answer(TestBpc(4, 1, 7, 1, 10, 3, 9))) << "also with a slot number";
    EXPECT_EQ((Calls{{Hal::MUX_WRITE, {8330, 0xF5}},
                     {Hal::MUX_WRITE, {8331, 0x43}},
                     {Hal::MUX_WRITE, {8332, 0x3B}},
                     {Hal::MUX_READ, {8330, 255}},
                     {Hal::MUX_READ, {8331, 255}},
                     {Hal::MUX_READ, {8332, 255}}}),
              Requests(Hal::kPath, {Hal::MUX_READ, Hal::MUX_WRITE}));
    EXPECT_EQ(HwMux::kIdle, mux.output(139));

    EXPECT_EQ(Success(5), Answer(TestBpc(5, 1, 7, 2, 10, 3)));
    for (int i = 138; i <= 140; ++i) EXPECT_EQ(HwMux::kDisabled, mux.output(i)) << i;
    EXPECT_EQ(Sim::HalDevice::Mode::disabled, hal.mode(8331));

    EXPECT_EQ(Success(6), Answer(TestBpc(6, 1, 7, 0, 10, 0)));
    EXPECT_EQ(Failure(7, LGCP::ErrorCause::invalidParams), Answer(TestBpc(7, 15, 7, 1, 120, 10)));
    EXPECT_TRUE(Requests(Hal::kPath, {Hal::MUX_READ, Hal::MUX_WRITE}).empty());
}

TEST_F(BoardServicesTest, ClockConfigurationSelectsTheSourceAndReportsFailures) {
    hal.spi().SetStatus(0, 0xC5);
    Connect();
    EXPECT_EQ(BusCtl::kFreeRun, hal.clock()) << "free run at connect";
    using CS = LGCP::ClkSel0;
    using BE = LGCP::BExtEn;
    const Calls none;
    EXPECT_EQ(Success(1), Answer(ClockCfg(1, CS::external, BE::enabled, 2)));
    EXPECT_EQ((Calls{{Hal::HW_CLOCK_SELECT, {2}}}), Requests(Hal::kPath, {Hal::HW_CLOCK_SELECT}));
    EXPECT_EQ(1u, errors.count("clkctl: clock source = f2"));
    EXPECT_EQ(Success(2), Answer(ClockCfg(2, CS::external, BE::disabled, 2)));
    EXPECT_EQ((Calls{{Hal::HW_CLOCK_SELECT, {5}}}), Requests(Hal::kPath, {Hal::HW_CLOCK_SELECT}));
    EXPECT_EQ(Success(3), Answer(ClockCfg(3, CS::internal, BE::enabled, 2)));
    EXPECT_EQ((Calls{{Hal::HW_CLOCK_SELECT, {4}}}), Requests(Hal::kPath, {Hal::HW_CLOCK_SELECT}));
    EXPECT_EQ(Success(4), Answer(ClockCfg(4, CS::external, BE::enabled, -1)));
    EXPECT_EQ(none, Requests(Hal::kPath, {Hal::HW_CLOCK_SELECT}));
    // The command in value notation, as the printer lays it out.
    const std::vector<std::string> command{"clkctl: set clock source cmd: {", "  clkSel0 external,",
                                           "  bextEn enabled,", "  source -1", "}"};
    const std::vector<std::string> lines = errors.texts();
    EXPECT_NE(std::search(lines.begin(), lines.end(), command.begin(), command.end()), lines.end());
    EXPECT_EQ(5u, errors.count("clkctl: set clock source cmd: {")) << "connect and every command";

    Sim::board().FailRequest(Hal::kPath, Hal::HW_CLOCK_SELECT, EIO);
    EXPECT_EQ(Failure(5, LGCP::ErrorCause::internal), Answer(ClockCfg(5, CS::external, BE::enabled, 1)));
    EXPECT_EQ(1u, errors.count("clkctl: HW_CLOCK_SELECT fail."));
    EXPECT_EQ(Failure(6, LGCP::ErrorCause::internal), Answer(ClockCfg(6, CS::external, BE::enabled, 9)));
    EXPECT_EQ(BusCtl::kFreeRun, hal.clock());
}

TEST_F(BoardServicesTest, WithoutHalTheClockCommandFailsAndNoFramerStaysClockMaster) {
    spi.clock(2);
    Sim::board().SetOpenError(Hal::kPath, ENOENT);
    Sim::board().ClearRequests();
    Connect();
    // Connect tried, and told the framers; the switch and framers hold their opens.
    EXPECT_EQ(8u, Requests(Hal::kPath, {Hal::SPI_WRITE}).size());
    EXPECT_EQ(0x30, hal.spi().Get(2, spiCtrl::kRegClock));
    EXPECT_EQ(1u, errors.count("clkctl: set clock source fail: code 1."));
    EXPECT_EQ(Failure(1, LGCP::ErrorCause::internal),
              Answer(ClockCfg(1, LGCP::ClkSel0::internal, LGCP::BExtEn::disabled, 0)));
    EXPECT_EQ(2u, errors.count("clkctl: set clock source fail: code 1."));
}

TEST_F(BoardServicesTest, DisabledClockControlRefusesClockCfgAndNeverOpensTheDevice) {
    bus.DisableControl();
    EXPECT_EQ(1u, log.count("clock control disabled."));
    Sim::board().ClearRequests();
    Connect();
    EXPECT_EQ(Failure(1, LGCP::ErrorCause::unsupported),
              Answer(ClockCfg(1, LGCP::ClkSel0::external, LGCP::BExtEn::enabled, 2)));
    controller->close();
    ASSERT_TRUE(runner.until([this] { return !acceptor->IsConnected(); }));
    EXPECT_EQ(-1, hal.clock());
    for (const auto& r : Sim::board().Requests(Sim::Request::Kind::open)) EXPECT_NE(Hal::kPath, r.device);
}

TEST_F(BoardServicesTest, TrunkConfigurationSetsTheTclkMask) {
    Sim::board().ClearRequests();
    Connect();
    EXPECT_EQ((Calls{{M::E1_SET_TCLK, {0}}}), Requests(M::kPath, {M::E1_SET_TCLK})) << "cleared at connect";
    EXPECT_EQ(Success(1), Answer(TrunkCfg(1, 2, LGCP::TrunkMode::slave)));
    EXPECT_EQ((Calls{{M::E1_SET_TCLK, {4}}}), Requests(M::kPath, {M::E1_SET_TCLK}));
    EXPECT_EQ(1u, log.count("E1: TCLT = 0x4"));
    EXPECT_EQ(Success(2), Answer(TrunkCfg(2, 0, LGCP::TrunkMode::slave)));
    EXPECT_EQ((Calls{{M::E1_SET_TCLK, {5}}}), Requests(M::kPath, {M::E1_SET_TCLK}));
    EXPECT_EQ(Success(3), Answer(TrunkCfg(3, 2, LGCP::TrunkMode::master)));
    EXPECT_EQ((Calls{{M::E1_SET_TCLK, {1}}}), Requests(M::kPath, {M::E1_SET_TCLK}));
    for (int trunk : {-1, 32, 1000}) {
        EXPECT_EQ(Success(4), Answer(TrunkCfg(4, trunk, LGCP::TrunkMode::slave)));
        EXPECT_TRUE(Requests(M::kPath, {M::E1_SET_TCLK}).empty()) << trunk;
    }
    EXPECT_EQ(1u, errors.count("E1: TCLK: no bit for trunk 1000, ignored"));
    EXPECT_EQ(1u, e1.tclk());
}

TEST_F(BoardServicesTest, CasCommandsReportTheBitsAndFarEndChangesArriveAsSignals) {
    Connect();
    cas.FarEnd(1, 3, 0x9);  // trunk not open yet: no record
    const auto casCalls = [] {
        return Requests(Cas::kPath, {Cas::CAS_OPEN_TRUNK, Cas::CAS_CLOSE_TRUNK, Cas::CAS_SET, Cas::CAS_GET,
                                     Cas::CAS_CONFIGURE});
    };
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 0, 0, 0), CasSignal(1, 3, 9, 5), Success(1)}),
              Exchange(CasCmd(1, 1, 3, 0, 5)));
    EXPECT_EQ((Calls{{Cas::CAS_OPEN_TRUNK, {1}},
                     {Cas::CAS_CONFIGURE, {1, 3, 0x00050000, 0}},
                     {Cas::CAS_GET, {1, 3, 0}}}),
              casCalls());

    ASSERT_EQ(1, cas.FarEnd(1, 3, 0xA));
    ASSERT_TRUE(runner.until([this] {
        Collect();
        return !messages.empty();
    }));
    EXPECT_EQ(std::vector<std::string>{CasSignal(1, 3, 0xA, 5)}, std::exchange(messages, {}));

    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 0, 0, 0), Success(2)}),
              Exchange(CasCmd(2, 1, 16, 0, 1)));
    EXPECT_TRUE(casCalls().empty()) << "time slot 16 carries the bits, it has none";
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 3, 0xA, 3), Success(3)}),
              Exchange(CasCmd(3, 1, 3, 2, 0x13)));
    EXPECT_EQ((Calls{{Cas::CAS_SET, {1, 3, 0x00030000}}, {Cas::CAS_GET, {1, 3, 0}}}), casCalls());
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 3, 0xA, 3), Success(4)}), Exchange(CasCmd(4, 1, 3, 3)));
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 3, -1, 1), Success(5)}), Exchange(CasCmd(5, 1, 3, 1)));
    EXPECT_EQ((Calls{{Cas::CAS_CONFIGURE, {1, 3, 0, 1}}}), casCalls());
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 3, -1, 0), Success(6)}), Exchange(CasCmd(6, 1, 3, 3)))
        << "the driver refuses a closed time slot";
    EXPECT_EQ((std::vector<std::string>{CasSignal(1, 0, 1, 0), Success(7)}), Exchange(CasCmd(7, 1, 0, 1)));
    EXPECT_EQ((Calls{{Cas::CAS_CLOSE_TRUNK, {1}}}), casCalls());
    EXPECT_FALSE(cas.trunk_open(1));

    // A closed trunk, a trunk the board lacks, an ioctl that is no CAS command: only the answer.
    for (const auto& m :
         {CasCmd(8, 1, 0, 1), CasCmd(8, 1, 3, 2, 1), CasCmd(8, 1, 3, 3), CasCmd(8, 4, 3, 0, 1),
          Cmd(8, -1, [](LGCP::Command& c) { c.select_ioctl().select_dtmf_disable(); })}) {
        EXPECT_EQ(std::vector<std::string>{Success(8)}, Exchange(m));
        EXPECT_TRUE(casCalls().empty());
    }
    // With a slot number the ioctl is the slot's.
    EXPECT_EQ(Failure(9, LGCP::ErrorCause::slotNotExists, 5), Answer(CasCmd(9, 1, 3, 0, 1, 5)));

    Sim::board().FailRequest(Cas::kPath, Cas::CAS_OPEN_TRUNK, EIO);
    EXPECT_EQ((std::vector<std::string>{CasSignal(0, 0, -1, 0), Success(10)}),
              Exchange(CasCmd(10, 0, 5, 0, 1)));
    EXPECT_EQ(1u, log.count("E1: open cas signalling on trunk(0) - fail(-1)"));
    EXPECT_FALSE(e1.IsTrunkCasOpen(0));
}

TEST_F(BoardServicesTest, CasReadErrorReleasesTheDeviceUntilTheNextTickAndItsCycleIsOneCondition) {
    Connect();
    ASSERT_EQ(3u, Exchange(CasCmd(1, 2, 7, 0, 1)).size());
    ASSERT_TRUE(e1.IsCasOpen());
    Sim::board().ClearRequests();
    const std::string fail = "E1: cas interface read fail: Input/output error, closed";
    // Three reads fail, each on the device reopened by the tick after the last.
    for (int cycle = 0; cycle < 3; ++cycle) {
        cas.FailRead(EIO);
        cas.FarEnd(2, 7, 0x5);
        ASSERT_TRUE(runner.until([this] { return !e1.IsCasOpen(); }, 900));
        if (cycle == 0) {
            EXPECT_EQ(1u, Sim::board().Requests(Sim::Request::Kind::read).size())
                << "no spin on the failing device";
        }
        ASSERT_TRUE(runner.until([this] { return e1.IsCasOpen(); }, 1100));
    }
    EXPECT_EQ(1u, errors.count(fail));
    EXPECT_EQ(1u, log.count("E1: cas interface opened!")) << "reopening is part of the condition";
    // The driver kept the trunk: the far end is heard again, and the tick after the
    // reopened device held ends the condition.
    cas.FarEnd(2, 7, 0x6);
    ASSERT_TRUE(runner.until([this] {
        Collect();
        return !messages.empty();
    }));
    EXPECT_EQ(CasSignal(2, 7, 6, 1), messages.back());
    const std::string end = fail + " (ended; 2 more like it suppressed since the last line;";
    ASSERT_TRUE(runner.until([&] { return errors.count_prefix(end) == 1; }, 1100));
    EXPECT_EQ(1u, errors.count_prefix(fail + " ("));
}

TEST(DaemonServicesTest, BoundInTheDaemonsOrder) {
    CtrlSrv::Server server;
    BindServices(server);
    const auto& services = server.GetServices();
    ASSERT_EQ(7u, services.size());
    EXPECT_EQ(HeartBeatCtl::instance(), services[0]);
    EXPECT_EQ(&Slots::instance(), services[1]);
    EXPECT_EQ(&HwTests::instance(), services[2]);
    EXPECT_EQ(&BusCtl::instance(), services[3]);
    EXPECT_EQ(&E1Ctl::instance(), services[4]);
    EXPECT_EQ(&spiCtrl::instance(), services[5]);
    EXPECT_EQ(&MonitoringCtl::instance(), services[6]);
}

}  // namespace
