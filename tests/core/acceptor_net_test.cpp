// The TCP acceptor's own paths: bind retry and the plain acceptor's refusal.
#include "core/acceptor_net.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>

#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/core/listener_loop_test.h"

using namespace testing_core;

namespace {

TEST(AcceptorNet, PortInUseIsRetriedEveryFiveSecondsUntilItIsFreeUnderOneLine) {
    DrivenClock driven;
    LineCapture errors(std::cerr);
    // Another listener holds the port. A keeper, bound but never listening, stops a
    // parallel test from being given it once the blocker goes.
    const int on = 1;
    int keeper = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, ::setsockopt(keeper, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)));
    ASSERT_EQ(0, BindLoopback(keeper));
    const uint16_t port = LocalPort(keeper);
    int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, ::setsockopt(blocker, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)));
    const sockaddr_in sa = LoopbackAddress(port);
    ASSERT_EQ(0, ::bind(blocker, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
    ASSERT_EQ(0, ::listen(blocker, 1));

    RecordingNotify owner;
    Control::AcceptorNet acceptor(port);
    acceptor.bind_address("127.0.0.1");
    acceptor.Bind(&owner);
    const uint32_t start = Mux::milliseconds();
    ASSERT_TRUE(acceptor.Activate());
    EXPECT_EQ(Control::State::Connecting, acceptor.GetState());
    Runner run;
    run.for_ms(12000);  // attempts at 0, 5 and 10 s
    const std::string text = "can't bind to socket: \"Address already in use\"  waiting...";
    EXPECT_EQ(std::vector<std::string>{text}, errors.texts());

    ::close(blocker);
    ASSERT_TRUE(run.until([&] { return acceptor.local_port() == port; }, 10000));
    EXPECT_EQ(start + 15000, Mux::milliseconds());
    EXPECT_EQ(
        (std::vector<std::string>{
            text,
            text + " (ended; 2 more like it suppressed since the last line; it lasted 15 s, 3 in all)"}),
        errors.texts());
    Client c = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    acceptor.Deactivate();
    ::close(keeper);
    EXPECT_EQ(2u, errors.lines().size());
}

TEST(AcceptorNet, NoSocketIsLoggedWithItsOwnReasonAndFailsTheActivation) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    LineCapture errors(std::cerr);
    Control::AcceptorNet acceptor;
    bool activated = true;
    {
        NoFreeDescriptor limit;
        activated = acceptor.Activate();
    }
    EXPECT_FALSE(activated);
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ(std::string("can't create socket:") + std::strerror(EMFILE), errors.lines()[0].text);
    EXPECT_EQ(Control::State::Idle, acceptor.GetState());
}

// A plain acceptor on a loopback port of its own, with a recording owner.
class LoopbackAcceptor : public testing::Test {
protected:
    void SetUp() override {
        acceptor.bind_address("127.0.0.1");
        acceptor.Bind(&owner);
        ASSERT_TRUE(acceptor.Activate());
    }
    void TearDown() override { acceptor.Deactivate(); }

    LineCapture errors{std::cerr};
    LineCapture notices{std::cout};
    RecordingNotify owner;
    Control::AcceptorNet acceptor{0};
    Runner run;
};

TEST_F(LoopbackAcceptor, NoDescriptorForAWaitingClientPausesTheListenerWithOneLine) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    Client c = Client::Tcp(acceptor.local_port());
    const uint32_t served = multiplexer.event_measure().counter();
    {
        NoFreeDescriptor limit;
        run.for_ms(1500);  // real time: a spinning loop would serve the listener without end
    }
    EXPECT_LT(multiplexer.event_measure().counter() - served, 10u);
    EXPECT_EQ(std::vector<std::string>{std::string("can't accept connection: ") + std::strerror(EMFILE) +
                                       " waiting..."},
              errors.texts());
    EXPECT_EQ(0, owner.connects);
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));  // served once descriptors are free
}

TEST_F(LoopbackAcceptor, PlainAcceptorRefusesWithoutProbing) {
    Client first = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    Client second = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return second.eof(); }));
    EXPECT_EQ(1u, errors.count_prefix("refuse connection from 127.0.0.1:"));
    EXPECT_EQ(0u, errors.count("CheckConnectionState CheckConnection"));
    EXPECT_FALSE(first.eof());
}

