// The simulation daemon's PPP authentication socket from outside: a peer on the
// port the environment gives, and the controller served beside it.
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

}  // namespace
