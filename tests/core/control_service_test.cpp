// Message connections over real loopback sockets, through the controller's acceptor.
#include "tests/core/control_service_test.h"

#include <gtest/gtest.h>

#include "core/acceptor_net.h"
#include "core/packet.h"
#include "tests/core/held_blocks.h"
#include "tests/core/lasting_lines.h"

using namespace testing_core;

namespace {

class ServiceTest : public testing::Test {
protected:
    void SetUp() override {
        service.bind_address("127.0.0.1");
        service.Bind(&owner);
        service.service_name("server");
        ASSERT_TRUE(service.Activate());
        port = service.local_port();
        ASSERT_NE(0, port);
    }
    void TearDown() override { service.Deactivate(); }

    // Connects a client and runs the loop until the service has taken it.
    Client Connect() {
        Client c = Client::Tcp(port);
        const int before = owner.connects;
        EXPECT_TRUE(run.until([&] { return owner.connects > before; }));
        return c;
    }
    uint32_t reads() const { return service.get_read_measure().counter(); }

    LineCapture log{std::clog};
    LineCapture errors{std::cerr};
    LineCapture notices{std::cout};
    RecordingNotify owner;
    Control::AcceptorNetCheckConnection service{0};
    uint16_t port = 0;
    Runner run;
};

// On the driven clock from before the service starts, so that no timer of the service
// is armed on the system clock.
class DrivenServiceTest : public ServiceTest {
protected:
    DrivenClock driven;
};

TEST_F(ServiceTest, FrameInOneBytePiecesIsDeliveredOnceWhenItsLastByteArrives) {
    Client c = Connect();
    const std::string frame = Frame("hello");
    for (size_t i = 0; i < frame.size(); ++i) {
        const uint32_t before = reads();
        c.send(frame.substr(i, 1));
        ASSERT_TRUE(run.until([&] { return reads() > before; }));
        if (i + 1 < frame.size()) {
            EXPECT_TRUE(owner.bodies.empty()) << "after byte " << i;
        }
    }
    EXPECT_EQ(frame.size(), reads());
    EXPECT_EQ(std::vector<std::string>{"hello"}, owner.bodies);
}

TEST_F(ServiceTest, TwoFramesInOneWriteAreDeliveredInOrder) {
    Client c = Connect();
    c.send(Frame("first") + Frame(std::string("\x00\x03\x00", 3)));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 2; }));
    EXPECT_EQ("first", owner.bodies[0]);
    EXPECT_EQ(std::string("\x00\x03\x00", 3), owner.bodies[1]);
    EXPECT_TRUE(log.own_texts().empty());
}

TEST_F(ServiceTest, LargestBodyTravelsBothWays) {
    Client c = Connect();
    std::string body(Control::Service::kMaxMessage, '\0');
    for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 256);
    owner.on_message = [&](const char* data, int length) { service.Send(data, length); };
    c.send(Frame(body));
    ASSERT_TRUE(run.until([&] { return c.received().size() >= body.size() + 4; }));
    ASSERT_EQ(1u, owner.bodies.size());
    EXPECT_EQ(body, owner.bodies[0]);
    const std::string& echo = c.received();
    EXPECT_EQ(Bytes({3, 0, 0xFF, 0xFF}), echo.substr(0, 4));
    EXPECT_EQ(body, echo.substr(4));
}

// The answers to the frames of one read leave together: the socket is corked from the
// second answer on and uncorked once the read is handled, so that no answer waits for
// the kernel's 200 ms cork ceiling.
TEST_F(ServiceTest, AnswersToTwoFramesOfOneReadBothArrivePromptly) {
    Client c = Connect();
    const int server_end = ServerEndOf(c.fd());
    ASSERT_GE(server_end, 0);
    std::vector<int> corked_after_answer;
    owner.on_message = [&](const char* data, int length) {
        service.Send(data, length);
        corked_after_answer.push_back(Corked(server_end));
    };
    c.send(Frame("one") + Frame("two"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 2; }));
    ASSERT_EQ(1u, reads());  // both frames came in one read
    EXPECT_EQ((std::vector<int>{0, 1}), corked_after_answer);
    EXPECT_EQ(0, Corked(server_end));
    const std::string answers = Frame("one") + Frame("two");
    EXPECT_EQ(answers, c.received_within(answers.size(), 150));
    EXPECT_EQ(0u, errors.count_prefix("SockStream["));
}

