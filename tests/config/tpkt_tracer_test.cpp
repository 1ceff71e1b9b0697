// The TPKT tracer through its real sockets: loopback clients that receive the traced
// frames and send frames of their own to the receiver.
#include "config/tpkt_tracer.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/core/control_service_test.h"
#include "tests/core/listener_loop_test.h"

using namespace testing_core;

namespace {

struct RecordingReceiver : TPKTTracer::Receiver {
    void OnTraceMessage(const void* data, unsigned length) override {
        bodies.emplace_back(static_cast<const char*>(data), length);
        if (then) then(data, length);
    }
    std::vector<std::string> bodies;
    std::function<void(const void*, unsigned)> then;
};

uint16_t LocalPort(int fd) {
    sockaddr_in sa{};
    socklen_t length = sizeof(sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &length);
    return ntohs(sa.sin_port);
}

class TpktTracer : public testing::Test {
protected:
    void SetUp() override {
        tracer.bind_address("127.0.0.1");
        ASSERT_TRUE(tracer.Listen(0));
        port = tracer.local_port();
        ASSERT_NE(port, 0);
        tracer.receiver = &receiver;
    }

    // Connects n clients, each accepted before the next connects (the backlog is 1).
    std::vector<Client> Connect(unsigned n) {
        std::vector<Client> clients;
        for (unsigned i = 0; i < n; ++i) {
            clients.push_back(Client::Tcp(port));
            const unsigned want = tracer.connection_count() + 1;
            EXPECT_TRUE(run.until([&] { return tracer.connection_count() == want; }));
        }
        return clients;
    }
    bool Delivered(size_t n) {
        return run.until([&] { return receiver.bodies.size() >= n; });
    }

    DrivenClock clock;
    Runner run;
    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    TPKTTracer tracer;
    RecordingReceiver receiver;
    uint16_t port = 0;
};

TEST_F(TpktTracer, AcceptsAnyNumberOfClientsAndLogsEach) {
    std::vector<Client> clients = Connect(3);
    const std::vector<std::string> lines = log.own_texts();
    ASSERT_EQ(lines.size(), 3u);
    for (unsigned i = 0; i < 3; ++i)
        EXPECT_EQ(lines[i],
                  "ACP connection open from 127.0.0.1:" + std::to_string(LocalPort(clients[i].fd())));
    // A client that goes away is dropped silently; the others stay.
    clients[1].close();
    ASSERT_TRUE(run.until([&] { return tracer.connection_count() == 2; }));
    EXPECT_FALSE(clients[0].eof());
    EXPECT_TRUE(errors.lines().empty());
}

TEST_F(ListenerLoopTest, ATracerListenerInErrorRestsOutOfThePoll) {
    TPKTTracer tracer;
    tracer.bind_address("127.0.0.1");
    ASSERT_TRUE(tracer.Listen(0));
    ExpectRestsInError(tracer.local_port(),
                       "TPKTTracer: listener reports POLLERR without data: polled again every 100 ms",
                       [&] { return tracer.connection_count() == 1; });
}

TEST(TpktTracerLimit, NoDescriptorForAWaitingClientPausesTheListenerWithOneLine) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    LineCapture log(std::clog);
    LineCapture errors(std::cerr);
    TPKTTracer tracer;
    tracer.bind_address("127.0.0.1");
    ASSERT_TRUE(tracer.Listen(0));
    Runner run;
    Client c = Client::Tcp(tracer.local_port());
    const uint32_t served = multiplexer.event_measure().counter();
    {
        NoFreeDescriptor limit;
        run.for_ms(1500);  // real time: a spinning loop would serve the listener without end
    }
    EXPECT_LT(multiplexer.event_measure().counter() - served, 10u);
    EXPECT_EQ(std::vector<std::string>{std::string("TPKTTracer: can't accept connection: ") +
                                       std::strerror(EMFILE) + " waiting..."},
              errors.texts());
    ASSERT_TRUE(run.until([&] { return tracer.connection_count() == 1; }));
}

TEST_F(TpktTracer, ListenFailsOnAPortInUseOrABadAddress) {
    TPKTTracer second;
    second.bind_address("127.0.0.1");
    EXPECT_FALSE(second.Listen(port));
    TPKTTracer badAddress;
    badAddress.bind_address("no.such.address");
    EXPECT_FALSE(badAddress.Listen(0));
    EXPECT_EQ(badAddress.local_port(), 0);
}

TEST_F(TpktTracer, SendReachesEveryClientAsOneFrame) {
    tracer.Send("lost", 4);  // nobody listens yet: nothing happens
    std::vector<Client> clients = Connect(3);
    tracer.Send("hello", 5);
    tracer.Send("", 0);
    const std::string expected = Bytes({3, 0, 0, 9}) + "hello" + Bytes({3, 0, 0, 4});
    for (Client& c : clients) {
        ASSERT_TRUE(run.until([&] { return c.received().size() >= expected.size(); }));
        EXPECT_EQ(c.received(), expected);
    }
}

