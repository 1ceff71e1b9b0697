// The daemon's control side put together: a controller on a real loopback TCP
// connection to a control server with the heartbeat, slots and monitoring services
// bound in the daemon's order, the daemon's slot factory chain on the simulated
// board, and a fake SNMP agent that the monitoring configuration points at. The
// loop runs on a driven clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "config/ini_file.h"
#include "core/acceptor_net.h"
#include "hardware/hal_requests.h"
#include "hardware/sim/board.h"
#include "monitoring/monitoring_ctl.h"
#include "server/ctrl_server.h"
#include "server/heartbeat_ctl.h"
#include "server/main/components.h"
#include "slots/slots.h"
#include "tests/core/control_service_test.h"
#include "tests/server/fake_snmp_agent.h"
#include "tests/server/server_test_util.h"

using namespace ServerTest;

namespace {

namespace Hal = Hardware::Hal;
using testing_core::DrivenClock;
using testing_core::LineCapture;
using testing_core::Runner;
using testing_monitoring::FakeAgent;

using Words = std::vector<std::int32_t>;
using SwitchRequest = std::pair<unsigned long, Words>;
using SwitchRequests = std::vector<SwitchRequest>;

// The TDM switch requests in the simulated board's log.
SwitchRequests SwitchLog() {
    SwitchRequests out;
    for (const auto& r : Sim::board().Requests(Sim::Request::Kind::ioctl))
        if (r.device == Hal::kPath) out.emplace_back(r.number, r.InWords());
    return out;
}

// Stands between the connection and the server and keeps the switch requests made
// while each frame, and the controller's leaving, were handled. The switch
// re-disables idle bus outputs on every pass of the loop; those requests are not
// a command's and stay out.
class SwitchTap : public Control::Notify {
public:
    explicit SwitchTap(CtrlSrv::Server& server) : server_(server) {}

    void OnConnect() override { server_.OnConnect(); }
    void OnDisconnect() override {
        Sim::board().ClearRequests();
        server_.OnDisconnect();
        Keep();
    }
    void OnMessage(const char* data, int length) override {
        times_.push_back(Mux::milliseconds());
        Sim::board().ClearRequests();
        server_.OnMessage(data, length);
        Keep();
    }
    SwitchRequests Take() { return std::exchange(requests_, {}); }
    // Loop times at which the last frame and the one before it were handled.
    uint32_t TimeOfLast() const { return times_.empty() ? 0 : times_.back(); }
    uint32_t TimeOfLastButOne() const { return times_.size() < 2 ? 0 : times_[times_.size() - 2]; }

private:
    void Keep() {
        for (auto& r : SwitchLog()) requests_.push_back(std::move(r));
    }
    CtrlSrv::Server& server_;
    SwitchRequests requests_;
    std::vector<uint32_t> times_;
};

// The controller's end: a non-blocking loopback client that collects frame bodies.
class Controller {
public:
    explicit Controller(uint16_t port) : link_(testing_core::Client::Tcp(port)) {}