TEST_F(ServiceTest, DropInsideACorkedBatchSendsItsAnswersAndTheNextClientStartsUncorked) {
    Client c = Connect();
    owner.on_message = [&](const char* data, int length) {
        service.Send(data, length);
        if (owner.bodies.size() == 2) service.Disconnect();
    };
    c.send(Frame("one") + Frame("two") + Frame("three"));
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1 && c.eof(); }));
    EXPECT_EQ(Frame("one") + Frame("two"), c.received());
    EXPECT_EQ(2u, owner.bodies.size());

    Client next = Connect();
    const int server_end = ServerEndOf(next.fd());
    ASSERT_GE(server_end, 0);
    EXPECT_EQ(0, Corked(server_end));
    // An answer outside any read leaves at once.
    service.Send("hi", 2);
    EXPECT_EQ(0, Corked(server_end));
    EXPECT_EQ(Frame("hi"), next.received_within(6, 150));
    // The new connection batches the answers of one read in the same way.
    std::vector<int> corked_after_answer;
    owner.on_message = [&](const char* data, int length) {
        service.Send(data, length);
        corked_after_answer.push_back(Corked(server_end));
    };
    next.send(Frame("a") + Frame("b"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 4; }));
    EXPECT_EQ((std::vector<int>{0, 1}), corked_after_answer);
    EXPECT_EQ(0, Corked(server_end));
    EXPECT_EQ(Frame("hi") + Frame("a") + Frame("b"), next.received_within(16, 150));
}

TEST_F(ServiceTest, SendOfOverlongBodyWritesNothingAndKeepsTheConnection) {
    Client c = Connect();
    const std::string big(Control::Service::kMaxMessage + 1, 'x');
    errors.clear();
    service.Send(big.data(), static_cast<int>(big.size()));
    EXPECT_EQ(1u, errors.lines().size());
    EXPECT_EQ(1u, errors.count_prefix("Control::Service::Send() message of 65532 bytes not sent"));
    service.Send("ok", 2);
    ASSERT_TRUE(run.until([&] { return c.received().size() >= 6; }));
    EXPECT_EQ(Frame("ok"), c.received());
    EXPECT_TRUE(service.IsConnected());
}

TEST_F(ServiceTest, OnlyALinkOnTheReserveReadsAndSendsWhenTheOrdinaryBlocksAreGone) {
    Client c = Connect();
    std::vector<Packet> held = HoldEveryBlock();
    errors.clear();
    // Without the reserve: one line per episode, the frame waits in the socket.
    service.Send("x", 1);
    service.Send("y", 1);
    EXPECT_EQ(2u, service.GetNoBufferCounter());
    c.send(Frame("a"));
    run.for_ms(250);
    EXPECT_TRUE(owner.bodies.empty());
    EXPECT_EQ(errors.own_texts(), (std::vector<std::string>{
                                      "Control::Service::Send() no packet buffer: message of 1 bytes not sent.",
                                      "SockStream[server]: no packet buffer: reading paused"}));
    EXPECT_TRUE(service.IsConnected());

    service.UseReserve();
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ(std::vector<std::string>{"a"}, owner.bodies);
    service.Send("ok", 2);
    ASSERT_TRUE(run.until([&] { return c.received().size() >= 6; }));
    EXPECT_EQ(Frame("ok"), c.received());
    EXPECT_EQ(2u, service.GetNoBufferCounter());
    EXPECT_EQ(Packet_pool::available(), packet_reserve);
}

TEST_F(ServiceTest, SendOutsideConnectedIsDroppedWithItsStateText) {
    service.Send("x", 1);
    EXPECT_EQ(1u, errors.count("Control::Service::Send() ignore Send request in Connecting state."));
}

TEST_F(DrivenServiceTest, EmptyBodyAtTheEndOfAReadIsDeliveredAtOnce) {
    Client c = Connect();
    c.send(Bytes({3, 0, 0, 4}));
    const uint32_t start = Mux::milliseconds();
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ("", owner.bodies[0]);
    EXPECT_LT(Mux::milliseconds() - start, 1000u);
    run.for_ms(5000);
    EXPECT_EQ(0u, log.count(" TPKT packet timeout."));
    EXPECT_EQ(1u, owner.bodies.size());
}

