// The monitoring service against a fake SNMP agent listening on loopback: pings on
// the driven loop clock, the receive time-out, and the batches a `display` sends.
#include "monitoring/monitoring_ctl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/monitoring/agent_link.h"
#include "tests/server/fake_snmp_agent.h"
#include "tests/slots/fake_server.h"

namespace {

using testing_core::DrivenClock;
using testing_core::LineCapture;
using testing_core::Runner;
using testing_monitoring::Encoded;
using testing_monitoring::FakeAgent;

class MonitoringTest : public ::testing::Test {
protected:
    void SetUp() override {
        agentLink = testing_monitoring::AddAgentLink(ctl, agent.address());
        ASSERT_TRUE(runner.until([this] { return agent.Accept() && agentLink->IsConnected(); }));
        start = Mux::milliseconds();
    }
    void TearDown() override { ctl.agents().Clear(); }

    DrivenClock clock;
    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    Runner runner;
    FakeAgent agent;
    MonitoringCtl ctl;
    SnmpAgentInstance* agentLink = nullptr;
    uint32_t start = 0;
};

TEST_F(MonitoringTest, PingEveryFiveSecondsOfSilenceAndTimeOutAfterThirty) {
    // The connect itself sent the monitoring state; pings follow at 5 s steps.
    ASSERT_TRUE(runner.until([this] { return agent.Pings() == 1; }, 6000));
    EXPECT_EQ(Mux::milliseconds() - start, 5000u);
    ASSERT_TRUE(runner.until([this] { return agent.Pings() == 6; }, 30000));
    EXPECT_EQ(Mux::milliseconds() - start, 30000u);
    // Nothing came back: the next send closes the link instead.
    ASSERT_TRUE(runner.until([this] { return agent.link().eof(); }, 6000));
    EXPECT_EQ(Mux::milliseconds() - start, 35000u);
    EXPECT_EQ(agent.Pings(), 6u);
    EXPECT_EQ(log.count("snmpagent.lemzgw " + agent.address() + ": ping timeout !!!"), 1u);
}

TEST_F(MonitoringTest, AnswersKeepTheLinkUp) {
    for (int i = 1; i <= 8; ++i) {
        ASSERT_TRUE(runner.until([&] { return agent.Pings() == static_cast<size_t>(i); }, 6000));
        agent.SendPingResponse();
    }
    EXPECT_FALSE(agent.link().eof());
    EXPECT_EQ(log.count_prefix("snmpagent."), 0u);
    EXPECT_EQ(errors.count_prefix("snmpagent."), 0u);
}

TEST_F(MonitoringTest, WhatTheAgentSendsKeepsTheLinkAndOnlyCommandsOrJunkAreLogged) {
    const std::string name = "snmpagent.lemzgw " + agent.address();
    MON::Message response;
    response.set_pdu().select_response().select_snmp_trapsink_set().select_error(MON::ErrorCause::wrongValue);
    MON::Message signal;
    MON::SnmpSetSignal& set = signal.set_pdu().select_signal().select_snmp_set();
    set.set_oid("1.3.6");
    set.set_name().set_section("gatewayCommon");
    set.ref_name().set_name("powerStatus");
    set.ref_name().set_index(0);
    set.set_value("2");
    MON::Message command;
    command.set_pdu().select_command().select_ping();
    const std::string bodies[] = {Encoded(response), Encoded(signal), Encoded(command), "\xFF"};
    for (const std::string& body : bodies) {
        agent.link().send(testing_core::Frame(body));
        runner.for_ms(4000);
    }
    // Every frame counts as a sign of life, even one that does not decode: 35 s of
    // them alone and the link stays up.
    for (int i = 0; i < 7; ++i) {
        agent.link().send(testing_core::Frame(bodies[3]));
        runner.for_ms(5000);
    }
    EXPECT_FALSE(agent.link().eof());
    EXPECT_EQ(log.count(name + ": ping timeout !!!"), 0u);
    // Each kind of frame that is no answer is one lasting condition, a burst included.
    std::string burst;
    for (int i = 0; i < 50; ++i) burst += testing_core::Frame(bodies[3]);
    agent.link().send(burst);
    runner.for_ms(2000);
    const std::string unknown = name + ": receive unknown message type";
    const std::string undecodable = name + ": receive : decode error!";
    EXPECT_EQ(errors.own_texts(), (std::vector<std::string>{unknown, undecodable}));
    // An answer ends both with their counts.
    agent.link().send(testing_core::Frame(bodies[0]));
    ASSERT_TRUE(runner.until([&] { return errors.own_texts().size() == 4; }));
    const ConditionLines unknowns = Account(errors.texts(), unknown);
    const ConditionLines undecodables = Account(errors.texts(), undecodable);
    EXPECT_TRUE(unknowns.ended && undecodables.ended);
    EXPECT_EQ(unknowns.counted, 1u);
    EXPECT_EQ(undecodables.counted, 58u);
}

TEST_F(MonitoringTest, DisplaySendsTrapSinksAndOneSetBatch) {
    ASSERT_TRUE(runner.until([this] { return !agent.Messages().empty(); }, 1000));
    size_t before = agent.Messages().size();

    LGCP::Command receivers;
    auto& list = receivers.select_display().select_snmpTrapReceivers();
    list.push_back(ASN1::IA5String("10.0.0.1"));
    list.push_back(ASN1::IA5String("10.0.0.2:162"));
    fake::server.Begin(-1, 3);
    EXPECT_TRUE(ctl.OnCommand(receivers));
    auto answers = fake::server.Take();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].kind, fake::Sent::success);

    LGCP::Command board;
    LGCP::BoardStatusParams& status = board.select_display().select_board().select_boardStatus();
    status.set_position(2);
    status.set_version(std::vector<char>{'1', '.', '4'});
    status.set_status(LGCP::ExtBoardStatus::ready);
    status.set_type(LGCP::ExtBoardType::fxs);
    EXPECT_TRUE(ctl.OnCommand(board));

    ASSERT_TRUE(runner.until([&] { return agent.Messages().size() == before + 2; }, 1000));
    auto messages = agent.Messages();
    const MON::Command& sinks = messages[before].get_pdu().get_command();
    ASSERT_TRUE(sinks.snmp_trapsink_set_isSelected());
    const auto& entries = sinks.get_snmp_trapsink_set().get_trapsinks();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(static_cast<const std::string&>(entries[0].get_host()), "10.0.0.1");
    EXPECT_FALSE(entries[0].port_isPresent());
    EXPECT_EQ(static_cast<const std::string&>(entries[1].get_host()), "10.0.0.2:162");

    const MON::Command& set = messages[before + 1].get_pdu().get_command();
    ASSERT_TRUE(set.snmp_set_isSelected());
    const auto& commands = set.get_snmp_set().get_commands();
    ASSERT_EQ(commands.size(), 3u);
    const char* names[] = {"extBoardStatus", "extBoardSoftVer", "extBoardType"};
    const char* values[] = {"3", "1.4", "2"};
    int uniq = commands[0].get_uniq().getValue();
    for (size_t i = 0; i < 3; ++i) {
        const MON::IniName& id = commands[i].get_id().get_name();
        EXPECT_EQ(static_cast<const std::string&>(id.get_section()), "extBoardTable");
        EXPECT_EQ(static_cast<const std::string&>(id.get_name()), names[i]);
        EXPECT_EQ(id.get_index().getValue(), 2);
        EXPECT_EQ(static_cast<const std::string&>(commands[i].get_value()), values[i]);
        // One running number per value and per agent kind that is there: one here.
        EXPECT_EQ(commands[i].get_uniq().getValue(), uniq + static_cast<int>(i));
    }

    // Stored only: nothing more goes out.
    LGCP::Command channel;
    channel.select_display().select_board().select_boardChannelStatus();
    EXPECT_TRUE(ctl.OnCommand(channel));
    runner.for_ms(100);
    EXPECT_EQ(agent.Messages().size(), before + 2);
    fake::server.End();
}

