// The control server on a real TCP acceptor over loopback: a client thread talks to
// it while the test thread runs the event loop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <functional>
#include <thread>

#include "core/acceptor_net.h"
#include "core/multiplexer.h"
#include "server/ctrl_server.h"
#include "server/heartbeat_ctl.h"
#include "tests/server/server_test_util.h"

using namespace ServerTest;

namespace {

class StopOnDisconnect : public CtrlSrv::Service {
public:
    void OnConnect() override {}
    void OnDisconnect() override { multiplexer.terminate(); }
    bool OnCommand(const LGCP::Command&) override { return false; }
};

// A blocking TCP client with a time limit on every read.
class Client {
public:
    explicit Client(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(port);
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) == 0;
    }
    ~Client() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    bool connected() const { return connected_; }
    void Send(const Bytes& body) {
        Bytes frame = Tpkt(body);
        EXPECT_EQ(static_cast<ssize_t>(frame.size()), ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL));
    }
    // The next message, or false after the time limit.
    bool Next(LGCP::Message& m, int waitMs = 3000) {
        while (ready_.empty()) {
            auto got = ReadMessages(fd_, pending_, waitMs);
            if (got.empty()) return false;
            ready_.insert(ready_.end(), got.begin(), got.end());
        }
        m = ready_.front();
        ready_.erase(ready_.begin());
        return true;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
    Bytes pending_;
    std::vector<LGCP::Message> ready_;
};

class LoopbackTest : public testing::Test {
protected:
    void SetUp() override {
        server.Bind(&heartbeat);
        server.Bind(&stop);
        acceptor = new Control::AcceptorNetCheckConnection(0);
        ASSERT_TRUE(server.Activate(acceptor));
        port = acceptor->local_port();
        ASSERT_NE(0, port);
    }
    void TearDown() override { server.Deactivate(); }

    // Runs the loop until the client's session closes its connection.
    void Session(const std::function<void(Client&)>& script) {
        std::thread client([&] {
            Client c(port);
            EXPECT_TRUE(c.connected());
            script(c);
        });
        multiplexer.run(false, true);
        client.join();
    }

    HeartBeatCtl heartbeat;
    StopOnDisconnect stop;
    CtrlSrv::Server server;
    Control::AcceptorNetCheckConnection* acceptor = nullptr;
    uint16_t port = 0;
};

TEST_F(LoopbackTest, PingIsAnsweredWithItsSeq) {
    Session([](Client& c) {
        c.Send(Encode(Ping(true, 123456)));
        LGCP::Message m;
        ASSERT_TRUE(c.Next(m));
        EXPECT_TRUE(IsSuccess(m));
        EXPECT_TRUE(HasSeq(m, 123456));
        EXPECT_FALSE(m.slot_isPresent());
        c.Send(Encode(Ping()));
        ASSERT_TRUE(c.Next(m));
        EXPECT_TRUE(IsSuccess(m));
        EXPECT_FALSE(m.seq_isPresent());
    });
}

TEST_F(LoopbackTest, SlotAboveRangeIsInvalidSlotWithoutSlot) {
    Session([](Client& c) {
        for (const char* hex : {"C00105040018", "C00106FFFF18"}) {
            c.Send(Hex(hex));
            LGCP::Message m;
            ASSERT_TRUE(c.Next(m)) << hex;
            EXPECT_TRUE(IsError(m, LGCP::ErrorCause::invalidSlot));
            EXPECT_TRUE(m.seq_isPresent());
            EXPECT_FALSE(m.slot_isPresent());
        }
    });
}

TEST_F(LoopbackTest, ResponseOrSignalPduIsUnexpectedWithSeqWithoutSlot) {
    Session([](Client& c) {
        LGCP::Message response;
        response.set_seq(-1);
        response.set_slot(1023);
        response.set_pdu().select_response().select_error(LGCP::ErrorCause::internal);
        c.Send(Encode(response));
        LGCP::Message signal;
        signal.set_seq(8);
        signal.set_slot(5);
        signal.set_pdu().select_signal().select_activated();
        c.Send(Encode(signal));
        LGCP::Message m;
        ASSERT_TRUE(c.Next(m));
        EXPECT_TRUE(IsError(m, LGCP::ErrorCause::unexpectedMsgType));
        EXPECT_TRUE(HasSeq(m, -1));
        EXPECT_FALSE(m.slot_isPresent());
        ASSERT_TRUE(c.Next(m));
        EXPECT_TRUE(IsError(m, LGCP::ErrorCause::unexpectedMsgType));
        EXPECT_TRUE(HasSeq(m, 8));
        EXPECT_FALSE(m.slot_isPresent());
    });
}

TEST_F(LoopbackTest, UndecodableFrameIsNotAnsweredAndTheNextCommandIs) {
    Capture err(std::cerr);
    Session([](Client& c) {
        c.Send(Hex("FFFFFFFF"));
        c.Send(Encode(Ping(true, 2)));
        LGCP::Message m;
        ASSERT_TRUE(c.Next(m));
        EXPECT_TRUE(IsSuccess(m));
        EXPECT_TRUE(HasSeq(m, 2));
        EXPECT_FALSE(c.Next(m, 200));
    });
    EXPECT_EQ(1u, err.count("receive fail: decode error!\n"));
    EXPECT_EQ(1u, err.count(" msg: FF FF FF FF \n"));
}

}  // namespace
