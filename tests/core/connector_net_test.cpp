// The TCP connector: retry schedule on a driven clock, connection and reconnection.
#include "core/connector_net.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/acceptor_net.h"
#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"

using namespace testing_core;

namespace {

// A loopback port on which nothing listens: held bound without listen(), so that a
// connection is refused and no parallel test can be given the port meanwhile.
class ClosedPort {
public:
    ClosedPort() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) { EXPECT_EQ(0, BindLoopback(fd_)); }
    ~ClosedPort() { ::close(fd_); }
    ClosedPort(const ClosedPort&) = delete;
    ClosedPort& operator=(const ClosedPort&) = delete;
    uint16_t port() const { return LocalPort(fd_); }

private:
    int fd_;
};

TEST(RetryRule, SevenQuickRetriesThenTheLongDelay) {
    Control::RetryRule rule;
    EXPECT_EQ(12000u, rule.next_delay(12000));  // nothing before activation
    rule.restart();
    for (int i = 0; i < 7; ++i) EXPECT_EQ(1000u, rule.next_delay(20000));
    EXPECT_EQ(15000u, rule.next_delay(15000));
    EXPECT_EQ(0, rule.quick_retries());
}

TEST(ConnectorNet, PeerDownIsRetriedSevenTimesQuicklyThenWithTheLongDelayAndLoggedAsOneCondition) {
    DrivenClock driven(1);
    LineCapture errors(std::cerr);
    const ClosedPort closed;
    const std::string peer = "127.0.0.1:" + std::to_string(closed.port());
    Control::ConnectorNet connector(peer);
    Runner run;
    ASSERT_TRUE(connector.Activate());
    std::vector<uint32_t> failed_at;  // loop time of each failed attempt
    ASSERT_TRUE(run.until(
        [&] {
            if (connector.failed_attempts() > failed_at.size()) failed_at.push_back(Mux::milliseconds());
            return failed_at.size() >= 10;
        },
        120000));
    ASSERT_EQ(1u, errors.lines().size());
    const std::string first = errors.lines()[0].text;
    const bool refused_at_once = first.rfind("can't connect to " + peer + " : ", 0) == 0;
    ASSERT_TRUE(refused_at_once || first == "fail to connect to " + peer) << first;
    for (size_t i = 0; i + 1 < failed_at.size(); ++i)
        EXPECT_EQ(i < 7             ? 1000u
                  : refused_at_once ? 20000u
                                    : 15000u,
                  failed_at[i + 1] - failed_at[i])
            << "after failure " << i;

    // An hour of it: a reminder every ten minutes, and the count when the connector stops.
    run.for_ms(3600 * 1000);
    connector.Deactivate();
    const auto& lines = errors.lines();
    for (size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_GE(lines[i].ms - lines[i - 1].ms, 600000u);
    const ConditionLines c = Account(errors.texts(), first);
    EXPECT_EQ(lines.size(), c.written + 1);
    EXPECT_LE(c.written, 7u);
    EXPECT_TRUE(c.still_on) << "the peer was still down";
    EXPECT_FALSE(c.ended);
    EXPECT_EQ(connector.failed_attempts(), c.counted);
    EXPECT_GT(c.counted, 170u);
    EXPECT_EQ(0, connector.quick_retries());
    EXPECT_FALSE(connector.retry_pending());
    EXPECT_EQ(Control::State::Idle, connector.GetState());
}

TEST(ConnectorNet, NoSocketIsLoggedWithItsOwnReasonAndEndsTheActivation) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    LineCapture errors(std::cerr);
    const ClosedPort closed;
    Control::ConnectorNet connector("127.0.0.1:" + std::to_string(closed.port()));
    {
        NoFreeDescriptor limit;
        connector.Activate();
    }
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ(std::string("can't create socket:") + std::strerror(EMFILE), errors.lines()[0].text);
    EXPECT_EQ(Control::State::Idle, connector.GetState());
    EXPECT_FALSE(connector.retry_pending());
}