TEST_F(MonitoringTest, ExtensionBoardCountersAreBounded) {
    auto counter = [this](int id, int cnt) {
        LGCP::Command command;
        LGCP::TermCounter& c = command.select_display().select_termCounter();
        c.set_owner(LGCP::TermCounterOwner::extBoard);
        c.set_ownerId(id);
        c.set_cnt(cnt);
        fake::server.Begin(-1, 1);
        EXPECT_TRUE(ctl.OnCommand(command));
        fake::server.End();
    };
    for (size_t id = 0; id < MonitoringCtl::kMaxExtBoards; ++id) counter(static_cast<int>(id), 1);
    EXPECT_EQ(ctl.extBoardCounters(), MonitoringCtl::kMaxExtBoards);
    counter(100000, 5);
    EXPECT_EQ(ctl.extBoardCounters(), MonitoringCtl::kMaxExtBoards);
    EXPECT_EQ(errors.count("monitoring: counter of extension board 100000 ignored: more than 256 boards."),
              1u);
    counter(7, 9);  // a known board still updates
    EXPECT_EQ(ctl.extBoardCounters(), MonitoringCtl::kMaxExtBoards);
}

TEST_F(MonitoringTest, FramerUpdatesOnlyItsIndicatorBitAndOtherCommandsAreNotClaimed) {
    LGCP::Command framer;
    LGCP::FramerInfo& info = framer.select_display().select_framer();
    info.set_e1(2);
    info.set_info().select_link(true);
    fake::server.Begin(-1, 1);
    EXPECT_TRUE(ctl.OnCommand(framer));
    EXPECT_EQ(ctl.indicators(), 0x10);
    info.set_info().select_line(true);
    EXPECT_TRUE(ctl.OnCommand(framer));
    EXPECT_EQ(ctl.indicators(), 0x30);
    info.set_info().select_link(false);
    EXPECT_TRUE(ctl.OnCommand(framer));
    EXPECT_EQ(ctl.indicators(), 0x20);
    LGCP::Command ping;
    ping.select_ping();
    EXPECT_FALSE(ctl.OnCommand(ping));
    fake::server.End();
}

