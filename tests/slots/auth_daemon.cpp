// The simulation daemon's PPP authentication socket from outside: a peer on the
// port the environment gives, and the controller served beside it; and the ports
// held for the daemon, which no other bind is given.
#include <gtest/gtest.h>

#include "tests/slots/auth_peer.h"
#include "tests/slots/daemon_session.h"

namespace {

using namespace DaemonSession;

TEST(AuthDaemon, LoginRequestIsLoggedAndTheControllerIsStillAnswered) {
    if (!NamespaceAllowed()) GTEST_SKIP() << "no private mount namespace here";
    Daemon daemon(TAMBORIL_SIM, {});
    ASSERT_TRUE(daemon.WaitStarted()) << daemon.Err();
    const int peer = ConnectLoopback(daemon.auth_port);
    ASSERT_GE(peer, 0);
    const std::string login = AuthPeer::Login(7, "alice", "swordfish");
    ASSERT_EQ(static_cast<ssize_t>(login.size()), ::send(peer, login.data(), login.size(), MSG_NOSIGNAL));

    const std::string line =
        "modem[0,0]: auth request for session 7, user \"alice\": no modem slot, dropped.";
    bool logged = false;
    for (auto end = Clock::now() + std::chrono::seconds(10); !logged && Clock::now() < end; ::usleep(20000))
        logged = daemon.Err().find(line + "\n") != std::string::npos;
    EXPECT_TRUE(logged) << daemon.Err();

    Controller controller;
    ASSERT_TRUE(controller.Connect(daemon.port));
    EXPECT_EQ(-1, controller.Command(0, [](LGCP::Command& c) { c.select_ping(); }));
    EXPECT_EQ(std::string::npos, (daemon.Out() + daemon.Err()).find("swordfish"));
    ::close(peer);
}

// bind(0) draws from some 14,000 ports: 20,000 binds meet one of eight ports closed
// again all but surely, and none of eight held ones.
TEST(HeldPort, NoOtherBindIsGivenAHeldPort) {
    HeldPort held[8];
    for (const HeldPort& h : held) ASSERT_NE(0, h.port());
    for (int i = 0; i < 20000; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int reuse = i % 2;  // the acceptors bind with SO_REUSEADDR, most others without
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof sa;
        const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
                           ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) == 0;
        ::close(fd);
        ASSERT_TRUE(bound);
        for (const HeldPort& h : held) ASSERT_NE(h.port(), ntohs(sa.sin_port)) << "bind " << i;
    }
}

}  // namespace