TEST_F(TpktTracer, LongestMessageIsSentAndALongerOneIsDropped) {
    std::vector<Client> clients = Connect(1);
    // Room for the whole frame at once on both ends, so the one send is never short.
    const int room = 1 << 20;
    ASSERT_EQ(
        0, ::setsockopt((*tracer.begin())->event.lowlevel_fd(), SOL_SOCKET, SO_SNDBUF, &room, sizeof(room)));
    ASSERT_EQ(0, ::setsockopt(clients[0].fd(), SOL_SOCKET, SO_RCVBUF, &room, sizeof(room)));

    const std::string tooLong(65532, 'x');
    tracer.Send(tooLong.data(), static_cast<unsigned>(tooLong.size()));
    EXPECT_EQ(errors.texts(),
              std::vector<std::string>{"TPKTTracer: message of 65532 bytes is longer than 65531, not sent."});
    std::string longest(65531, 'y');
    longest[0] = 'a';
    longest.back() = 'z';
    tracer.Send(longest.data(), static_cast<unsigned>(longest.size()));
    ASSERT_TRUE(run.until([&] { return clients[0].received().size() >= 65535; }));
    EXPECT_EQ(clients[0].received(), Bytes({3, 0, 0xFF, 0xFF}) + longest);
    EXPECT_EQ(tracer.connection_count(), 1u);
}

TEST_F(TpktTracer, FramesFromClientsReachTheReceiverInOrder) {
    std::vector<Client> clients = Connect(2);
    // Several frames in one burst, an empty one among them.
    clients[0].send(Frame("one") + Frame("") + Frame("two") + Frame(std::string(512, 'm')));
    ASSERT_TRUE(Delivered(3));
    EXPECT_EQ(receiver.bodies, (std::vector<std::string>{"one", "two", std::string(512, 'm')}));
    clients[1].send(Frame("other"));
    ASSERT_TRUE(Delivered(4));
    EXPECT_EQ(receiver.bodies.back(), "other");
    EXPECT_EQ(tracer.connection_count(), 2u);
}

TEST_F(TpktTracer, HeaderAndBodyAreAssembledAcrossEvents) {
    std::vector<Client> clients = Connect(1);
    TPKTTracer::Connection& connection = **tracer.begin();
    const std::string frame = Frame("split body");
    for (size_t i = 0; i < 4; ++i) {
        clients[0].send(frame.substr(i, 1));
        ASSERT_TRUE(run.until([&] { return connection.have == i + 1 || connection.state == 0; })) << i;
    }
    EXPECT_EQ(connection.state, 0);
    EXPECT_EQ(connection.need, 10u);
    clients[0].send(frame.substr(4, 5));
    ASSERT_TRUE(run.until([&] { return connection.have == 5; }));
    EXPECT_TRUE(receiver.bodies.empty());
    clients[0].send(frame.substr(9));
    ASSERT_TRUE(Delivered(1));
    EXPECT_EQ(receiver.bodies[0], "split body");
    EXPECT_EQ(connection.state, 1);
    EXPECT_EQ(connection.need, 4u);
    EXPECT_EQ(connection.have, 0u);
}

TEST_F(TpktTracer, MalformedFramesCloseOnlyTheirConnection) {
    const std::string bad[] = {
        Bytes({3, 0, 0x02, 0x05}) + std::string(513, 'b'),  // a body of 513 bytes
        Bytes({4, 0, 0, 5}) + "v",                          // version
        Bytes({3, 1, 0, 5}) + "r",                          // reserved byte
        Bytes({3, 0, 0, 3}),                                // length below the header
    };
    std::vector<Client> keeper = Connect(1);
    for (const std::string& frame : bad) {
        std::vector<Client> clients = Connect(1);
        clients[0].send(frame + Frame("after"));
        ASSERT_TRUE(run.until([&] { return clients[0].eof(); }));
        EXPECT_EQ(tracer.connection_count(), 1u);
    }
    EXPECT_TRUE(receiver.bodies.empty());
    keeper[0].send(Frame("still here"));
    ASSERT_TRUE(Delivered(1));
    EXPECT_TRUE(errors.lines().empty());
}

// A client that never stops sending must not hold the loop inside its handler: one
// event hands over a bounded number of frames, and the rest wait for the next pass.
TEST_F(TpktTracer, OneEventHandsOverABoundedNumberOfFrames) {
    std::vector<Client> clients = Connect(1);
    const unsigned total = 3 * TPKTTracer::kFramesPerEvent + 5;
    std::string burst;
    std::vector<std::string> expected;
    for (unsigned i = 0; i < total; ++i) {
        expected.push_back(std::to_string(i));
        burst += Frame(i % 7 == 3 ? "" : expected.back());  // empty frames count too
        if (i % 7 == 3) expected.pop_back();
    }
    clients[0].send(burst);
    const int fd = (*tracer.begin())->event.lowlevel_fd();
    int queued = 0;
    for (int i = 0; i < 2000 && queued < static_cast<int>(burst.size()); ++i) {
        ASSERT_EQ(0, ::ioctl(fd, FIONREAD, &queued));
        if (queued < static_cast<int>(burst.size())) ::usleep(1000);
    }
    ASSERT_EQ(queued, static_cast<int>(burst.size()));

    tracer.OnDataEvent(fd, POLLIN);
    size_t first = 0;
    for (unsigned i = 0; i < TPKTTracer::kFramesPerEvent; ++i) first += i % 7 == 3 ? 0 : 1;
    EXPECT_EQ(receiver.bodies.size(), first);
    ::ioctl(fd, FIONREAD, &queued);
    EXPECT_GT(queued, 0);

    ASSERT_TRUE(Delivered(expected.size()));
    EXPECT_EQ(receiver.bodies, expected);
    EXPECT_EQ(tracer.connection_count(), 1u);
}