TEST_F(DrivenServiceTest, IncompleteFrameIsDroppedThreeSecondsAfterItsLastByte) {
    Client c = Connect();
    c.send(Bytes({3, 0, 0, 10, 'a', 'b'}));
    ASSERT_TRUE(run.until([&] { return reads() == 1; }));
    const uint32_t last_byte = Mux::milliseconds();
    ASSERT_TRUE(run.until([&] { return log.count(" TPKT packet timeout.") == 1; }, 10000));
    EXPECT_EQ(last_byte + 3000, *log.time_of(" TPKT packet timeout."));
    EXPECT_TRUE(owner.bodies.empty());
    // The rest of the lost frame is now garbage; the next whole frame is served.
    c.send(Frame("next"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ("next", owner.bodies[0]);
    EXPECT_TRUE(service.IsConnected());
}

TEST_F(DrivenServiceTest, FrameTricklingInBelowTheLimitIsNeverDropped) {
    Client c = Connect();
    const std::string frame = Frame("slow");
    for (char byte : frame) {
        c.send(std::string(1, byte));
        run.for_ms(2900);
    }
    EXPECT_EQ(std::vector<std::string>{"slow"}, owner.bodies);
    EXPECT_EQ(0u, log.count(" TPKT packet timeout."));
}

TEST_F(ServiceTest, ResynchronisesAfterBadStartReservedAndLength) {
    Client c = Connect();
    log.clear();
    c.send(Bytes({0x01, 0x02, 3, 7, 3, 0, 0, 2}) + Frame("ok"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ("ok", owner.bodies[0]);
    const std::vector<std::string> expected = {"(no name) bad TPKT packet start. 2 bytes skipped.",
                                               "(no name) bad TPKT reserved.", "TPKT too small 2"};
    EXPECT_EQ(expected, log.own_texts());
}

TEST_F(ServiceTest, RunOfBadBytesIsOneLineWithItsCount) {
    Client c = Connect();
    log.clear();
    c.send(std::string(1 << 20, '\0') + Frame("ok") + "\x01");
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ((std::vector<std::string>{"(no name) bad TPKT packet start. 1048576 bytes skipped."}),
              log.own_texts());
    c.close();  // the run still open ends with the connection
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(1u, log.count("(no name) bad TPKT packet start. 1 byte skipped."));
}

TEST_F(ServiceTest, PeerCloseIsReportedOnceFromADeferredCall) {
    Client c = Connect();
    c.close();
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(Control::State::Connecting, service.GetState());
    EXPECT_EQ(0u, service.GetAddr().rfind("127.0.0.1:", 0));
    EXPECT_EQ(1u, errors.count("control connection " + service.GetAddr() + " closed."));
    run.for_ms(100);
    EXPECT_EQ(1, owner.disconnects);
}

TEST_F(ServiceTest, DisconnectFromOnMessageDropsLaterFramesAndClosesTheTcpConnection) {
    Client c = Connect();
    owner.on_message = [&](const char*, int) {
        service.Disconnect();
        service.Disconnect();  // a second request while closing changes nothing
        EXPECT_EQ(Control::State::Deactivating, service.GetState());
    };
    c.send(Frame("a") + Frame("b"));
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1 && c.eof(); }));
    EXPECT_EQ(std::vector<std::string>{"a"}, owner.bodies);
    EXPECT_FALSE(service.check_descriptor_open());
    run.for_ms(50);
    EXPECT_EQ(1, owner.disconnects);
}

TEST_F(ServiceTest, DisconnectFromOnMessageStopsTheRestOfTheRead) {
    Client c = Connect();
    const unsigned free_blocks = Packet_pool::available();
    const unsigned timers = multiplexer.timer_count();
    owner.on_message = [&](const char*, int) { service.Disconnect(); };
    // The rest of the read starts a frame that would wait for its body.
    c.send(Frame("a") + Bytes({3, 0, 0, 16}) + "ab");
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(free_blocks, Packet_pool::available());
    EXPECT_EQ(timers, multiplexer.timer_count());  // no frame timer left running
}

TEST_F(ServiceTest, LossInsideSendReturnsNormallyAndIsReportedFromTheDeferredCall) {
    Client c = Connect();
    const int server_end = ServerEndOf(c.fd());
    ASSERT_GE(server_end, 0);
    // The client resets the connection; the server has not yet looked at its socket.
    const linger reset{1, 0};
    ASSERT_EQ(0, ::setsockopt(c.fd(), SOL_SOCKET, SO_LINGER, &reset, sizeof(reset)));
    c.close();
    pollfd p{server_end, 0, 0};
    ASSERT_EQ(1, ::poll(&p, 1, 1000));
    errors.clear();
    service.Send("late", 4);
    EXPECT_FALSE(service.IsConnected());
    EXPECT_EQ(Control::State::Deactivating, service.GetState());
    EXPECT_EQ(0, owner.disconnects);
    EXPECT_EQ(1u, service.GetOverflowCounter());
    EXPECT_EQ(1u, errors.count_prefix("SockStream[server]: write error, sendbuf="));
    EXPECT_EQ(1u, errors.count("control connection " + service.GetAddr() + " closed."));
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    EXPECT_EQ(Control::State::Connecting, service.GetState());
    EXPECT_FALSE(service.check_descriptor_open());
}

TEST_F(ServiceTest, DeactivateGivesNoDisconnectNotice) {
    Client c = Connect();
    service.Deactivate();
    EXPECT_EQ(Control::State::Idle, service.GetState());
    run.for_ms(50);
    EXPECT_EQ(0, owner.disconnects);
    EXPECT_EQ(Control::State::Idle, service.GetState());
}

TEST_F(ServiceTest, SecondClientIsRefusedWhileTheFirstIsServedAndServedAfterItLeaves) {
    Client first = Connect();
    Client second = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return second.eof(); }));
    EXPECT_EQ(1u, errors.count_prefix("refuse connection from 127.0.0.1:"));
    EXPECT_EQ(1u, errors.count("CheckConnectionState CheckConnection"));
    EXPECT_EQ(1, owner.connects);
    // The first client is healthy: the next check returns to normal keep-alive.
    ASSERT_TRUE(run.until([&] { return errors.count("CheckConnectionState Idle") == 1; }));
    EXPECT_TRUE(service.IsConnected());

    first.close();
    ASSERT_TRUE(run.until([&] { return owner.disconnects == 1; }));
    Client third = Connect();
    EXPECT_EQ(2, owner.connects);
    third.send(Frame("third"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 1; }));
    EXPECT_EQ("third", owner.bodies[0]);
    EXPECT_EQ(2u, notices.count_prefix("new connection from 127.0.0.1:"));
}

