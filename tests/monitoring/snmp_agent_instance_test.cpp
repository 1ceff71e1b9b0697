// An SNMP agent link left an hour with an agent that never works, on the driven loop
// clock against a loopback agent: what the log keeps of it, and the count its first
// answer writes.
#include "monitoring/snmp_agent_instance.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "monitoring/monitoring_ctl.h"
#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/monitoring/agent_link.h"
#include "tests/server/fake_snmp_agent.h"
#include "tests/slots/fake_server.h"

namespace {

using testing_core::Bytes;
using testing_core::DrivenClock;
using testing_core::Frame;
using testing_core::LineCapture;
using testing_core::Runner;
using testing_monitoring::Encoded;
using testing_monitoring::FakeAgent;
using testing_monitoring::PingResponse;

constexpr unsigned kHour = 3600 * 1000;

// How an agent that never works behaves with each connection it takes, and the
// lasting condition that stands for it in the log.
struct Behaviour {
    enum Condition { Sessions, Frames };

    const char* name;
    bool close_at_once;
    std::string answer;  // sent for each frame received; nothing when empty
    Condition condition;
    std::vector<std::string> framing;  // the first lines of the framing faults its answers make
};

std::ostream& operator<<(std::ostream& os, const Behaviour& b) {
    return os << b.name;
}

std::vector<Behaviour> Behaviours() {
    MON::Message command;
    command.set_pdu().select_command().select_ping();
    return {
        {"AcceptsAndCloses", true, "", Behaviour::Sessions, {}},
        {"NeverAnswers", false, "", Behaviour::Sessions, {}},
        {"AnswersUndecodableFrames", false, Frame("\xFF"), Behaviour::Frames, {}},
        {"AnswersUnknownTypes", false, Frame(Encoded(command)), Behaviour::Frames, {}},
        // Bytes before a frame start, a bad reserved octet, a length below the header's
        // and a frame cut short: no frame ever arrives.
        {"BreaksTheFraming",
         false,
         Bytes({1, 2, 3, 7, 3, 0, 0, 2, 3, 0, 0, 9, 1}),
         Behaviour::Sessions,
         {"(no name) bad TPKT packet start. 2 bytes skipped.", "(no name) bad TPKT reserved.",
          "TPKT too small 2", " TPKT packet timeout."}},
    };
}

class WaitingAgentTest : public testing::TestWithParam<Behaviour> {
protected:
    void SetUp() override { link = testing_monitoring::AddAgentLink(ctl, agent.address()); }
    void TearDown() override { ctl.agents().Clear(); }

    // Runs the loop for ms, or until done holds, the agent acting on every pass as it
    // is told.
    void Serve(const Behaviour& behaviour, unsigned ms, const std::function<bool()>& done = nullptr) {
        runner.until(
            [&] {
                Step(behaviour);
                return done && done();
            },
            ms);
    }
    void Step(const Behaviour& behaviour) {
        const bool fresh = !linked;
        if (!agent.Accept()) return;
        if (fresh) {
            ++sessions;
            linked = true;
            frames = 0;
        }
        if (behaviour.close_at_once || agent.link().eof()) {
            agent.Drop();
            linked = false;
            return;
        }
        for (const size_t now = agent.Frames().size(); frames < now; ++frames) {
            if (behaviour.answer.empty()) continue;
            agent.link().send(behaviour.answer);
            ++answers;
        }
    }

    // The lines written on any stream; those that name the agent.
    std::vector<std::string> All() const {
        std::vector<std::string> out;
        for (const LineCapture* capture : {&notices, &log, &errors})
            for (const std::string& text : capture->own_texts()) out.push_back(text);
        return out;
    }
    std::vector<std::string> Naming() const {
        std::vector<std::string> out = All();
        std::erase_if(
            out, [&](const std::string& text) { return text.find(agent.address()) == std::string::npos; });
        return out;
    }

    // Every socket event of the test is between loopback sockets of this thread, ready
    // as soon as the call that causes it returns.
    DrivenClock clock{5};
    LineCapture notices{std::cout};
    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    Runner runner;
    FakeAgent agent;
    MonitoringCtl ctl;
    SnmpAgentInstance* link = nullptr;
    bool linked = false;  // the agent holds a connection
    size_t sessions = 0;  // connections the agent took
    size_t frames = 0;    // received in this session
    size_t answers = 0;   // sent
};

TEST_P(WaitingAgentTest, AnHourOfItIsAFewLinesAndItsFirstAnswerWritesTheCount) {
    const Behaviour& behaviour = GetParam();
    const std::string name = "snmpagent.lemzgw " + agent.address();
    const std::string connected = "connected to " + agent.address() + ".";
    const std::string closed = "control connection " + agent.address() + " closed.";
    const std::string timeout = name + ": ping timeout !!!";
    Serve(behaviour, kHour);
    const std::vector<std::string> hour = Naming();
    EXPECT_LE(hour.size(), 8u) << testing::PrintToString(hour);
    // The framing lines name no one: each kind is written once.
    EXPECT_EQ(hour.size() + behaviour.framing.size(), All().size()) << testing::PrintToString(All());
    for (const std::string& line : behaviour.framing) EXPECT_EQ(1u, log.count(line)) << line;
    EXPECT_EQ(1u, notices.count(connected));
    const size_t bad_answers = answers;

    // The agent works again: its first answer ends the condition with its count.
    const std::string first =
        behaviour.condition == Behaviour::Sessions ? closed : errors.first_with(name + ": receive");
    const Behaviour good{"Good", false, Frame(PingResponse()), Behaviour::Sessions, {}};
    Serve(good, 60000, [&] { return Account(errors.texts(), first).ended; });
    const ConditionLines c = Account(errors.texts(), first);
    EXPECT_TRUE(c.ended);
    if (behaviour.condition == Behaviour::Sessions) {
        // Every session but the good one failed alike: a session every 10 s, or 35 s of
        // pings and 10 s to the next one.
        EXPECT_EQ(sessions - 1, c.counted);
        EXPECT_GE(c.counted, behaviour.close_at_once ? 300u : 75u);
        EXPECT_EQ(behaviour.close_at_once ? 0u : 1u, log.count(timeout));
        // The good session's connection, held back, follows the count.
        ASSERT_EQ(2u, notices.count(connected));
        EXPECT_GE(*notices.time_of(connected, 1), *errors.time_of(errors.first_with(closed + " (ended; ")));
    } else {
        // Any frame keeps the link: one session, whose answers were all of the kind.
        EXPECT_EQ(1u, sessions);
        EXPECT_EQ(bad_answers, c.counted);
    }
    for (const std::string& line : behaviour.framing) EXPECT_TRUE(Account(log.texts(), line).ended) << line;
}

INSTANTIATE_TEST_SUITE_P(Agents, WaitingAgentTest, testing::ValuesIn(Behaviours()),
                         [](const testing::TestParamInfo<Behaviour>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