    void Send(const Bytes& body) {
        Bytes frame = Tpkt(body);
        link_.send(std::string(frame.begin(), frame.end()));
    }
    void Send(const LGCP::Message& message) { Send(Encode(message)); }
    // Frame bodies received and not yet taken.
    size_t Ready() {
        const std::string& all = link_.received();
        pending_.insert(pending_.end(), all.begin() + static_cast<long>(seen_), all.end());
        seen_ = all.size();
        for (Bytes& body : SplitFrames(pending_)) bodies_.push_back(std::move(body));
        return bodies_.size() - taken_;
    }
    Bytes Take() { return bodies_.at(taken_++); }
    bool Closed() { return link_.eof(); }
    void Close() { link_.close(); }

private:
    testing_core::Client link_;
    std::string::size_type seen_ = 0;
    Bytes pending_;
    std::vector<Bytes> bodies_;
    size_t taken_ = 0;
};

// A pause of the process after the controller left, as the slots service asked for it.
struct Pause {
    unsigned ms;
    uint32_t at;            // loop time
    SwitchRequests before;  // switch requests of the same disconnect made before it
    std::size_t slotsLeft;
    int controllerStatus;
};

// Message builders. Every command carries a seq here; `slot` -1 is none.
LGCP::Message Cmd(int seq, long slot, const std::function<void(LGCP::Command&)>& select) {
    return Command(select, true, seq, slot);
}
LGCP::Message MapCreate(int seq, long slot, int txBus, int txChannel, int rxBus, int rxChannel) {
    return Cmd(seq, slot, [=](LGCP::Command& c) {
        LGCP::MapParams& map = c.select_create().select_map();
        map.set_transmitter().set_bus(txBus);
        map.ref_transmitter().set_channel(txChannel);
        map.set_receiver().set_bus(rxBus);
        map.ref_receiver().set_channel(rxChannel);
    });
}
LGCP::Message ExtCreate(int seq, long slot, int transmitter, int receiver) {
    return Cmd(seq, slot, [=](LGCP::Command& c) {
        LGCP::ExtParams& ext = c.select_create().select_ext();
        ext.set_transmitter(transmitter);
        ext.set_receiver(receiver);
    });
}
LGCP::Message ConnectTo(int seq, long slot, unsigned target) {
    return Cmd(seq, slot, [=](LGCP::Command& c) { c.select_connect(target); });
}
LGCP::Message Disconnect(int seq, long slot) {
    return Cmd(seq, slot, [](LGCP::Command& c) { c.select_disconnect(); });
}
LGCP::Message Destroy(int seq, long slot) {
    return Cmd(seq, slot, [](LGCP::Command& c) { c.select_destroy(); });
}
LGCP::Message Display(int seq, const std::function<void(LGCP::DisplayParams&)>& fill) {
    return Cmd(seq, -1, [&](LGCP::Command& c) { fill(c.select_display()); });
}

// The wire form of the answers the daemon must send.
std::string Success(int seq, long slot = -1) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    m.set_pdu().select_response().select_success();
    return ToHex(Encode(m));
}
std::string Failure(int seq, long slot, LGCP::ErrorCause::NamedNumber cause) {
    LGCP::Message m;
    m.set_seq(seq);
    if (slot >= 0) m.set_slot(static_cast<unsigned>(slot));
    m.set_pdu().select_response().select_error(cause);
    return ToHex(Encode(m));
}

constexpr int kFenceSeq = 900000;

class IntegrationTest : public testing::Test {
protected:
    void SetUp() override {
        Slots::SetPause(&RecordPause);
        pauses.clear();
        current = this;
        // The daemon's slot factory chain and switch; the singleton monitoring
        // service it configures stays without agents (the configuration is empty).
        IniFile::File none;
        CreateComponents(none);

        std::istringstream config("[snmpagent]\nhost = " + agent.address() + "\nname = lemzgw\n");
        IniFile::File file;
        file.IntOpenStream(config);
        monitoring.Configure(file);
        ASSERT_EQ(1u, monitoring.agents().agents().size());
        ASSERT_TRUE(runner.until(
            [this] { return agent.Accept() && monitoring.agents().agents()[0]->IsConnected(); }));

        server.Bind(&heartbeat);
        server.Bind(&slots);
        server.Bind(&monitoring);
        acceptor = new Control::AcceptorNetCheckConnection(0);
        acceptor->bind_address("127.0.0.1");
        ASSERT_TRUE(server.Activate(acceptor));
        acceptor->Bind(&tap);
        port = acceptor->local_port();
        ASSERT_NE(0, port);

        ConnectController();
    }
    void TearDown() override {
        // No decode failure, missing answer or failed send on the server's side.
        EXPECT_EQ(0u, errors.count_prefix("ctrl ["));
        server.Deactivate();
        monitoring.agents().Clear();
        Slots::SetPause(nullptr);
        current = nullptr;
    }

    // A controller connects and takes the power signal every connection begins with.
    void ConnectController() {
        controller = std::make_unique<Controller>(port);
        ASSERT_TRUE(runner.until([this] { return controller->Ready() >= 1; }));
        // No seq, no slot, signal `power` (17) with the state `unknown`.
        EXPECT_EQ("2440", ToHex(controller->Take()));
        EXPECT_TRUE(acceptor->IsConnected());
        EXPECT_EQ(1u, log.count("ctrl [" + acceptor->GetAddr() + "]: controller connect."));
        tap.Take();
    }

