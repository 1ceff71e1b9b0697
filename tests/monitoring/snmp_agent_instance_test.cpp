// An SNMP agent link left with an agent that does not keep working, on the driven loop
// clock against a loopback agent: what the log keeps of an hour of it, the counts the
// daemon's stop writes, and an agent that works again.
#include "monitoring/snmp_agent_instance.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
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

constexpr unsigned kMinute = 60 * 1000;
constexpr unsigned kHour = 60 * kMinute;

// The first lines of the framing faults one burst of BreaksTheFraming makes: bytes
// before a frame start, a bad reserved octet, a length below the header's and a frame
// cut short.
const std::vector<std::string> kFraming = {"(no name) bad TPKT packet start. 2 bytes skipped.",
                                           "(no name) bad TPKT reserved.", "TPKT too small 2",
                                           " TPKT packet timeout."};

// What an agent does with each connection it takes.
struct Behaviour {
    const char* name = "";
    bool close_at_once = false;
    bool first_closes = false;  // only the first session is closed at once
    std::string answer = {};    // sent for each frame received; nothing when empty
    bool once = false;          // only for the first frame of a session
    bool close_after_answer = false;
    bool every_other = false;  // only in the first, third... session
    bool junk = false;         // its answers are frames that are no answer
};

std::ostream& operator<<(std::ostream& os, const Behaviour& b) {
    return os << b.name;
}

Behaviour Good() {
    return {.name = "Good", .answer = Frame(PingResponse())};
}

std::vector<Behaviour> Behaviours() {
    MON::Message command;
    command.set_pdu().select_command().select_ping();
    const std::string response = Frame(PingResponse());
    return {
        {.name = "AcceptsAndCloses", .close_at_once = true},
        {.name = "NeverAnswers"},
        {.name = "AnswersThenCloses", .answer = response, .once = true, .close_after_answer = true},
        {.name = "AnswersEveryOtherSession",
         .answer = response,
         .once = true,
         .close_after_answer = true,
         .every_other = true},
        // Restarted broken: after a first session closed at once, one that lasts.
        {.name = "AnswersUndecodableFrames", .first_closes = true, .answer = Frame("\xFF"), .junk = true},
        {.name = "AnswersUnknownTypes",
         .first_closes = true,
         .answer = Frame(Encoded(command)),
         .junk = true},
        {.name = "BreaksTheFraming", .answer = Bytes({1, 2, 3, 7, 3, 0, 0, 2, 3, 0, 0, 9, 1}), .once = true},
    };
}

class AgentLinkTest : public testing::Test {
protected:
    void SetUp() override {
        link = testing_monitoring::AddAgentLink(ctl, agent.address());
        name = "snmpagent.lemzgw " + agent.address();
        connected = "connected to " + agent.address() + ".";
        closed = "control connection " + agent.address() + " closed.";
    }
    void TearDown() override { ctl.agents().Clear(); }

    // Runs the loop for ms, or until done holds, the agent acting on every pass.
    void Serve(const Behaviour& behaviour, unsigned ms, const std::function<bool()>& done = nullptr) {
        runner.until(
            [&] {
                Step(behaviour);
                return done && done();
            },
            ms);
    }
    void Step(const Behaviour& b) {
        const bool fresh = !linked;
        if (!agent.Accept()) return;
        if (fresh) {
            ++sessions;
            accepted_at = Mux::milliseconds();
            linked = true;
            frames = 0;
            sent = 0;
        }
        if (b.close_at_once || (b.first_closes && sessions == 1) || agent.link().eof()) {
            Drop();
            return;
        }
        const bool answering = !b.every_other || sessions % 2 == 1;
        for (const size_t now = agent.Frames().size(); frames < now; ++frames) {
            if (b.answer.empty() || !answering || (b.once && sent > 0)) continue;
            agent.link().send(b.answer);
            ++sent;
            ++answers;
            if (b.close_after_answer) return Drop();
        }
    }
    void Drop() {
        agent.Drop();
        linked = false;
    }
    // The daemon stops in the middle of a session the agent took: where sessions last,
    // 5 s into one; where they are brief, before the daemon has read their end. Junk
    // is read to the last frame.
    void Stop(const Behaviour& b) {
        const bool brief = b.close_at_once || (b.close_after_answer && !b.every_other);
        Serve(b, 2 * kMinute, [&] {
            return !agent.Waiting() && link->IsConnected() &&
                   (brief || (linked && Mux::milliseconds() - accepted_at >= 5000));
        });
        if (b.junk) runner.for_ms(1);
        EXPECT_FALSE(agent.Waiting());
        ctl.agents().Clear();
    }

    // Each line that names the agent or breaks its framing, by the lasting condition
    // that stands for it.
    std::map<std::string, size_t> ByCondition() const {
        std::map<std::string, size_t> out;
        for (const LineCapture* capture : {&notices, &log, &errors})
            for (const std::string& text : capture->own_texts()) {
                if (text.find(agent.address()) == std::string::npos) {
                    for (const std::string& framing : kFraming) out[framing] += text.rfind(framing, 0) == 0;
                    continue;
                }
                const bool session = text.rfind(connected, 0) == 0 || text.rfind(closed, 0) == 0 ||
                                     text == name + ": ping timeout !!!";
                out[session ? "sessions" : text.substr(0, text.find(" ("))] += 1;
            }
        std::erase_if(out, [](const auto& entry) { return entry.second == 0; });
        return out;
    }