TEST_F(MonitoringTest, SetBatchesAreCutToWhatTheAgentCanDecode) {
    ASSERT_TRUE(runner.until([this] { return !agent.Messages().empty(); }, 1000));
    size_t before = agent.Messages().size();
    // 300 values in one loop pass: at most 128 to a message, in the order given.
    for (int i = 0; i < 300; ++i) ctl.agents().Send(SnmpAgentCtrl::extBoardTermCnt, i, std::to_string(i));
    ASSERT_TRUE(runner.until([&] { return agent.Frames().size() == before + 3; }, 1000));
    auto messages = agent.Messages();
    ASSERT_EQ(messages.size(), before + 3);
    const size_t sizes[] = {128, 128, 44};
    int index = 0;
    for (size_t m = 0; m < 3; ++m) {
        const MON::Command& set = messages[before + m].get_pdu().get_command();
        ASSERT_TRUE(set.snmp_set_isSelected());
        const auto& commands = set.get_snmp_set().get_commands();
        ASSERT_EQ(commands.size(), sizes[m]);
        for (const auto& command : commands) {
            EXPECT_EQ(command.get_id().get_name().get_index().getValue(), index);
            EXPECT_EQ(static_cast<const std::string&>(command.get_value()), std::to_string(index));
            ++index;
        }
    }

    // Long values: a message stays below the largest frame, so none is refused.
    before = messages.size();
    const std::string version(10000, 'v');
    for (int i = 0; i < 7; ++i) ctl.agents().Send(SnmpAgentCtrl::extBoardSoftVer, i, version);
    ASSERT_TRUE(runner.until([&] { return agent.Frames().size() == before + 2; }, 1000));
    messages = agent.Messages();
    index = 0;
    for (size_t m = 0; m < 2; ++m) {
        const auto& commands = messages[before + m].get_pdu().get_command().get_snmp_set().get_commands();
        ASSERT_EQ(commands.size(), m == 0 ? 5u : 2u);
        for (const auto& command : commands)
            EXPECT_EQ(command.get_id().get_name().get_index().getValue(), index++);
    }
    EXPECT_EQ(errors.count_prefix("Control::Service::Send()"), 0u);
}

TEST_F(MonitoringTest, RunningNumberWrapsToOneAfterTheLargestInt) {
    ASSERT_TRUE(runner.until([this] { return !agent.Messages().empty(); }, 1000));
    size_t before = agent.Messages().size();
    const int last = std::numeric_limits<int>::max();
    // Only this agent's kind is there: one number per value.
    ctl.agents().set_uniq(last - 1);
    ctl.agents().Send(SnmpAgentCtrl::powerStatus, "1");
    ctl.agents().Send(SnmpAgentCtrl::powerStatus, "2");
    EXPECT_EQ(ctl.agents().uniq(), 1);
    ASSERT_TRUE(runner.until([&] { return agent.Frames().size() == before + 1; }, 1000));
    auto messages = agent.Messages();
    const auto& commands = messages[before].get_pdu().get_command().get_snmp_set().get_commands();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0].get_uniq().getValue(), last);
    EXPECT_EQ(commands[1].get_uniq().getValue(), 1);
}

// The set commands of the snmp-set messages received, as "name/index=value".
std::vector<std::string> SetValues(FakeAgent& agent, std::vector<int>* uniqs = nullptr) {
    std::vector<std::string> out;
    for (const auto& m : agent.Messages()) {
        const MON::Command& c = m.get_pdu().get_command();
        if (!c.snmp_set_isSelected()) continue;
        for (const auto& command : c.get_snmp_set().get_commands()) {
            const MON::IniName& id = command.get_id().get_name();
            out.push_back(static_cast<const std::string&>(id.get_name()) + "/" +
                          std::to_string(id.get_index().getValue()) + "=" +
                          static_cast<const std::string&>(command.get_value()));
            if (uniqs != nullptr) uniqs->push_back(command.get_uniq().getValue());
        }
    }
    return out;
}