    // Sends the message and then a ping as a fence; returns the answers that came
    // before the fence's own, as hex. The server answers in order, so these are
    // all the message got.
    std::vector<std::string> Exchange(const LGCP::Message& message) { return Exchange(Encode(message)); }
    std::vector<std::string> Exchange(const Bytes& body) {
        controller->Send(body);
        controller->Send(Ping(true, kFenceSeq));
        const std::string fence = Success(kFenceSeq);
        std::vector<std::string> answers;
        bool fenced = false;
        EXPECT_TRUE(runner.until([&] {
            while (!fenced && controller->Ready() > 0) {
                std::string hex = ToHex(controller->Take());
                if (hex == fence)
                    fenced = true;
                else
                    answers.push_back(hex);
            }
            return fenced;
        }));
        return answers;
    }
    // The one answer of a command.
    std::string Answer(const LGCP::Message& message) { return Answer(Encode(message)); }
    std::string Answer(const Bytes& body) {
        auto answers = Exchange(body);
        EXPECT_EQ(1u, answers.size());
        return answers.empty() ? std::string() : answers.front();
    }

    static void RecordPause(unsigned ms) {
        pauses.push_back({ms, Mux::milliseconds(), SwitchLog(), current->slots.Count(),
                          current->monitoring.controllerStatus()});
    }

    DrivenClock clock;
    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    Runner runner;
    FakeAgent agent;
    HeartBeatCtl heartbeat;
    Slots slots;
    MonitoringCtl monitoring;
    CtrlSrv::Server server;  // after the services: it leaves before they do
    SwitchTap tap{server};
    Control::AcceptorNetCheckConnection* acceptor = nullptr;
    uint16_t port = 0;
    std::unique_ptr<Controller> controller;

    static inline std::vector<Pause> pauses;
    static inline IntegrationTest* current = nullptr;
};

TEST_F(IntegrationTest, QueryIsAnsweredThenTheResourcesFollowWithoutSlot) {
    controller->Send(Cmd(77, -1, [](LGCP::Command& c) { c.select_query(); }));
    ASSERT_TRUE(runner.until([this] { return controller->Ready() >= 2; }));
    EXPECT_EQ("80014D40", ToHex(controller->Take()));  // seq 77, success, no slot
    LGCP::Message signal;
    ASSERT_TRUE(Decode(controller->Take(), signal));
    EXPECT_FALSE(signal.seq_isPresent());
    EXPECT_FALSE(signal.slot_isPresent());
    ASSERT_TRUE(signal.get_pdu().signal_isSelected());
    ASSERT_TRUE(signal.get_pdu().get_signal().query_isSelected());
    const LGCP::Resources& resources = signal.get_pdu().get_signal().get_query();
    EXPECT_TRUE(resources.get_mux());
    EXPECT_FALSE(resources.drvVersion_isPresent());
    EXPECT_EQ(0, resources.get_modem().getValue());
    // Nothing else came with it.
    EXPECT_EQ(std::vector<std::string>{Success(1)}, Exchange(Ping(true, 1)));

    // With a slot number nobody takes it: the server's own answer echoes both.
    EXPECT_EQ(Failure(78, 9, LGCP::ErrorCause::unexpectedMsgType),
              Answer(Cmd(78, 9, [](LGCP::Command& c) { c.select_query(); })));
    EXPECT_TRUE(tap.Take().empty());
}

TEST_F(IntegrationTest, MapSlotsSwitchTheirTimeSlotsAndAnswerEveryCommandOnce) {
    // Slot 1 sends on bus 1 time slot 5 (8325) and receives on bus 2 time slot 7
    // (8455); slot 2 sends on 8576 and receives on 8577.
    EXPECT_EQ(
        "C001010001"
        "40",
        Answer(MapCreate(1, 1, 1, 5, 2, 7)));
    EXPECT_EQ(Success(2, 2), Answer(MapCreate(2, 2, 3, 0, 3, 1)));
    EXPECT_TRUE(tap.Take().empty()) << "creating connects nothing";

    EXPECT_EQ(Success(3, 1), Answer(ConnectTo(3, 1, 2)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_CONNECT, {8455, 8576}}}), tap.Take());

    EXPECT_EQ(Success(4, 1), Answer(Disconnect(4, 1)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_WRITE, {8455, 0xD5}}}), tap.Take());

    EXPECT_EQ(Success(5, 1), Answer(ConnectTo(5, 1, 2)));
    tap.Take();
    // Destroying the source idles its sink first, then disables its own time slots.
    EXPECT_EQ(Success(6, 2), Answer(Destroy(6, 2)));
    EXPECT_EQ((SwitchRequests{
                  {Hal::MUX_WRITE, {8455, 0xD5}}, {Hal::MUX_DISABLE, {8576}}, {Hal::MUX_DISABLE, {8577}}}),
              tap.Take());

    // Destroyed twice: the second finds nothing and switches nothing.
    EXPECT_EQ("C00107000263", Answer(Destroy(7, 2)));  // seq 7, slot 2, slotNotExists
    EXPECT_TRUE(tap.Take().empty());
    EXPECT_EQ(Failure(8, 1, LGCP::ErrorCause::slotNotExists), Answer(ConnectTo(8, 1, 2)));
    EXPECT_EQ(Failure(9, 2, LGCP::ErrorCause::slotNotExists), Answer(Disconnect(9, 2)));

    EXPECT_EQ(Success(10, 1), Answer(Destroy(10, 1)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_DISABLE, {8325}}, {Hal::MUX_DISABLE, {8455}}}), tap.Take());
    EXPECT_EQ(Failure(11, 1, LGCP::ErrorCause::slotNotExists), Answer(Destroy(11, 1)));
    EXPECT_EQ(0u, slots.Count());
}

