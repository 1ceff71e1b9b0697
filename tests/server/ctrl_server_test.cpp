// The control server with a socket-pair connection and scripted services: decoding,
// seq and slot handling, the claim order and the exactly-one-answer rules.
#include "server/ctrl_server.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "core/multiplexer.h"
#include "protocol/ctrl_service.h"
#include "server/heartbeat_ctl.h"
#include "tests/server/server_test_util.h"

using namespace ServerTest;

namespace {

// A bound service whose claim and answer come from the test.
class Scripted : public CtrlSrv::Service {
public:
    using Script = std::function<bool(Scripted&, const LGCP::Command&)>;

    Scripted(std::string n, std::vector<std::string>* journal) : name(std::move(n)), log(journal) {}

    void OnConnect() override { log->push_back(name + ".connect"); }
    void OnDisconnect() override { log->push_back(name + ".disconnect"); }
    bool OnCommand(const LGCP::Command& command) override {
        log->push_back(name + ".command");
        lastSlot = GetSlot();
        return script ? script(*this, command) : false;
    }
    void OnSignal(const LGCP::Signal& signal) override {
        log->push_back(name + ".signal" + std::to_string(signal.currentSelection()));
    }

    std::string name;
    std::vector<std::string>* log;
    Script script;
    int lastSlot = -2;
};

class CtrlServerTest : public testing::Test {
protected:
    void SetUp() override {
        server.Bind(&first);
        server.Bind(&second);
        link = new FakeLink;
        ASSERT_TRUE(server.Activate(link));
        journal.clear();
    }

    std::vector<LGCP::Message> Send(const LGCP::Message& message) {
        Bytes body = Encode(message);
        server.OnMessage(body.data(), static_cast<int>(body.size()));
        return link->Read();
    }
    std::vector<LGCP::Message> SendBytes(const std::string& hex) {
        Bytes body = Hex(hex);
        server.OnMessage(body.data(), static_cast<int>(body.size()));
        return link->Read();
    }

    std::vector<std::string> journal;
    Scripted first{"first", &journal};
    Scripted second{"second", &journal};
    CtrlSrv::Server server;
    FakeLink* link = nullptr;
};

LGCP::Signal ActivatedSignal() {
    LGCP::Signal signal;
    signal.select_activated();
    return signal;
}

TEST_F(CtrlServerTest, SuccessRepeatsSeqAndSlotOnlyWhenPresent) {
    second.script = [](Scripted& s, const LGCP::Command&) {
        s.Success();
        return true;
    };
    auto out = Send(Command([](LGCP::Command& c) { c.select_destroy(); }, true, 5, 7));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsSuccess(out[0]));
    EXPECT_TRUE(HasSeq(out[0], 5));
    EXPECT_TRUE(HasSlot(out[0], 7));
    EXPECT_EQ(7, second.lastSlot);

    out = Send(Command([](LGCP::Command& c) { c.select_destroy(); }));
    ASSERT_EQ(1u, out.size());
    EXPECT_FALSE(out[0].seq_isPresent());
    EXPECT_FALSE(out[0].slot_isPresent());
    EXPECT_EQ(-1, second.lastSlot);
    EXPECT_EQ(-1, server.GetSlot());
}

TEST_F(CtrlServerTest, ResponseBytesMatchTheWireForm) {
    second.script = [](Scripted& s, const LGCP::Command&) {
        s.Success();
        return true;
    };
    Bytes body = Hex("80010118");  // seq 1, ping
    server.OnMessage(body.data(), static_cast<int>(body.size()));
    Bytes pending;
    char buffer[64];
    ssize_t n = ::recv(link->peer(), buffer, sizeof(buffer), MSG_DONTWAIT);
    ASSERT_EQ(8, n);
    EXPECT_EQ("0300000880010140", ToHex(Bytes(buffer, buffer + n)));
}

TEST_F(CtrlServerTest, FirstClaimingServiceOwnsTheCommand) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.Error(LGCP::ErrorCause::busError);
        return true;
    };
    auto out = Send(Command([](LGCP::Command& c) { c.select_trunkCfg(); }, true, 9));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::busError));
    EXPECT_EQ(std::vector<std::string>{"first.command"}, journal);
}

