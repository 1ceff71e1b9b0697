// Unix-domain message connections in a temporary directory.
#include "core/service_unix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "tests/core/control_service_test.h"

using namespace testing_core;

namespace {

class UnixTest : public testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/tmb-unix-XXXXXX";
        ASSERT_NE(nullptr, ::mkdtemp(pattern));
        dir = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string dir;
    Runner run;
};

TEST_F(UnixTest, AcceptorReplacesAStaleSocketFileAndServesAConnector) {
    const std::string path = dir + "/server.sock";
    {
        // A socket file left behind by an earlier process.
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const sockaddr_un sa = Control::MakeUnixAddress(path);
        ASSERT_EQ(0, ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
        ::close(fd);
    }
    LineCapture log(std::clog);
    LineCapture notices(std::cout);
    RecordingNotify server_owner, client_owner;
    Control::AcceptorUnix acceptor(path);
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    Control::ConnectorUnix connector(path);
    connector.Bind(&client_owner);
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(run.until([&] { return server_owner.connects == 1 && client_owner.connects == 1; }));
    EXPECT_EQ(1u, log.count("connected to " + path));
    EXPECT_EQ(1u, notices.count("new connection from "));  // an unbound client has no name
    EXPECT_EQ("", acceptor.GetAddr());
    EXPECT_EQ(path, connector.GetAddr());

    connector.Send("up", 2);
    acceptor.Send("down", 4);
    ASSERT_TRUE(
        run.until([&] { return server_owner.bodies.size() == 1 && client_owner.bodies.size() == 1; }));
    EXPECT_EQ("up", server_owner.bodies[0]);
    EXPECT_EQ("down", client_owner.bodies[0]);
    connector.Deactivate();
    acceptor.Deactivate();
    EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(UnixTest, BoundConnectorIsNamedByItsPathAndASecondClientIsRefused) {
    const std::string path = dir + "/server.sock";
    const std::string local = dir + "/client.sock";
    LineCapture errors(std::cerr);
    RecordingNotify server_owner;
    Control::AcceptorUnix acceptor(path);
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    Control::ConnectorUnix connector(path, local);
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(run.until([&] { return server_owner.connects == 1; }));
    EXPECT_EQ(local, acceptor.GetAddr());

    int second = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un sa = Control::MakeUnixAddress(path);
    ASSERT_EQ(0, ::connect(second, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
    Client refused(second);
    ASSERT_TRUE(run.until([&] { return refused.eof(); }));
    EXPECT_EQ(1u, errors.count("refuse connection from "));
    EXPECT_TRUE(acceptor.IsConnected());
    connector.Deactivate();
    acceptor.Deactivate();
}

TEST_F(UnixTest, ConnectorToAMissingPathRetriesQuicklySevenTimesThenEveryTwentySecondsUnderOneLine) {
    DrivenClock driven;
    LineCapture errors(std::cerr);
    const std::string path = dir + "/nobody.sock";
    Control::ConnectorUnix connector(path);
    ASSERT_TRUE(connector.Activate());
    std::vector<uint32_t> failed_at;
    ASSERT_TRUE(run.until(
        [&] {
            if (connector.failed_attempts() > failed_at.size()) failed_at.push_back(Mux::milliseconds());
            return failed_at.size() >= 10;
        },
        120000));
    for (size_t i = 0; i + 1 < failed_at.size(); ++i)
        EXPECT_EQ(i < 7 ? 1000u : 20000u, failed_at[i + 1] - failed_at[i]) << "after failure " << i;
    connector.Deactivate();
    const std::string text = "can't connect to " + path + " : " + std::strerror(ENOENT);
    EXPECT_EQ(
        (std::vector<std::string>{text, text + " (still on at the stop; 9 more like it suppressed since the last "
                                                "line; it has lasted 47 s, 10 in all)"}),
        errors.texts());
}

TEST_F(UnixTest, ConnectorWithoutASocketLogsItsOwnReasonAndEndsTheActivation) {
    if (!NoFreeDescriptor::kUsable) GTEST_SKIP() << "the sanitizers need free descriptors";
    LineCapture errors(std::cerr);
    Control::ConnectorUnix connector(dir + "/server.sock");
    {
        NoFreeDescriptor limit;
        connector.Activate();
    }
    ASSERT_EQ(1u, errors.lines().size());
    EXPECT_EQ(std::string("can't create domain socket:") + std::strerror(EMFILE), errors.lines()[0].text);
    EXPECT_EQ(Control::State::Idle, connector.GetState());
}

// Corking is a TCP option: on a Unix-domain stream the batching of a read's answers
// fails quietly and every answer still leaves.
TEST_F(UnixTest, AnswersToTwoFramesOfOneReadArriveOnAUnixSocketToo) {
    const std::string path = dir + "/server.sock";
    LineCapture errors(std::cerr);
    LineCapture notices(std::cout);
    RecordingNotify owner;
    Control::AcceptorUnix acceptor(path);
    acceptor.Bind(&owner);
    ASSERT_TRUE(acceptor.Activate());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un sa = Control::MakeUnixAddress(path);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
    Client c(fd);
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    owner.on_message = [&](const char* data, int length) { acceptor.Send(data, length); };
    c.send(Frame("one") + Frame("two") + Frame("three"));
    ASSERT_TRUE(run.until([&] { return owner.bodies.size() == 3; }));
    EXPECT_EQ(1u, acceptor.get_read_measure().counter());
    const std::string answers = Frame("one") + Frame("two") + Frame("three");
    EXPECT_EQ(answers, c.received_within(answers.size(), 150));
    EXPECT_TRUE(errors.lines().empty());
    acceptor.Deactivate();
}

TEST_F(UnixTest, AcceptorRetriesItsBindEveryFiveSecondsUntilThePathCanBeMade) {
    DrivenClock driven;
    const std::string sub = dir + "/later";
    const std::string path = sub + "/server.sock";
    LineCapture errors(std::cerr);
    LineCapture notices(std::cout);
    RecordingNotify owner;
    Control::AcceptorUnix acceptor(path);
    acceptor.Bind(&owner);
    const uint32_t start = Mux::milliseconds();
    ASSERT_TRUE(acceptor.Activate());
    run.for_ms(12000);  // attempts at 0, 5 and 10 s
    const std::string line =
        std::string("can't bind to socket: \"") + std::strerror(ENOENT) + "\"  waiting...";
    EXPECT_EQ(std::vector<std::string>{line}, errors.texts());
    EXPECT_EQ(Control::State::Connecting, acceptor.GetState());

    ASSERT_TRUE(std::filesystem::create_directory(sub));
    ASSERT_TRUE(run.until([&] { return std::filesystem::exists(path); }, 10000));
    EXPECT_EQ(start + 15000, Mux::milliseconds());
    EXPECT_EQ(
        (std::vector<std::string>{line, line + " (ended; 2 more like it suppressed since the last line; it lasted 15 s, 3 in all)"}),
        errors.texts());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un sa = Control::MakeUnixAddress(path);
    ASSERT_EQ(0, ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)));
    Client c(fd);
    ASSERT_TRUE(run.until([&] { return owner.connects == 1; }));
    EXPECT_EQ(2u, errors.lines().size());
    acceptor.Deactivate();
}

TEST_F(UnixTest, ConnectorThatCannotBindItsLocalPathConnectsUnboundAndReconnectsTenSecondsAfterALoss) {
    DrivenClock driven;
    const std::string path = dir + "/server.sock";
    const std::string local = dir + "/missing/client.sock";
    LineCapture errors(std::cerr);
    LineCapture log(std::clog);
    LineCapture notices(std::cout);
    RecordingNotify server_owner, client_owner;
    Control::AcceptorUnix acceptor(path);
    acceptor.Bind(&server_owner);
    ASSERT_TRUE(acceptor.Activate());
    Control::ConnectorUnix connector(path, local);
    connector.set_trace(false);  // the connector's lines do not depend on it
    connector.Bind(&client_owner);
    ASSERT_TRUE(connector.Activate());
    ASSERT_TRUE(run.until([&] { return server_owner.connects == 1 && client_owner.connects == 1; }));
    EXPECT_EQ(1u, errors.count("can't bind to domain socket '" + local + "': \"" + std::strerror(ENOENT)));
    EXPECT_EQ("", acceptor.GetAddr());  // it went on unbound

    uint32_t lost_at = 0;
    client_owner.on_disconnect = [&] { lost_at = Mux::milliseconds(); };
    acceptor.Disconnect();
    ASSERT_TRUE(run.until([&] { return client_owner.disconnects == 1 && server_owner.disconnects == 1; }));
    EXPECT_TRUE(connector.retry_pending());
    ASSERT_TRUE(run.until([&] { return client_owner.connects == 2 && server_owner.connects == 2; }, 20000));
    EXPECT_EQ(lost_at + 10000, *log.time_of("connected to " + path, 1));
    EXPECT_EQ(2u, log.count("connected to " + path));
    EXPECT_EQ(1u, errors.count_prefix("can't bind to domain socket"))
        << "the same condition on every attempt";
    EXPECT_EQ(7, connector.quick_retries());
    connector.Deactivate();
    acceptor.Deactivate();
}

TEST(UnixAddress, PathIsCutTo107CharactersAndTerminated) {
    const sockaddr_un sa = Control::MakeUnixAddress(std::string(200, 'p'));
    EXPECT_EQ(AF_UNIX, sa.sun_family);
    EXPECT_EQ(107u, strnlen(sa.sun_path, sizeof(sa.sun_path)));
    EXPECT_EQ(110u, sizeof(sa));
}

}  // namespace
