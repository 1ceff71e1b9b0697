// Call records reach UDP receivers on loopback.
#include "config/call_record_sender.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

namespace {

// A UDP socket bound to an ephemeral loopback port.
class Receiver {
public:
    Receiver() {
        fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
        socklen_t len = sizeof sa;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
        port_ = ntohs(sa.sin_port);
    }
    ~Receiver() { ::close(fd_); }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
    // The next datagram, or "<none>" when none arrives within a short wait.
    std::string Next() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 500) != 1) return "<none>";
        char buf[2048];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        return n < 0 ? "<error>" : std::string(buf, static_cast<std::size_t>(n));
    }
    bool Quiet() {
        pollfd p{fd_, POLLIN, 0};
        return ::poll(&p, 1, 50) == 0;
    }

private:
    int fd_;
    unsigned short port_;
};

TEST(CallRecordSender, EachDestinationGetsTheRecordOnce) {
    Receiver a, b;
    CDR_Sender::Sender sender;
    EXPECT_TRUE(sender.SendTo("call 1;2;3", " \t" + a.Address() + "\n\n  " + b.Address() + "\t"));
    EXPECT_EQ(a.Next(), "call 1;2;3");
    EXPECT_EQ(b.Next(), "call 1;2;3");
    EXPECT_TRUE(a.Quiet());
    EXPECT_TRUE(b.Quiet());
}

TEST(CallRecordSender, EmptyRecordIsAnEmptyDatagram) {
    Receiver a;
    CDR_Sender::Sender sender;
    EXPECT_TRUE(sender.SendTo("", a.Address()));
    EXPECT_EQ(a.Next(), "");
}

TEST(CallRecordSender, UnparsableWordsAreSkippedOthersStillSent) {
    Receiver a;
    CDR_Sender::Sender sender;
    EXPECT_TRUE(sender.SendTo("r", "host.example:9 999.1.1.1:5 " + a.Address()));
    EXPECT_EQ(a.Next(), "r");
    EXPECT_TRUE(a.Quiet());
    EXPECT_TRUE(sender.SendTo("r", ""));
    EXPECT_TRUE(a.Quiet());
}

}  // namespace