    DrivenClock clock{5};
    LineCapture notices{std::cout};
    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    Runner runner;
    FakeAgent agent;
    MonitoringCtl ctl;
    SnmpAgentInstance* link = nullptr;
    std::string name, connected, closed;
    bool linked = false;  // the agent holds a connection
    size_t sessions = 0;  // connections the agent took
    uint32_t accepted_at = 0;
    size_t frames = 0;   // received in this session
    size_t sent = 0;     // answers sent in this session
    size_t answers = 0;  // sent in all
};

class WaitingAgentTest : public AgentLinkTest, public testing::WithParamInterface<Behaviour> {};

TEST_P(WaitingAgentTest, AnHourOfItIsAFewLinesPerConditionAndTheStopCountsEverySessionAndFrame) {
    const Behaviour& behaviour = GetParam();
    Serve(behaviour, kHour);
    const std::map<std::string, size_t> hour = ByCondition();
    for (const auto& [condition, lines] : hour) EXPECT_LE(lines, 8u) << condition;
    EXPECT_EQ(1u, hour.count("sessions")) << "its first session is written";
    EXPECT_FALSE(Account(errors.texts(), closed).ended) << "no session kept working";

    Stop(behaviour);
    const ConditionLines ended = Account(errors.texts(), closed);
    if (behaviour.junk) {
        // Any frame keeps the link: the first session's end, and one session counted
        // to the last, with its junk.
        EXPECT_EQ(2u, sessions);
        EXPECT_EQ(2u, ended.counted);
        const ConditionLines junk = Account(errors.texts(), errors.first_with(name + ": receive"));
        EXPECT_EQ(answers, junk.counted);
        EXPECT_TRUE(junk.ended);
        return;
    }
    // Every session ended, or was cut short by the stop.
    const bool quick = behaviour.close_at_once || behaviour.close_after_answer;
    EXPECT_GE(sessions, behaviour.every_other ? 100u : quick ? 300u : 75u);
    EXPECT_EQ(sessions, ended.counted);
    EXPECT_TRUE(ended.ended);
    // Only the first session's ping time-out is written.
    const bool times_out = !behaviour.close_at_once && !behaviour.close_after_answer;
    EXPECT_EQ(times_out ? 1u : 0u, log.count(name + ": ping timeout !!!"));
    // A session that answers after the first one's end writes its connection.
    EXPECT_EQ(behaviour.close_after_answer && !behaviour.every_other ? 2u : 1u, notices.count(connected))
        << testing::PrintToString(notices.own_texts()) << testing::PrintToString(errors.own_texts());
    if (behaviour.name == std::string("BreaksTheFraming")) {
        for (const std::string& line : kFraming) {
            const ConditionLines c = Account(log.texts(), line);
            EXPECT_EQ(1u, c.written) << line;
            EXPECT_EQ(answers, c.counted) << line;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Agents, WaitingAgentTest, testing::ValuesIn(Behaviours()),
                         [](const testing::TestParamInfo<Behaviour>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(AgentLinkTest, AHealthyAgentRestartedOnceReadsAtOnce) {
    Serve(Good(), 5 * kMinute);
    ASSERT_EQ(1u, sessions);
    const uint32_t restart = Mux::milliseconds();
    Drop();
    Serve(Good(), kMinute, [&] { return sessions == 2 && sent == 1; });
    ASSERT_EQ(1u, errors.count(closed));
    EXPECT_LE(*errors.time_of(closed), restart + 50);
    // Written by the time of the answer: a pass or two read it.
    const uint32_t answered = Mux::milliseconds();
    ASSERT_TRUE(runner.until([&] { return notices.count(connected) == 2; }, 100));
    EXPECT_LE(*notices.time_of(connected, 1), answered + 50);

    // It keeps working: the end of the condition is written in its turn, ten minutes
    // after the closed line.
    Serve(Good(), 15 * kMinute);
    EXPECT_EQ(2u, sessions);
    std::vector<std::string> naming;
    for (const LineCapture* capture : {&notices, &errors, &log})
        for (const std::string& text : capture->own_texts())
            if (text.find(agent.address()) != std::string::npos) naming.push_back(text);
    ASSERT_EQ(4u, naming.size()) << testing::PrintToString(naming);
    const std::string end = errors.first_with(
        closed +
        " (ended; 0 more like it suppressed since the last line, when it came and went once; it lasted ");
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(*errors.time_of(closed) + LastingCondition::kReminder, *errors.time_of(end));
}

TEST_F(AgentLinkTest, FailingSessionsEndWithTheFirstThatKeepsWorking) {
    const Behaviour silent = Behaviours()[1];
    Serve(silent, 10 * kMinute);
    Serve(silent, kMinute, [&] { return !linked && !link->IsConnected(); });
    const size_t failed = sessions;
    // The next session works: 30 s after its first answer it ends the condition, whose
    // end line comes in its turn, ten minutes after the last line.
    Serve(Good(), 30 * kMinute, [&] { return Account(errors.texts(), closed).ended; });
    const ConditionLines c = Account(errors.texts(), closed);
    ASSERT_TRUE(c.ended);
    EXPECT_EQ(failed + 1, sessions);
    EXPECT_EQ(failed, c.counted);
    EXPECT_TRUE(link->IsConnected());
    EXPECT_EQ(1u, log.count(name + ": ping timeout !!!"));
    // The stop finds a session that works: nothing to count.
    const size_t lines = errors.lines().size();
    ctl.agents().Clear();
    EXPECT_EQ(lines, errors.lines().size());
}

}  // namespace
