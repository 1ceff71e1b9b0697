// The modem factory's PPP authentication socket over real loopback connections.
#include "slots/modem_factory.h"

#include <gtest/gtest.h>

#include <cstring>

#include "tests/core/control_service_test.h"
#include "tests/core/listener_loop_test.h"
#include "tests/slots/auth_peer.h"

using namespace testing_core;
using namespace AuthPeer;

namespace {

// A modem slot's session as the factory sees it, keeping what reaches it.
struct RecordingSession : AuthSession {
    explicit RecordingSession(uint32_t n) : number(n) { ModemFactory::instance().AddSession(*this); }
    ~RecordingSession() { ModemFactory::instance().RemoveSession(*this); }
    uint32_t session() const override { return number; }
    void OnAuthLogin(const AuthRecord::Login& login) override { logins.push_back(login); }
    void OnAuthAccounting(const AuthRecord::Accounting& a) override { accountings.push_back(a); }
    uint32_t number;
    std::vector<AuthRecord::Login> logins;
    std::vector<AuthRecord::Accounting> accountings;
};

// A record of any length and type, zero-filled after its header.
std::string Record(uint32_t length, uint32_t type) {
    std::string r = Words({length, type, 9});
    r.resize(length, '\0');
    return r;
}

std::string Peer(Client& c) {
    return "127.0.0.1:" + std::to_string(LocalPort(c.fd()));
}

class AuthSocket : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(factory.Listen(0));
        port = factory.local_port();
        ASSERT_NE(0, port);
    }
    void TearDown() override { factory.Close(); }

    bool Logged(const LineCapture& capture, const std::string& text) const {
        for (const auto& line : capture.texts())
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    ModemFactory& factory = ModemFactory::instance();
    LineCapture errors{std::cerr};
    LineCapture debug{std::clog};
    Runner run;
    uint16_t port = 0;
};

TEST_F(AuthSocket, LoginAndAccountingReachTheirSessionWholeSplitOrSeveralInOneRead) {
    RecordingSession seven(7), nine(9);
    Client peer = Client::Tcp(port);
    peer.send(Login(7, "alice", "s3cret"));
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 1; }));

    const std::string split = Login(9, "bob", "hunter2");
    peer.send(split.substr(0, 3));
    run.for_ms(50);
    peer.send(split.substr(3, 70));
    run.for_ms(50);
    peer.send(split.substr(73));
    ASSERT_TRUE(run.until([&] { return nine.logins.size() == 1; }));

    // A name that fills its field without a NUL, and an accounting record, in one write.
    peer.send(Login(7, std::string(64, 'x'), "") + Words({64, 4, 9, 0, 0, 0, 1, 2, 0, 3, 4, 5, 6, 7, 8, 0}));
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 2 && nine.accountings.size() == 1; }));

    EXPECT_EQ(7u, seven.logins[0].session);
    EXPECT_EQ("alice", seven.logins[0].user);
    EXPECT_EQ("s3cret", seven.logins[0].password);
    EXPECT_EQ(9u, nine.logins[0].session);
    EXPECT_EQ("bob", nine.logins[0].user);
    EXPECT_EQ("hunter2", nine.logins[0].password);
    EXPECT_EQ(std::string(64, 'x'), seven.logins[1].user);
    EXPECT_EQ("", seven.logins[1].password);
    const AuthRecord::Accounting& a = nine.accountings[0];
    EXPECT_EQ(9u, a.session);
    EXPECT_EQ((uint64_t{1} << 32) | 2, a.octets_out);
    EXPECT_EQ(3u, a.octets_in);
    EXPECT_EQ((uint64_t{4} << 32) | 5, a.packets_out);
    EXPECT_EQ((uint64_t{6} << 32) | 7, a.packets_in);
    EXPECT_EQ(8u, a.time);

    // More than the gathering buffer holds in one write: the read that fills it ends
    // inside a record, which the next read completes.
    std::string many;
    for (int i = 0; i < 30; ++i) many += Login(7, "user" + std::to_string(i), "");
    peer.send(many);
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 32; }));
    EXPECT_EQ("user29", seven.logins.back().user);

    // No slot owns session 5: one line each, the name made printable, the password nowhere.
    peer.send(Login(5, "carol\n\"", "swordfish") + Words({64, 4, 5}) + std::string(52, '\0'));
    ASSERT_TRUE(run.until([&] { return errors.lines().size() == 2; }));
    EXPECT_EQ((std::vector<std::string>{
                  "modem[0,0]: auth request for session 5, user \"carol\\x0A\\x22\": no modem slot, dropped.",
                  "modem[0,0]: auth accounting for session 5: no modem slot, dropped."}),
              errors.texts());
    for (const char* password : {"s3cret", "hunter2", "swordfish"})
        EXPECT_FALSE(Logged(errors, password) || Logged(debug, password)) << password;
    EXPECT_FALSE(peer.eof());
}