TEST_F(LoopbackAcceptor, ASecondControllersRetriesAreOneLineWhichTheFirstOnesLeavingEndsWithTheCount) {
    Client first = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    for (int retry = 0; retry < 20; ++retry) {  // each from a port of its own
        Client second = Client::Tcp(acceptor.local_port());
        ASSERT_TRUE(run.until([&] { return second.eof(); }));
    }
    const std::string refused = errors.first_with("refuse connection from 127.0.0.1:");
    EXPECT_EQ(std::vector<std::string>{refused}, errors.own_texts());
    first.close();
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    const ConditionLines c = Account(errors.texts(), refused);
    EXPECT_EQ(1u, c.written);
    EXPECT_EQ(20u, c.counted);
    EXPECT_TRUE(c.ended);
    // The retries are served now.
    Client second = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return owner.connects == 2; }));
}

TEST_F(ListenerLoopTest, AListenerInErrorRestsOutOfThePoll) {
    RecordingNotify owner;
    Control::AcceptorNet acceptor(0);
    acceptor.service_name("server");
    acceptor.bind_address("127.0.0.1");
    acceptor.Bind(&owner);
    ASSERT_TRUE(acceptor.Activate());
    ExpectRestsInError(acceptor.local_port(),
                       "listener [server] reports POLLERR without data: polled again every 100 ms",
                       [&] { return owner.connects == 1; });
    acceptor.Deactivate();
}

// A second controller tries again every second, from a port of its own.
struct Retrier {
    explicit Retrier(uint16_t to) : port(to) {}
    void OnTime() {
        client.reset();
        client = std::make_unique<Client>(Client::Tcp(port));
        ++tries;
        timer.set(1000, &Retrier::OnTime, this);
    }
    uint16_t port;
    std::unique_ptr<Client> client;
    unsigned tries = 0;
    Timer timer;
};

TEST(AcceptorNetCheckConnection, ASecondControllerRefusedEverySecondForAnHourIsAFewLinesAndCountedInThem) {
    DrivenClock driven(1);
    LineCapture errors(std::cerr);
    LineCapture notices(std::cout);
    RecordingNotify owner;
    Control::AcceptorNetCheckConnection acceptor(0);
    acceptor.bind_address("127.0.0.1");
    acceptor.Bind(&owner);
    owner.on_message = [&](const char* data, int length) { acceptor.Send(data, length); };
    ASSERT_TRUE(acceptor.Activate());
    Runner run;
    Client first = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    Retrier second(acceptor.local_port());
    second.timer.set(500, &Retrier::OnTime, &second);
    // The served controller is answered throughout.
    for (int minute = 1; minute <= 60; ++minute) {
        run.for_ms(60 * 1000);
        first.send(Frame("m"));
        ASSERT_TRUE(run.until([&] { return first.received().size() == minute * Frame("m").size(); }, 100));
    }
    second.timer.reset();
    EXPECT_EQ(3600u, second.tries);
    const std::vector<std::string> hour = errors.own_texts();
    EXPECT_LE(hour.size(), 8u) << testing::PrintToString(hour);
    EXPECT_EQ(1u, errors.count("CheckConnectionState CheckConnection"));
    EXPECT_EQ(1u, errors.count("CheckConnectionState Idle"));
    EXPECT_EQ(0, owner.disconnects);

    // Its leaving ends the condition: the counts are the refusals.
    first.close();
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    std::vector<std::string> refusals;
    const std::regex port(R"(^(refuse connection from 127\.0\.0\.1):\d+)");
    for (const std::string& text : errors.texts()) refusals.push_back(std::regex_replace(text, port, "$1"));
    const ConditionLines c = Account(refusals, "refuse connection from 127.0.0.1");
    EXPECT_TRUE(c.ended);
    EXPECT_EQ(second.tries, c.counted);
    EXPECT_LE(refusals.size(), 10u) << "the condition's 8 lines and the check's two";
    EXPECT_EQ(1u, notices.count_prefix("new connection from 127.0.0.1:"));
    acceptor.Deactivate();
}

TEST(AcceptorNet, TraceOffSilencesTheAcceptorsLines) {
    LineCapture errors(std::cerr);
    LineCapture notices(std::cout);
    Control::AcceptorNetCheckConnection acceptor(0, false);
    acceptor.bind_address("127.0.0.1");
    ASSERT_TRUE(acceptor.Activate());
    Runner run;
    Client first = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return acceptor.IsConnected(); }));
    Client second = Client::Tcp(acceptor.local_port());
    ASSERT_TRUE(run.until([&] { return second.eof(); }));
    first.close();
    ASSERT_TRUE(run.until([&] { return acceptor.GetState() == Control::State::Connecting; }));
    EXPECT_TRUE(errors.lines().empty());
    EXPECT_TRUE(notices.lines().empty());
    acceptor.Deactivate();
}

}  // namespace
