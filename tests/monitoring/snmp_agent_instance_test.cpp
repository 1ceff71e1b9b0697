// An SNMP agent link left with an agent that does not keep working, on the driven loop
// clock against a loopback agent: what the log keeps of an hour of it, the counts the
// daemon's stop writes, and an agent that works again.
#include "monitoring/snmp_agent_instance.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <random>
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
    unsigned hours = 1;        // served before the stop
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
        {.name = "AnswersUndecodableFrames",
         .first_closes = true,
         .answer = Frame("\xFF"),
         .junk = true,
         .hours = 2},
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
            if (sent == 0) first_answer_at = Mux::milliseconds();
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

    // The loop times of the lines that name the agent, in order.
    std::vector<uint32_t> NamingTimes() const {
        std::vector<uint32_t> at;
        for (const LineCapture* capture : {&notices, &errors, &log})
            for (const LineCapture::Line& line : capture->lines())
                if (line.text.find(agent.address()) != std::string::npos) at.push_back(line.ms);
        std::stable_sort(at.begin(), at.end());
        return at;
    }

    // A session that keeps working after a line that said the sessions failed writes
    // its connection then: its answer 30 s after its first, at the next ping.
    void ExpectConnectedOnceWorking(size_t nth) {
        Serve(Good(), 40000, [&] { return notices.count(connected) == nth + 1; });
        ASSERT_EQ(nth + 1, notices.count(connected));
        const uint32_t at = *notices.time_of(connected, nth);
        EXPECT_GE(at, first_answer_at + SnmpAgentInstance::kReceiveTimeout);
        EXPECT_LE(at, first_answer_at + 35000);
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
    uint32_t first_answer_at = 0;  // in this session
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
    const std::string junk_line = errors.first_with(name + ": receive");
    if (behaviour.junk) {
        // The junk of a counted session is reminded every ten minutes all the same.
        Serve(behaviour, (behaviour.hours - 1) * kHour);
        std::vector<uint32_t> at;
        for (const LineCapture::Line& line : errors.lines())
            if (line.text.rfind(junk_line, 0) == 0) at.push_back(line.ms);
        ASSERT_EQ(6u * behaviour.hours, at.size());
        for (size_t i = 1; i < at.size(); ++i) EXPECT_EQ(LastingCondition::kReminder, at[i] - at[i - 1]);
    }

    Stop(behaviour);
    // Still failing at the stop, which says so.
    const ConditionLines ended = Account(errors.texts(), closed);
    EXPECT_TRUE(ended.still_on);
    EXPECT_FALSE(ended.ended);
    // No session kept working: only the first is written.
    EXPECT_EQ(1u, notices.count(connected));
    if (behaviour.junk) {
        // Any frame keeps the link: the first session's end, and one session counted
        // to the last, with its junk.
        EXPECT_EQ(2u, sessions);
        EXPECT_EQ(2u, ended.counted);
        const ConditionLines junk = Account(errors.texts(), junk_line);
        EXPECT_EQ(answers, junk.counted);
        EXPECT_TRUE(junk.still_on);
        return;
    }
    // Every session ended, or was cut short by the stop.
    const bool quick = behaviour.close_at_once || behaviour.close_after_answer;
    EXPECT_GE(sessions, behaviour.every_other ? 100u : quick ? 300u : 75u);
    EXPECT_EQ(sessions, ended.counted);
    // Only the first session's ping time-out is written.
    const bool times_out = !behaviour.close_at_once && !behaviour.close_after_answer;
    EXPECT_EQ(times_out ? 1u : 0u, log.count(name + ": ping timeout !!!"));
    if (behaviour.name == std::string("BreaksTheFraming")) {
        for (const std::string& line : kFraming) EXPECT_EQ(answers, Account(log.texts(), line).counted) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Agents, WaitingAgentTest, testing::ValuesIn(Behaviours()),
                         [](const testing::TestParamInfo<Behaviour>& info) {
                             return std::string(info.param.name);
                         });

// Restarted once, after a quiet hour: the closed line, the next session's connection
// once it keeps working and the end at once. Restarted again 20 minutes later: the
// closed line and the connection, the end in its turn.
TEST_F(AgentLinkTest, ARestartedAgentReadsAsOneWhenItsNextSessionKeepsWorking) {
    Serve(Good(), 5 * kMinute);
    for (size_t restart = 1; restart <= 2; ++restart) {
        Drop();
        Serve(Good(), kMinute, [&] { return sessions == restart + 1 && sent > 0; });
        ExpectConnectedOnceWorking(restart);
        if (restart == 1) {
            EXPECT_EQ(1u, errors.count_prefix(closed + " (ended; "));
        }
        Serve(Good(), 20 * kMinute);
    }
    EXPECT_EQ(3u, sessions);
    EXPECT_EQ(2u, errors.count(closed));
    EXPECT_EQ(2u, errors.count_prefix(closed + " (ended; "));
    EXPECT_EQ(7u, NamingTimes().size());
}

// Sessions that work a while and close, or close at once: for an hour each works 40 s
// (the most lines), then for an hour a mix. Their condition writes at most 2 + 6 lines
// an hour, and a connection beside each of its lines that said the sessions failed,
// 14 in all; every session that ended is counted.
TEST_F(AgentLinkTest, SessionsThatWorkAWhileAndCloseWriteAtMostFourteenLinesAnHour) {
    const unsigned spans[] = {0, 35000, 40000, 5 * kMinute, 9 * kMinute, 11 * kMinute};
    std::mt19937 random(51);
    const uint32_t start = Mux::milliseconds();
    for (uint32_t now = start; now - start < 2 * kHour; now = Mux::milliseconds()) {
        Serve(Good(), kMinute, [&] { return linked; });
        Serve(Good(), now - start < kHour ? 40000 : spans[random() % std::size(spans)]);
        Drop();
    }
    runner.for_ms(5000);  // the last end is read; the next attempt waits 10 s
    ctl.agents().Clear();
    EXPECT_LE(MostInAnHour(NamingTimes()), 14u);
    EXPECT_EQ(sessions, Account(errors.texts(), closed).counted);
}

// A hung agent: its ping time-out and closed line, then the restarted agent's
// connection once it keeps working.
TEST_F(AgentLinkTest, AHungAgentTimedOutAndRestartedReadsAsOne) {
    const Behaviour hung = Behaviours()[1];
    Serve(hung, 2 * kMinute, [&] { return errors.count(closed) == 1; });
    ASSERT_EQ(1u, log.count(name + ": ping timeout !!!"));
    Serve(Good(), kMinute, [&] { return sessions == 2 && sent > 0; });
    ExpectConnectedOnceWorking(1);
    // The end waits its turn, ten minutes after the closed line.
    Serve(Good(), 10 * kMinute);
    const std::string end = errors.first_with(closed + " (ended; ");
    ASSERT_FALSE(end.empty());
    EXPECT_EQ(*errors.time_of(closed) + LastingCondition::kReminder, *errors.time_of(end));
}

// Keeping working takes an answer 30 s after the first: two answers within 30 s and a
// close are one more failed session.
TEST_F(AgentLinkTest, TwoAnswersWithinThirtySecondsAreNoWorkingSession) {
    const Behaviour silent = Behaviours()[1];
    Serve(silent, 2 * kMinute, [&] { return errors.count(closed) == 1; });
    Serve(Good(), kMinute, [&] { return sessions == 2 && sent == 2; });
    ASSERT_EQ(2u, sent);
    ASSERT_LT(Mux::milliseconds() - first_answer_at, SnmpAgentInstance::kReceiveTimeout);
    Drop();
    Serve(silent, 11 * kMinute);
    EXPECT_EQ(1u, notices.count(connected));
    EXPECT_FALSE(Account(errors.texts(), closed).ended);
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