TEST_F(IntegrationTest, ExtSlotsUseTheBusAddressAndMixWithMapSlots) {
    // Ext values are relative to the shared bus: 10 -> 8202, 300 -> 8492.
    EXPECT_EQ(Success(1, 20), Answer(ExtCreate(1, 20, 10, 11)));
    EXPECT_EQ(Success(2, 21), Answer(ExtCreate(2, 21, 300, 301)));
    EXPECT_EQ(Success(3, 1023), Answer(MapCreate(3, 1023, 15, 127, 0, 0)));
    EXPECT_TRUE(tap.Take().empty());

    EXPECT_EQ(Success(4, 21), Answer(ConnectTo(4, 21, 20)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_CONNECT, {8493, 8202}}}), tap.Take());
    // Moving the sink onto a map slot's transmit (bus 15 time slot 127 = 10239).
    EXPECT_EQ(Success(5, 21), Answer(ConnectTo(5, 21, 1023)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_CONNECT, {8493, 10239}}}), tap.Take());
    // The map slot takes the ext slot 20 as its source (bus 0 time slot 0 = 8192).
    EXPECT_EQ(Success(6, 1023), Answer(ConnectTo(6, 1023, 20)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_CONNECT, {8192, 8202}}}), tap.Take());

    // A target beyond the table (connect 1024, which the encoder refuses to build) is
    // the slots service's invalidSlot, which keeps the command's own slot number.
    EXPECT_EQ(Failure(7, 20, LGCP::ErrorCause::invalidSlot), Answer(Hex("C00107001404 0400")));
    EXPECT_EQ(Failure(8, 20, LGCP::ErrorCause::slotNotExists), Answer(ConnectTo(8, 20, 500)));
    EXPECT_TRUE(tap.Take().empty());

    EXPECT_EQ(Success(9, 21), Answer(Disconnect(9, 21)));
    EXPECT_EQ((SwitchRequests{{Hal::MUX_WRITE, {8493, 0xD5}}}), tap.Take());

    EXPECT_EQ(Success(10, 20), Answer(Destroy(10, 20)));
    EXPECT_EQ((SwitchRequests{
                  {Hal::MUX_WRITE, {8192, 0xD5}}, {Hal::MUX_DISABLE, {8202}}, {Hal::MUX_DISABLE, {8203}}}),
              tap.Take());
    EXPECT_EQ(Failure(11, 20, LGCP::ErrorCause::slotNotExists), Answer(Destroy(11, 20)));
    EXPECT_TRUE(tap.Take().empty());
    EXPECT_EQ(2u, slots.Count());
}