TEST_F(AuthSocket, WrongSizesAndTypesGiveTheirLineAndTheConnectionGoesOn) {
    RecordingSession seven(7);
    Client peer = Client::Tcp(port);
    // The second unknown type within the second is held back.
    peer.send(Record(100, 1) + Record(60, 4) + Record(16, 2) + Record(36, 3) + Record(12, 9) +
              Record(12, 10) + Login(7, "dave", "x"));
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 1; }));
    EXPECT_EQ((std::vector<std::string>{"modem[0,0]: auth request, invalid size: 100",
                                        "modem[0,0]: auth accounting, invalid size: 60",
                                        "modem[0,0]: auth accept, ignored.", "modem[0,0]: auth ip, ignored.",
                                        "modem[0,0]: unknown request from portslave: 9"}),
              errors.texts());
    EXPECT_FALSE(peer.eof());
}

TEST_F(AuthSocket, TwoPeersAtOnceEachGetTheExactAnswersForTheirSession) {
    RecordingSession seven(7), eight(8);
    Client a = Client::Tcp(port);
    Client b = Client::Tcp(port);
    b.send(Login(8, "bob", "y"));
    a.send(Login(7, "alice", "x"));
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 1 && eight.logins.size() == 1; }));

    EXPECT_TRUE(factory.SendAccept(7));
    EXPECT_TRUE(factory.SendAddress(8, {0xC0A80102, 0xFFFFFF00, 0xC0A80101, 0x0A000035, 1500}));
    EXPECT_FALSE(factory.SendAccept(9));  // no peer asked for it
    EXPECT_EQ(Words({16, 2, 7, 1}), a.received_within(16, 5000));
    EXPECT_EQ(Words({36, 3, 8, 0}) + Bytes({192, 168, 1, 2, 255, 255, 255, 0, 192, 168, 1, 1, 10, 0, 0, 53}) +
                  Words({1500}),
              b.received_within(36, 5000));

    // A session that left takes its peer with it.
    factory.RemoveSession(eight);
    EXPECT_FALSE(factory.SendAccept(8));
}

TEST_F(AuthSocket, BadLengthClosesOnlyThatPeerAndAHangUpLeavesTheLoop) {
    RecordingSession seven(7);
    Client shorter = Client::Tcp(port);
    Client longer = Client::Tcp(port);
    Client quiet = Client::Tcp(port);
    Client good = Client::Tcp(port);
    ASSERT_TRUE(run.until([&] { return factory.clients() == 4; }));

    shorter.send(Words({11, 1, 7}));
    longer.send(Words({AuthRecord::kMaxSize + 1}));
    ASSERT_TRUE(run.until([&] { return shorter.eof() && longer.eof(); }));
    EXPECT_EQ((std::vector<std::string>{"modem[0,0]: portslave " + Peer(shorter) +
                                            " record length 11 out of range, connection closed.",
                                        "modem[0,0]: portslave " + Peer(longer) +
                                            " record length 4097 out of range, connection closed."}),
              errors.texts());

    const std::string hung_up = "modem[0,0]: portslave " + Peer(quiet) + " hung up.";
    quiet.close();
    ASSERT_TRUE(run.until([&] { return factory.clients() == 1; }));
    EXPECT_EQ(1u, debug.count(hung_up));
    run.for_ms(20);  // the closed connections are deleted outside their handlers
    EXPECT_EQ(-1, ServerEndOf(shorter.fd()));

    good.send(Login(7, "erin", "z"));
    ASSERT_TRUE(run.until([&] { return seven.logins.size() == 1; }));
    EXPECT_FALSE(good.eof());
}

TEST_F(AuthSocket, TakenPortIsOneLineAndNoListener) {
    factory.Close();
    int blocker = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, BindLoopback(blocker));
    ASSERT_EQ(0, ::listen(blocker, 1));
    const uint16_t taken = LocalPort(blocker);
    EXPECT_FALSE(factory.Listen(taken));
    ::close(blocker);
    EXPECT_EQ(std::vector<std::string>{"modem[0,0]: can't listen on 127.0.0.1:" + std::to_string(taken) +
                                       ": Address already in use"},
              errors.texts());
    EXPECT_EQ(0, factory.local_port());
}

TEST_F(AuthSocket, NoDescriptorForAWaitingPeerRestsTheListenerWithOneLine) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    Client peer = Client::Tcp(port);
    const uint32_t served = multiplexer.event_measure().counter();
    {
        NoFreeDescriptor limit;
        run.for_ms(1500);  // real time: a spinning loop would serve the listener without end
    }
    EXPECT_LT(multiplexer.event_measure().counter() - served, 10u);
    EXPECT_EQ(std::vector<std::string>{std::string("modem[0,0]: can't accept connection: ") +
                                       std::strerror(EMFILE) + " waiting..."},
              errors.texts());
    ASSERT_TRUE(run.until([&] { return factory.clients() == 1; }));
}

TEST_F(ListenerLoopTest, AnAuthListenerInErrorRestsOutOfThePoll) {
    ModemFactory& factory = ModemFactory::instance();
    ASSERT_TRUE(factory.Listen(0));
    ExpectRestsInError(factory.local_port(),
                       "modem[0,0]: listener reports POLLERR without data: polled again every 100 ms",
                       [&] { return factory.clients() == 1; });
    factory.Close();
}

}  // namespace