TEST_F(TpktTracer, WithoutReceiverFramesAreReadAndDropped) {
    tracer.receiver = nullptr;
    std::vector<Client> clients = Connect(1);
    clients[0].send(Frame("dropped") + Frame("too"));
    TPKTTracer::Connection& connection = **tracer.begin();
    ASSERT_TRUE(
        run.until([&] { return connection.state == 1 && connection.have == 0 && connection.need == 4; }));
    run.for_ms(50);
    tracer.receiver = &receiver;
    clients[0].send(Frame("kept"));
    ASSERT_TRUE(Delivered(1));
    EXPECT_EQ(receiver.bodies, std::vector<std::string>{"kept"});
}

TEST_F(TpktTracer, SendFromTheReceiverAnswersOnlyTheSender) {
    std::vector<Client> clients = Connect(3);
    receiver.then = [&](const void* data, unsigned length) { tracer.Send(data, length); };
    clients[1].send(Frame("echo me"));
    ASSERT_TRUE(Delivered(1));
    ASSERT_TRUE(run.until([&] { return !clients[1].received().empty(); }));
    EXPECT_EQ(clients[1].received(), Frame("echo me"));
    run.for_ms(50);
    EXPECT_EQ(clients[0].received(), "");
    EXPECT_EQ(clients[2].received(), "");
    // Outside the receiver a send goes to everybody again.
    receiver.then = nullptr;
    tracer.Send("all", 3);
    for (Client& c : clients) ASSERT_TRUE(run.until([&] { return c.received().size() >= 7; }));
    EXPECT_EQ(clients[0].received(), Frame("all"));
    EXPECT_EQ(clients[1].received(), Frame("echo me") + Frame("all"));
}

TEST_F(TpktTracer, ReceiverMayCloseTheSendersConnection) {
    std::vector<Client> clients = Connect(2);
    const int senderFd = (*tracer.begin())->event.lowlevel_fd();
    std::string seenAfterClose;
    receiver.then = [&](const void* data, unsigned length) {
        if (std::string(static_cast<const char*>(data), length) != "bye") return;
        tracer.CloseConnection(tracer.FindConnection(senderFd));
        // The bytes handed over stay readable until the receiver returns.
        seenAfterClose.assign(static_cast<const char*>(data), length);
    };
    clients[0].send(Frame("hi") + Frame("bye") + Frame("never"));
    ASSERT_TRUE(run.until([&] { return clients[0].eof(); }));
    EXPECT_EQ(seenAfterClose, "bye");
    EXPECT_EQ(receiver.bodies, (std::vector<std::string>{"hi", "bye"}));
    EXPECT_EQ(tracer.connection_count(), 1u);
    EXPECT_EQ(tracer.FindConnection(senderFd), tracer.end());
    clients[1].send(Frame("next"));
    ASSERT_TRUE(Delivered(3));
}

TEST_F(TpktTracer, FailedSendClosesThatClientOnly) {
    std::vector<Client> clients = Connect(2);
    // A reset peer: the tracer's sends to it fail (with no SIGPIPE to the process).
    const linger reset{1, 0};
    ASSERT_EQ(0, ::setsockopt(clients[0].fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset)));
    clients[0].close();
    int sends = 0;
    while (tracer.connection_count() == 2 && sends < 10) {
        tracer.Send("x", 1);
        ++sends;
    }
    EXPECT_EQ(tracer.connection_count(), 1u);
    ASSERT_TRUE(run.until([&] { return clients[1].received().size() >= 5u * sends; }));
    std::string expected;
    for (int i = 0; i < sends; ++i) expected += Frame("x");
    EXPECT_EQ(clients[1].received(), expected);
}

TEST_F(TpktTracer, DestructionClosesEveryClientAndTheListener) {
    std::vector<Client> clients = Connect(2);
    auto other = std::make_unique<TPKTTracer>();
    other->bind_address("127.0.0.1");
    ASSERT_TRUE(other->Listen(0));
    const uint16_t otherPort = other->local_port();
    Client extra = Client::Tcp(otherPort);
    ASSERT_TRUE(run.until([&] { return other->connection_count() == 1; }));
    other.reset();
    ASSERT_TRUE(run.until([&] { return extra.eof(); }));
    // No descriptor of ours holds the port: a connection to it could meet a parallel
    // test that has been given the port since.
    for (int fd = 0; fd < 1024; ++fd) EXPECT_NE(LocalPort(fd), otherPort) << "descriptor " << fd;
    EXPECT_EQ(tracer.connection_count(), 2u);
    EXPECT_FALSE(clients[0].eof());
}

}  // namespace