TEST_F(ServiceTest, ClientAcceptedWhileDeactivatingIsRefusedAndClosed) {
    // Both clients wait in the backlog; the first one is dropped from its own notice,
    // so the second is accepted in the same pass while the service is deactivating.
    owner.on_message = nullptr;
    bool dropped = false;
    struct DropOnConnect : RecordingNotify {
        Control::Service* service = nullptr;
        bool* dropped = nullptr;
        void OnConnect() override {
            RecordingNotify::OnConnect();
            if (!*dropped) {
                *dropped = true;
                service->Disconnect();
            }
        }
    } notify;
    notify.service = &service;
    notify.dropped = &dropped;
    service.Bind(&notify);
    Client first = Client::Tcp(port);
    Client second = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return notify.disconnects == 1 && first.eof() && second.eof(); }))
        << testing::PrintToString(errors.texts()) << testing::PrintToString(notices.texts())
        << notify.disconnects << first.eof() << second.eof();
    EXPECT_EQ(1, notify.connects);
    // One refusal, which the end of the first connection ends.
    const ConditionLines refused =
        Account(errors.texts(), errors.first_with("refuse connection from 127.0.0.1:"));
    EXPECT_EQ(1u, refused.written);
    EXPECT_EQ(1u, refused.counted);
    EXPECT_EQ(Control::State::Connecting, service.GetState());
    Client third = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return notify.connects == 2; }));
    EXPECT_TRUE(service.IsConnected());
}

TEST_F(ServiceTest, ServiceWithoutOwnerDropsBodies) {
    service.UnBind();
    Client c = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return service.IsConnected(); }));
    c.send(Frame("x"));
    ASSERT_TRUE(run.until([&] { return reads() == 1; }));
    EXPECT_TRUE(owner.bodies.empty());
}

TEST(ServiceState, TextNotation) {
    EXPECT_STREQ("Idle", Control::GetTextNotation(Control::State::Idle));
    EXPECT_STREQ("Connecting", Control::GetTextNotation(Control::State::Connecting));
    EXPECT_STREQ("Deactivating", Control::GetTextNotation(Control::State::Deactivating));
    EXPECT_STREQ("Connected", Control::GetTextNotation(Control::State::Connected));
    EXPECT_STREQ("Unknown", Control::GetTextNotation(static_cast<Control::State::Type>(9)));
}

}  // namespace

namespace {

TEST(ServiceLifetime, OwnerMayDestroyTheServiceFromItsDisconnectNotice) {
    LineCapture errors(std::cerr);
    LineCapture notices(std::cout);
    auto* service = new Control::AcceptorNetCheckConnection(0);
    service->bind_address("127.0.0.1");
    RecordingNotify owner;
    owner.on_disconnect = [&] {
        service->Deactivate();
        delete service;
        service = nullptr;
    };
    service->Bind(&owner);
    ASSERT_TRUE(service->Activate());
    Runner run;
    Client c = Client::Tcp(service->local_port());
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    c.close();
    ASSERT_TRUE(run.until([&] { return service == nullptr; }));
    run.for_ms(30);
    EXPECT_EQ(1, owner.disconnects);
}

}  // namespace