TEST(ConnectorNet, ConnectsExchangesAndReconnectsTenSecondsAfterALoss) {
    DrivenClock driven;
    LineCapture notices(std::cout);
    LineCapture errors(std::cerr);
    RecordingNotify server_owner, client_owner;
    Control::AcceptorNet acceptor(0);
    acceptor.bind_address("127.0.0.1");
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    const std::string peer = "127.0.0.1:" + std::to_string(acceptor.local_port());
    Control::ConnectorNet connector("127.0.0.1", acceptor.local_port());
    connector.Bind(&client_owner);
    connector.service_name("snmpagent.test " + peer);
    Runner run;
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(run.until([&] { return client_owner.connects == 1 && server_owner.connects == 1; }));
    EXPECT_EQ(1u, notices.count("connected to " + peer + "."));
    EXPECT_EQ(peer, connector.GetAddr());

    connector.Send("ping", 4);
    ASSERT_TRUE(run.until([&] { return server_owner.bodies.size() == 1; }));
    acceptor.Send("pong", 4);
    ASSERT_TRUE(run.until([&] { return client_owner.bodies.size() == 1; }));
    EXPECT_EQ("ping", server_owner.bodies[0]);
    EXPECT_EQ("pong", client_owner.bodies[0]);

    uint32_t lost_at = 0;
    client_owner.on_disconnect = [&] { lost_at = Mux::milliseconds(); };
    acceptor.Disconnect();
    ASSERT_TRUE(run.until([&] { return client_owner.disconnects == 1; }));
    EXPECT_TRUE(connector.retry_pending());
    ASSERT_TRUE(run.until([&] { return client_owner.connects == 2; }, 20000));
    EXPECT_EQ(lost_at + 10000, Mux::milliseconds());
    EXPECT_EQ(7, connector.quick_retries());
    connector.Deactivate();
    acceptor.Deactivate();
}

// A loss whose notice is still pending when the owner deactivates the connector is
// not reported afterwards, and the connector does not come back to connect again.
TEST(ConnectorNet, DeactivateWhileALossIsPendingEndsItForGood) {
    DrivenClock driven;
    LineCapture notices(std::cout);
    LineCapture errors(std::cerr);
    RecordingNotify server_owner, client_owner;
    Control::AcceptorNet acceptor(0);
    acceptor.bind_address("127.0.0.1");
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    Control::ConnectorNet connector("127.0.0.1", acceptor.local_port());
    connector.Bind(&client_owner);
    Runner run;
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(run.until([&] { return client_owner.connects == 1 && server_owner.connects == 1; }));

    connector.Disconnect();
    ASSERT_EQ(Control::State::Deactivating, connector.GetState());
    connector.Deactivate();
    EXPECT_EQ(Control::State::Idle, connector.GetState());
    run.for_ms(30000);
    EXPECT_EQ(Control::State::Idle, connector.GetState());
    EXPECT_EQ(0, client_owner.disconnects);
    EXPECT_FALSE(connector.retry_pending());
    EXPECT_EQ(1, client_owner.connects);
    EXPECT_EQ(1, server_owner.connects);
    acceptor.Deactivate();
}

TEST(ConnectorNet, UnparsableHostFailsTheAttemptWithALine) {
    DrivenClock driven;
    LineCapture notices(std::cout);
    LineCapture errors(std::cerr);
    LineCapture logs(std::clog);
    // Something listens on this machine, where 0.0.0.0 leads.
    RecordingNotify server_owner, client_owner;
    Control::AcceptorNet acceptor(0);
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    Control::ConnectorNet connector("not-an-address", acceptor.local_port());
    connector.Bind(&client_owner);
    Runner run;
    ASSERT_TRUE(connector.Activate());
    run.for_ms(3500);
    EXPECT_EQ(0, client_owner.connects);
    EXPECT_EQ(0, server_owner.connects);
    EXPECT_EQ(Control::State::Connecting, connector.GetState());
    EXPECT_TRUE(connector.retry_pending());
    EXPECT_GE(connector.failed_attempts(), 3u);  // the quick retries going on, under one line
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ("can't connect to not-an-address:" + std::to_string(acceptor.local_port()) + " : bad address",
              errors.lines()[0].text);
    connector.Deactivate();
    // The configuration's form, address and port in one text.
    errors.clear();
    Control::ConnectorNet configured("not-an-address:7001");
    ASSERT_TRUE(configured.Activate());
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ("can't connect to not-an-address:7001 : bad address", errors.lines()[0].text);
    configured.Deactivate();
    acceptor.Deactivate();
}

TEST(ConnectorNet, DisconnectWithoutAConnectionDoesNothing) {
    DrivenClock driven;
    LineCapture errors(std::cerr);
    RecordingNotify owner;
    const ClosedPort closed;
    Control::ConnectorNet connector("127.0.0.1", closed.port());
    connector.Bind(&owner);
    Runner run;
    connector.Disconnect();  // idle
    run.for_ms(100);
    EXPECT_EQ(Control::State::Idle, connector.GetState());
    EXPECT_FALSE(connector.retry_pending());
    ASSERT_TRUE(connector.Activate());
    run.for_ms(100);  // connecting: the first attempt failed, a quick retry waits
    const size_t lines = errors.lines().size();
    connector.Disconnect();
    run.for_ms(500);
    EXPECT_EQ(Control::State::Connecting, connector.GetState());
    EXPECT_EQ(lines, errors.lines().size());
    EXPECT_EQ(0, owner.disconnects);
    EXPECT_EQ(6, connector.quick_retries());
    connector.Deactivate();
}

}  // namespace
