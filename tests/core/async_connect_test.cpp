#include "core/async_connect.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "core/fd.h"
#include "tests/core/multiplexer_test.h"

namespace {

struct Owner {
    void OnConnect(ASync::Connect::Status::Type s, Fd fd) {
        statuses.push_back(s);
        connected = fd;
        multiplexer.terminate();
    }
    std::vector<int> statuses;
    Fd connected;
};

// A loopback listener on a free port; one bound without listen() refuses connections
// and still keeps the port from parallel tests.
struct Listener {
    explicit Listener(bool listening = true) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(0, ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)));
        if (listening) {
            EXPECT_EQ(0, ::listen(fd, 4));
        }
        socklen_t len = sizeof(addr);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
        port = ntohs(addr.sin_port);
    }
    ~Listener() { ::close(fd); }
    std::string address() const { return "127.0.0.1:" + std::to_string(port); }
    int fd;
    int port;
};

}  // namespace

TEST_F(LoopTest, ConnectHandsTheConnectedDescriptorToItsOwner) {
    Listener listener;
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    connect.Start(listener.address(), 1000);
    if (owner.statuses.empty()) run();
    EXPECT_EQ((std::vector<int>{ASync::Connect::Status::connected}), owner.statuses);
    EXPECT_TRUE(owner.connected.is_valid());
    EXPECT_EQ(0u, multiplexer.handler_count());
    EXPECT_EQ(0u, multiplexer.timer_count());
}

TEST_F(LoopTest, ConnectRefusedFails) {
    Listener closed(false);
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    connect.Start(closed.address(), 1000);
    if (owner.statuses.empty()) run();
    EXPECT_EQ((std::vector<int>{ASync::Connect::Status::failed}), owner.statuses);
    EXPECT_FALSE(owner.connected.is_valid());
}

// A full listen queue leaves the connect in progress until the time limit.
TEST_F(LoopTest, ConnectTimesOut) {
    Listener listener;
    ::listen(listener.fd, 0);
    std::vector<int> fillers;
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    // Fill the backlog with non-blocking connects that nobody accepts.
    for (int i = 0; i < 8; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(listener.port);
        ::connect(f, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        fillers.push_back(f);
    }
    connect.Start(listener.address(), 250);
    ASSERT_EQ(ASync::Connect::Status::connecting, connect.status());
    run();
    EXPECT_EQ((std::vector<int>{ASync::Connect::Status::failed}), owner.statuses);
    EXPECT_EQ(250, timeouts.at(0));
    for (int f : fillers) ::close(f);
}

TEST_F(LoopTest, ZeroTimeLimitEndsAtTheNextPass) {
    Listener listener;
    ::listen(listener.fd, 0);
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    std::vector<int> fillers;
    for (int i = 0; i < 8; ++i) {
        int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(listener.port);
        ::connect(f, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
        fillers.push_back(f);
    }
    connect.Start(listener.address(), 0);
    if (connect.status() == ASync::Connect::Status::connecting) {
        multiplexer.timers_schedule();
        EXPECT_EQ((std::vector<int>{ASync::Connect::Status::failed}), owner.statuses);
    }
    for (int f : fillers) ::close(f);
}

TEST_F(LoopTest, UnparsableAddressFailsInsteadOfConnectingAnywhere) {
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    connect.Start("not-an-address:80", 1000);
    EXPECT_EQ((std::vector<int>{ASync::Connect::Status::failed}), owner.statuses);
    EXPECT_EQ(0u, multiplexer.handler_count());
}

TEST_F(LoopTest, StopEndsAConnectInProgressOnce) {
    Listener listener;
    Owner owner;
    ASync::Connect connect;
    connect.Bind(&Owner::OnConnect, &owner);
    connect.Stop();
    EXPECT_TRUE(owner.statuses.empty());
    connect.Start(listener.address(), 1000);
    connect.Stop();
    connect.Stop();
    ASSERT_EQ(1u, owner.statuses.size());
    EXPECT_TRUE(owner.statuses[0] == ASync::Connect::Status::stopped ||
                owner.statuses[0] == ASync::Connect::Status::connected);
    EXPECT_EQ(0u, multiplexer.timer_count());
}

// The handler runs after the engine let go of its socket, event and timer: it may free
// the engine, from the socket event as from the time limit.
TEST_F(LoopTest, OwnerMayDestroyTheConnectFromItsHandler) {
    struct Destroyer {
        void OnConnect(ASync::Connect::Status::Type s, Fd fd) {
            status = s;
            connected = fd.is_valid();
            connect.reset();
            multiplexer.terminate();
        }
        std::unique_ptr<ASync::Connect> connect = std::make_unique<ASync::Connect>();
        int status = -1;
        bool connected = false;
    };
    Listener listener;
    Destroyer by_event;
    by_event.connect->Bind(&Destroyer::OnConnect, &by_event);
    by_event.connect->Start(listener.address(), 1000);
    if (by_event.connect) run();
    EXPECT_EQ(ASync::Connect::Status::connected, by_event.status);
    EXPECT_TRUE(by_event.connected);
    EXPECT_FALSE(by_event.connect);

    Destroyer by_timer;
    by_timer.connect->Bind(&Destroyer::OnConnect, &by_timer);
    // A loopback connect may finish inside Start; one still in progress ends by the
    // zero time limit at the next timer step.
    by_timer.connect->Start(listener.address(), 0);
    if (by_timer.connect) {
        multiplexer.timers_schedule();
        EXPECT_EQ(ASync::Connect::Status::failed, by_timer.status);
    }
    EXPECT_FALSE(by_timer.connect);
    EXPECT_EQ(0u, multiplexer.handler_count());
    EXPECT_EQ(0u, multiplexer.timer_count());
}