TEST_F(CtrlServerTest, UnclaimedCommandIsUnexpectedWithSeqAndSlot) {
    auto out = Send(Command([](LGCP::Command& c) { c.select_query(); }, true, 11, 3));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::unexpectedMsgType));
    EXPECT_TRUE(HasSeq(out[0], 11));
    EXPECT_TRUE(HasSlot(out[0], 3));
    EXPECT_EQ((std::vector<std::string>{"first.command", "second.command"}), journal);
}

TEST_F(CtrlServerTest, PutOffThenErrorSendsNothing) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.delayResponse();
        s.Error(LGCP::ErrorCause::internal);
        return true;
    };
    EXPECT_TRUE(Send(Ping(true, 1)).empty());
}

TEST_F(CtrlServerTest, SuccessThenErrorSendsOnlyTheSuccess) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.Success();
        s.Success();
        s.Error(LGCP::ErrorCause::internal);
        return true;
    };
    auto out = Send(Ping(true, 1));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsSuccess(out[0]));
}

TEST_F(CtrlServerTest, ErrorTwiceSendsOne) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.Error(LGCP::ErrorCause::slotNotExists);
        s.Error(LGCP::ErrorCause::unsupported);
        s.Success();
        return true;
    };
    auto out = Send(Ping(true, 1, 4));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::slotNotExists));
}

TEST_F(CtrlServerTest, ClaimWithoutAnswerGivesOneInternalAndTheSoftwareErrorLine) {
    first.script = [](Scripted&, const LGCP::Command&) { return true; };
    Capture err(std::cerr);
    auto out = Send(Ping(true, 77, 12));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::internal));
    EXPECT_TRUE(HasSeq(out[0], 77));
    EXPECT_TRUE(HasSlot(out[0], 12));
    EXPECT_EQ(1u, err.count("ctrl [10.1.2.3:4000]: software error: server do NOT send ack!!!\n"));
}

TEST_F(CtrlServerTest, SlotAboveRangeIsInvalidSlotWithoutSlot) {
    // The wire carries the slot in 16 bits: 1024 and 65535 arrive, ping commands.
    for (const char* hex : {"C0010D040018", "C0010DFFFF18"}) {
        journal.clear();
        auto out = SendBytes(hex);
        ASSERT_EQ(1u, out.size()) << hex;
        EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::invalidSlot));
        EXPECT_TRUE(HasSeq(out[0], 13));
        EXPECT_FALSE(out[0].slot_isPresent());
        EXPECT_TRUE(journal.empty());
        EXPECT_EQ(-1, server.GetSlot());
    }
}

TEST_F(CtrlServerTest, ResponseOrSignalFromControllerIsUnexpectedWithoutSlot) {
    LGCP::Message response;
    response.set_seq(21);
    response.set_slot(5);
    response.set_pdu().select_response().select_success();
    auto out = Send(response);
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::unexpectedMsgType));
    EXPECT_TRUE(HasSeq(out[0], 21));
    EXPECT_FALSE(out[0].slot_isPresent());

    out = SendBytes("40000585");  // signal activated, slot 5, no seq
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::unexpectedMsgType));
    EXPECT_FALSE(out[0].seq_isPresent());
    EXPECT_FALSE(out[0].slot_isPresent());
    EXPECT_TRUE(journal.empty());
}

TEST_F(CtrlServerTest, UndecodableFrameIsLoggedAndNotAnswered) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.Success();
        return true;
    };
    Send(Ping(true, 40));
    {
        Capture err(std::cerr);
        auto out = SendBytes("FF");
        EXPECT_TRUE(out.empty());
        EXPECT_EQ(1u, err.count("ctrl [10.1.2.3:4000]: receive fail: decode error!\n"));
        EXPECT_EQ(1u, err.count(" msg: FF \n"));
        // A long body is cut after 64 octets and its length told.
        SendBytes(std::string(2 * 65531, 'F'));
        std::string cut = " msg: ";
        for (int i = 0; i < 64; ++i) cut += "FF ";
        EXPECT_EQ(1u, err.count(cut + "... (65531 octets)\n"));
    }
    EXPECT_EQ(-1, server.GetSlot());
    // The seq of the last decoded command is kept.
    EXPECT_EQ(40, server.delayResponse());
    auto out = Send(Ping(true, 41));
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(HasSeq(out[0], 41));
}

TEST_F(CtrlServerTest, UnknownExtensionCommandIsUnexpected) {
    // seq 7, command extension alternative 15 with one octet of content.
    auto out = SendBytes("80010723C00100");
    ASSERT_EQ(1u, out.size());
    EXPECT_TRUE(IsError(out[0], LGCP::ErrorCause::unexpectedMsgType));
    EXPECT_TRUE(HasSeq(out[0], 7));
}