TEST_F(IntegrationTest, ControllerLeavingReleasesEverySlotThenPausesOneSecond) {
    ASSERT_EQ(Success(1, 4), Answer(ExtCreate(1, 4, 1, 2)));
    ASSERT_EQ(Success(2, 5), Answer(MapCreate(2, 5, 0, 3, 0, 4)));
    ASSERT_EQ(Success(3, 5), Answer(ConnectTo(3, 5, 4)));
    tap.Take();
    ASSERT_EQ(1, monitoring.controllerStatus());

    controller->Close();
    ASSERT_TRUE(runner.until([] { return !pauses.empty(); }));
    ASSERT_EQ(1u, pauses.size());
    EXPECT_EQ(1000u, pauses[0].ms);
    // Slot 4 (the source) went first, taking its sink's connection down; then slot 5.
    const SwitchRequests released{{Hal::MUX_WRITE, {8196, 0xD5}},
                                  {Hal::MUX_DISABLE, {8193}},
                                  {Hal::MUX_DISABLE, {8194}},
                                  {Hal::MUX_DISABLE, {8195}},
                                  {Hal::MUX_DISABLE, {8196}}};
    EXPECT_EQ(released, pauses[0].before) << "released before the pause";
    EXPECT_EQ(0u, pauses[0].slotsLeft);
    // Bound after the slots service, monitoring learns of the loss after the pause.
    EXPECT_EQ(1, pauses[0].controllerStatus);
    EXPECT_EQ(4, monitoring.controllerStatus());
    EXPECT_EQ(released, tap.Take()) << "and nothing after it";
    EXPECT_FALSE(acceptor->IsConnected());

    // The next controller is served as the first was, on an empty table.
    ConnectController();
    EXPECT_EQ(Failure(4, 4, LGCP::ErrorCause::slotNotExists), Answer(Destroy(4, 4)));
    EXPECT_EQ(Success(5, 4), Answer(ExtCreate(5, 4, 1, 2)));
    EXPECT_EQ(1u, pauses.size());
}

TEST_F(IntegrationTest, SilentControllerIsDroppedAfterTwoMinutesAndItsSlotsReleased) {
    ASSERT_EQ(Success(1, 7), Answer(ExtCreate(1, 7, 5, 6)));
    tap.Take();
    // The fence ping was the last command.
    uint32_t last = tap.TimeOfLast();
    ASSERT_TRUE(runner.until([] { return !pauses.empty(); }, 130000));
    EXPECT_EQ(120000u, pauses[0].at - last);
    EXPECT_EQ((SwitchRequests{{Hal::MUX_DISABLE, {8197}}, {Hal::MUX_DISABLE, {8198}}}), pauses[0].before);
    EXPECT_EQ(0u, slots.Count());
    ASSERT_TRUE(runner.until([this] { return controller->Closed(); }));
    EXPECT_FALSE(acceptor->IsConnected());
}

TEST_F(IntegrationTest, ThePauseAfterAControllerLeavesLastsOneSecond) {
    Slots::SetPause(nullptr);  // the real sleep, measured once
    controller->Close();
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        runner.until([this] { return !acceptor->IsConnected() && monitoring.controllerStatus() == 4; }));
    auto took =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_GE(took.count(), 1000);
    EXPECT_LT(took.count(), 3000);
    Slots::SetPause(&RecordPause);  // TearDown's disconnect need not wait
}

TEST_F(IntegrationTest, AgentIsPingedAfterEveryFiveSecondsWithoutASend) {
    // The controller's connect sent the power and controller states: the first ping
    // comes five seconds after that batch.
    ASSERT_TRUE(runner.until([this] { return agent.Pings() == 1; }, 6000));
    uint32_t last = Mux::milliseconds();
    std::string ping = agent.Frames().back();
    EXPECT_EQ("18", ToHex(Bytes(ping.begin(), ping.end())));  // command `ping`
    for (size_t n = 2; n <= 4; ++n) {
        agent.SendPingResponse();
        ASSERT_TRUE(runner.until([&] { return agent.Pings() == n; }, 6000));
        EXPECT_EQ(5000u, Mux::milliseconds() - last);
        last = Mux::milliseconds();
    }
    agent.SendPingResponse();

    // A display that reaches the agent puts the next ping off by five seconds.
    runner.for_ms(2000);
    size_t before = agent.Frames().size();
    EXPECT_EQ(Success(30), Answer(Display(30, [](LGCP::DisplayParams& d) {
                  d.select_snmpTrapReceivers().push_back(ASN1::IA5String("10.9.8.7"));
              })));
    // The fence followed the display: the frame before it is the display's.
    uint32_t sent = tap.TimeOfLastButOne();
    EXPECT_EQ(before + 1, agent.Frames().size());
    ASSERT_TRUE(runner.until([this] { return agent.Pings() == 5; }, 6000));
    EXPECT_EQ(5000u, Mux::milliseconds() - sent);
    EXPECT_TRUE(acceptor->IsConnected());
    EXPECT_EQ(0u, log.count_prefix("snmpagent."));
}