TEST_F(MonitoringTest, AgentThatConnectsLaterGetsEveryBoardAndPhoneAndOnlyItGetsThem) {
    fake::server.Begin(-1, 1);
    for (int position : {1, 2}) {
        LGCP::Command board;
        LGCP::BoardStatusParams& status = board.select_display().select_board().select_boardStatus();
        status.set_position(position);
        status.set_version(std::vector<char>{'v', static_cast<char>('0' + position)});
        status.set_status(LGCP::ExtBoardStatus::ready);
        status.set_type(LGCP::ExtBoardType::fxs);
        EXPECT_TRUE(ctl.OnCommand(board));
    }
    for (int id : {5, 6}) {
        LGCP::Command phone;
        LGCP::EmPhoneStatusParams& status = phone.select_display().select_emPhone().select_phoneStatus();
        status.set_id(id);
        status.set_panelSV(std::vector<char>{'p'});
        status.set_ctrlSV(std::vector<char>{'c'});
        status.set_fpgaSV(std::vector<char>{'f'});
        status.set_status(LGCP::EmPhoneStatus::ready);
        status.set_powerStatus(LGCP::POWERStatus::both);
        status.set_mode(LGCP::EmPhoneMode::active);
        status.set_hookStatus(LGCP::EmPhoneConnectionStatus::connected);
        status.set_baseStatus(LGCP::EmPhoneConnectionStatus::connected);
        EXPECT_TRUE(ctl.OnCommand(phone));
    }
    fake::server.End();
    runner.for_ms(100);
    const size_t firstHad = SetValues(agent).size();

    FakeAgent late;
    auto instance = std::make_unique<SnmpAgentInstance>(SnmpAgentInstance::vaku, "vaku", late.address());
    SnmpAgentInstance* lateLink = instance.get();
    instance->Bind(&ctl);
    ctl.agents().Add(std::move(instance));
    ASSERT_TRUE(runner.until([&] { return late.Accept() && lateLink->IsConnected(); }));
    runner.for_ms(100);

    std::vector<int> uniqs;
    const std::vector<std::string> values = SetValues(late, &uniqs);
    for (const char* expected :
         {"extBoardSoftVer/1=v1", "extBoardSoftVer/2=v2", "emPhoneStatus/5=2", "emPhoneStatus/6=2"})
        EXPECT_EQ(1, std::count(values.begin(), values.end(), expected)) << expected;
    // One running number per value: this agent is the only one that receives them.
    for (size_t i = 1; i < uniqs.size(); ++i) EXPECT_EQ(uniqs[i - 1] + 1, uniqs[i]);
    EXPECT_EQ(firstHad, SetValues(agent).size());  // the replay is not the first agent's
}

LGCP::POWERStatus::NamedNumber Both() {
    return LGCP::POWERStatus::both;
}

TEST_F(MonitoringTest, ConnectSendsThePowerSignal) {
    MonitoringCtl::SetPowerSource(&Both);
    fake::server.Take();
    ctl.OnConnect();
    auto sent = fake::server.Take();
    ASSERT_EQ(sent.size(), 1u);
    ASSERT_TRUE(sent[0].value.power_isSelected());
    EXPECT_EQ(static_cast<int>(sent[0].value.get_power().asInt()), 3);
    EXPECT_EQ(ctl.controllerStatus(), 1);
    fake::server.connected = false;
    ctl.OnDisconnect();
    EXPECT_EQ(ctl.controllerStatus(), 4);
    MonitoringCtl::SetPowerSource(nullptr);
}

TEST(SnmpAgentConfig, EverySnmpagentSectionMakesALink) {
    IniFile::File file;
    std::istringstream in(
        "[snmpagent]\nhost = 127.0.0.1:7001\nname = vaku\n"
        "[snmpagent]\nhost = 127.0.0.1:7002\nname = lemzgw.mb\n"
        "[snmpagent]\nhost = 127.0.0.1:7003\nname = nosuch\n");
    file.IntOpenStream(in);
    LineCapture errors{std::cerr};
    SnmpAgentCtrl ctrl;
    ctrl.Configure(file, nullptr);
    ASSERT_EQ(ctrl.agents().size(), 2u);
    EXPECT_EQ(ctrl.agents()[0]->type(), SnmpAgentInstance::vaku);
    EXPECT_EQ(ctrl.agents()[1]->name(), "lemzgw.mb");
    EXPECT_EQ(ctrl.agents()[1]->link().service_name(), "snmpagent.lemzgw.mb 127.0.0.1:7002");
    EXPECT_FALSE(errors.texts().empty());
    ctrl.Clear();
}

}  // namespace