TEST_F(CtrlServerTest, SignalsCarryTheHandledSlotAndReachTheOtherServicesFirst) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.SendSignal(ActivatedSignal());
        s.Success();
        return true;
    };
    auto out = Send(Ping(true, 2, 3));
    ASSERT_EQ(2u, out.size());
    EXPECT_TRUE(out[0].get_pdu().signal_isSelected());
    EXPECT_TRUE(HasSlot(out[0], 3));
    EXPECT_FALSE(out[0].seq_isPresent());
    EXPECT_TRUE(IsSuccess(out[1]));
    EXPECT_EQ((std::vector<std::string>{"first.command", "second.signal5"}), journal);

    // Outside a command: no slot, unless given.
    first.SendSignal(ActivatedSignal());
    second.SendSignal(9, ActivatedSignal());
    out = link->Read();
    ASSERT_EQ(2u, out.size());
    EXPECT_FALSE(out[0].slot_isPresent());
    EXPECT_TRUE(HasSlot(out[1], 9));
    EXPECT_EQ("first.signal5", journal.back());
}

TEST_F(CtrlServerTest, DelayedSuccessLeavesTheCurrentCommandAlone) {
    first.script = [](Scripted& s, const LGCP::Command&) {
        s.delayedSuccess(12, 40);
        return false;
    };
    second.script = [](Scripted& s, const LGCP::Command&) {
        s.Error(LGCP::ErrorCause::slotNotExists);
        return true;
    };
    auto out = Send(Command([](LGCP::Command& c) { c.select_destroy(); }, true, 8, 1));
    ASSERT_EQ(2u, out.size());
    EXPECT_TRUE(IsSuccess(out[0]));
    EXPECT_TRUE(HasSeq(out[0], 40));
    EXPECT_TRUE(HasSlot(out[0], 12));
    EXPECT_TRUE(IsError(out[1], LGCP::ErrorCause::slotNotExists));
    EXPECT_TRUE(HasSeq(out[1], 8));
}

TEST_F(CtrlServerTest, PutOffAnswerRepeatsSeqOnlyWhenTheCommandHadOne) {
    int kept = -1;
    bool hadSeq = false;
    first.script = [&](Scripted& s, const LGCP::Command&) {
        hadSeq = s.IsSeqPresent();
        kept = s.delayResponse();
        return true;
    };
    Capture err(std::cerr);
    auto out = Send(Command([](LGCP::Command& c) { c.select_destroy(); }, true, 33, 6));
    EXPECT_TRUE(out.empty());
    ASSERT_TRUE(hadSeq);
    first.delayedSuccess(6, static_cast<unsigned>(kept));
    out = Send(Command([](LGCP::Command& c) { c.select_destroy(); }, false, 0, 6));
    EXPECT_FALSE(hadSeq);
    first.delayedSuccess(6);
    for (auto& m : link->Read()) out.push_back(m);
    ASSERT_EQ(2u, out.size());
    EXPECT_TRUE(HasSeq(out[0], 33));
    EXPECT_TRUE(HasSlot(out[0], 6));
    EXPECT_FALSE(out[1].seq_isPresent());
    EXPECT_TRUE(HasSlot(out[1], 6));
    EXPECT_EQ(0u, err.count("software error"));
}

TEST_F(CtrlServerTest, ConnectAndDisconnectReachServicesInBindOrder) {
    server.Deactivate();
    EXPECT_EQ((std::vector<std::string>{"first.disconnect", "second.disconnect"}), journal);
    journal.clear();
    server.Deactivate();
    EXPECT_TRUE(journal.empty());

    Capture log(std::clog);
    link = new FakeLink;
    ASSERT_TRUE(server.Activate(link));
    EXPECT_EQ((std::vector<std::string>{"first.connect", "second.connect"}), journal);
    EXPECT_EQ(1u, log.count("ctrl [10.1.2.3:4000]: controller connect.\n"));
}

TEST_F(CtrlServerTest, UnencodableLongValueIsLoggedCutToABoundWithItsLength) {
    Capture err(std::cerr);
    server.SendSignal(5, LGCP::Signal(LGCP::Signal::userData::id, std::vector<char>(20000, 'Z')));
    const std::string text = err.str();
    const std::string prefix = "ctrl [10.1.2.3:4000]: send fail: encode error!";
    EXPECT_EQ(0u, text.find(prefix + "{"));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex(R"(\.\.\. \((\d+) characters\)\n$)")));
    EXPECT_EQ(static_cast<size_t>(m.position(0)), prefix.size() + 1000);
    EXPECT_GT(std::stoul(m[1]), 40000u);
    EXPECT_TRUE(link->Read().empty());
}