TEST_F(IntegrationTest, DisplaySendsTrapSinksAndSetBatchesToTheAgent) {
    // Let the batches of the agent's and the controller's connects go out first.
    runner.for_ms(100);
    size_t before = agent.Messages().size();

    EXPECT_EQ(Success(41), Answer(Display(41, [](LGCP::DisplayParams& d) {
                  auto& list = d.select_snmpTrapReceivers();
                  list.push_back(ASN1::IA5String("10.0.0.1"));
                  list.push_back(ASN1::IA5String("10.0.0.2:162"));
              })));
    EXPECT_EQ(Success(42), Answer(Display(42, [](LGCP::DisplayParams& d) {
                  LGCP::BoardStatusParams& status = d.select_board().select_boardStatus();
                  status.set_position(2);
                  status.set_version(std::vector<char>{'1', '.', '4'});
                  status.set_status(LGCP::ExtBoardStatus::ready);
                  status.set_type(LGCP::ExtBoardType::fxs);
              })));
    EXPECT_EQ(Success(43), Answer(Display(43, [](LGCP::DisplayParams& d) {
                  MON::SnmpSetCommand command;
                  command.set_uniq(500);
                  MON::IniName& id = command.set_id().select_name();
                  id.set_section("e1Table");
                  id.set_name("e1StatusDsc");
                  id.set_index(1);
                  command.set_value(std::string("alarm"));
                  d.select_snmp_set().ref_commands().push_back(command);
              })));
    // Only stored, or empty: nothing goes out for these, yet each is answered.
    EXPECT_EQ(Success(44), Answer(Display(44, [](LGCP::DisplayParams& d) {
                  d.select_board().select_boardChannelStatus().set_position(2);
              })));
    EXPECT_EQ(Success(45), Answer(Display(45, [](LGCP::DisplayParams& d) { d.select_snmp_set(); })));
    // A display with a slot number is still the monitoring service's, slot echoed.
    EXPECT_EQ(Success(46, 3), Answer(Cmd(46, 3, [](LGCP::Command& c) {
                  LGCP::FramerInfo& framer = c.select_display().select_framer();
                  framer.set_e1(1);
                  framer.set_info().select_link(true);
              })));
    EXPECT_EQ(0x04, monitoring.indicators());

    runner.for_ms(100);
    auto messages = agent.Messages();
    ASSERT_EQ(before + 3, messages.size());

    const MON::Command& sinks = messages[before].get_pdu().get_command();
    ASSERT_TRUE(sinks.snmp_trapsink_set_isSelected());
    const auto& entries = sinks.get_snmp_trapsink_set().get_trapsinks();
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ("10.0.0.1", static_cast<const std::string&>(entries[0].get_host()));
    EXPECT_FALSE(entries[0].port_isPresent());
    EXPECT_EQ("10.0.0.2:162", static_cast<const std::string&>(entries[1].get_host()));
    EXPECT_FALSE(entries[1].port_isPresent());

    const MON::Command& board = messages[before + 1].get_pdu().get_command();
    ASSERT_TRUE(board.snmp_set_isSelected());
    const auto& commands = board.get_snmp_set().get_commands();
    ASSERT_EQ(3u, commands.size());
    const char* names[] = {"extBoardStatus", "extBoardSoftVer", "extBoardType"};
    const char* values[] = {"3", "1.4", "2"};
    for (size_t i = 0; i < 3; ++i) {
        const MON::IniName& id = commands[i].get_id().get_name();
        EXPECT_EQ("extBoardTable", static_cast<const std::string&>(id.get_section()));
        EXPECT_EQ(names[i], static_cast<const std::string&>(id.get_name()));
        EXPECT_EQ(2, id.get_index().getValue());
        EXPECT_EQ(values[i], static_cast<const std::string&>(commands[i].get_value()));
        if (i > 0) {
            EXPECT_LT(commands[i - 1].get_uniq().getValue(), commands[i].get_uniq().getValue());
        }
    }

    // The controller's own batch goes on as it came.
    const MON::Command& set = messages[before + 2].get_pdu().get_command();
    ASSERT_TRUE(set.snmp_set_isSelected());
    ASSERT_EQ(1u, set.get_snmp_set().get_commands().size());
    const MON::SnmpSetCommand& command = set.get_snmp_set().get_commands()[0];
    EXPECT_EQ(500, command.get_uniq().getValue());
    EXPECT_EQ("e1StatusDsc", static_cast<const std::string&>(command.get_id().get_name().get_name()));
    EXPECT_EQ(1, command.get_id().get_name().get_index().getValue());
    EXPECT_EQ("alarm", static_cast<const std::string&>(command.get_value()));
    EXPECT_TRUE(tap.Take().empty());
}

}  // namespace