TEST_F(CtrlServerTest, WithoutConnectionEverySendLogsNotAttached) {
    server.Deactivate();
    Capture err(std::cerr);
    first.SendSignal(ActivatedSignal());
    server.delayedSuccess(1, 1);
    EXPECT_EQ(2u, err.count("ctrl [null]: send fail: Service not attached!\n"));
    bool connected = true;
    EXPECT_FALSE(server.CheckServerConnection(connected));
    EXPECT_TRUE(connected);
}

TEST_F(CtrlServerTest, UnencodableMessageLogsItsValueAndLeavesTheStreamUsable) {
    LGCP::Message message;  // pdu with nothing selected
    Capture err(std::cerr);
    server.SendMsg(message);
    EXPECT_EQ(1u, err.count("ctrl [10.1.2.3:4000]: send fail: encode error!"));
    EXPECT_TRUE(std::cerr.good());
    std::cerr << "next" << std::endl;
    EXPECT_EQ(1u, err.count("next\n"));
    EXPECT_TRUE(link->Read().empty());
}

TEST_F(CtrlServerTest, UnboundServiceReportsAndFallsBack) {
    Scripted loose("loose", &journal);
    Capture err(std::cerr);
    loose.Success();
    EXPECT_EQ(-1, loose.GetSlot());
    EXPECT_EQ(-1, loose.delayResponse());
    EXPECT_FALSE(loose.IsSlotPresent());
    EXPECT_EQ(4u, err.count("CtrlSrv::Service error! service not connected to server.\n"));
    bool connected = false;
    EXPECT_FALSE(loose.CheckServerConnection(connected));
    EXPECT_EQ(4u, err.count("CtrlSrv::Service error!"));
    EXPECT_TRUE(first.CheckServerConnection(connected));
    EXPECT_TRUE(connected);
}

// A connection that listens and has no controller yet.
class IdleLink : public Control::Service {
protected:
    bool ImplActivate() override { return true; }
    void ImplDeactivate() override {}
    void ImplOnDisconnect() override {}
};

TEST_F(CtrlServerTest, WithoutAControllerAnswersAndSignalsGoSilently) {
    server.Deactivate();
    ASSERT_TRUE(server.Activate(new IdleLink));
    std::ostringstream os;
    server.PutHeader(os);
    EXPECT_EQ("ctrl [not connected]: ", os.str());
    bool connected = true;
    EXPECT_TRUE(server.CheckServerConnection(connected));
    EXPECT_FALSE(connected);

    first.script = [](Scripted& s, const LGCP::Command&) {
        s.Success();
        return true;
    };
    Capture err(std::cerr);
    Capture log(std::clog);
    Bytes body = Encode(Ping(true, 1));
    server.OnMessage(body.data(), static_cast<int>(body.size()));
    first.SendSignal(ActivatedSignal());
    server.delayedSuccess(1, 1);
    // The connection drops them; the server itself says nothing.
    EXPECT_EQ(0u, err.count("ctrl ["));
    EXPECT_EQ(0u, log.count("ctrl ["));
    EXPECT_EQ(CtrlSrv::Server::kAckSuccess, server.GetAckState());
}

TEST_F(CtrlServerTest, AverageStatisticsTimerRunsFromConnectToDisconnect) {
    const unsigned connected = multiplexer.timer_count();
    server.Deactivate();
    EXPECT_EQ(connected - 1, multiplexer.timer_count());
    ASSERT_TRUE(server.Activate(new IdleLink));  // listening only: not armed
    EXPECT_EQ(connected - 1, multiplexer.timer_count());
    link = new FakeLink;
    ASSERT_TRUE(server.Activate(link));
    EXPECT_EQ(connected, multiplexer.timer_count());
}

TEST_F(CtrlServerTest, HeaderNamesThePeerOrTheState) {
    std::ostringstream os;
    server.PutHeader(os);
    EXPECT_EQ("ctrl [10.1.2.3:4000]: ", os.str());
    server.Deactivate();
    os.str("");
    server.PutHeader(os);
    EXPECT_EQ("ctrl [null]: ", os.str());
}

}  // namespace
