#include "signalling/lapd_nt.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/multiplexer.h"
#include "hardware/sim/pcapng_writer.h"
#include "tests/core/held_blocks.h"
#include "tests/core/multiplexer_test.h"
#include "tests/core/text_count.h"
#include "tests/signalling/support/capture_file.h"
#include "tests/signalling/support/command_output.h"

namespace {

using ISDN::LAPD_NT_user;

std::string Hex(const Packet& p) {
    std::string s;
    char b[4];
    for (unsigned i = 0; i < p.length(); ++i) {
        std::snprintf(b, sizeof b, i == 0 ? "%02X" : " %02X", p[static_cast<int>(i)]);
        s += b;
    }
    return s;
}

using Frames = std::vector<std::string>;

// The D-channel carrier below the engine: keeps every frame it is given.
struct Wire : Protocol {
    void local_deactivate() override { ++deactivated; }
    void message(Packet& p) override {
        sent.push_back(Hex(p));
        if (tap != nullptr) tap->Write(p.data(), p.length(), Sim::PcapngWriter::Direction::outbound);
    }
    Frames sent;
    Sim::PcapngWriter* tap = nullptr;
    int deactivated = 0;
};

// The layer above: keeps what comes up and counts activations.
struct Layer3 : Protocol {
    void receive(Packet& p) override { got.push_back(Hex(p)); }
    void local_activate() override { ++activated; }
    Frames got;
    int activated = 0;
};

struct Stop {
    void OnStop() { multiplexer.terminate(); }
};

class LapdNtTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        stack.add_protocol_tail(wire = new Wire);
        stack.add_protocol_tail(lapd = new ISDN::LAPD_NT);
        stack.add_protocol_tail(l3 = new Layer3);
        saved_ = std::clog.rdbuf(log_.rdbuf());
    }
    void TearDown() override {
        std::clog.rdbuf(saved_);
        LoopTest::TearDown();
    }

    static Packet Bytes(std::initializer_list<unsigned char> bytes, unsigned head = 0) {
        Packet p;
        p.reserve_head(head);
        for (unsigned char b : bytes) p.put8(b);
        return p;
    }
    void Rx(std::initializer_list<unsigned char> bytes) {
        Packet p = Bytes(bytes);
        if (wire->tap != nullptr) wire->tap->Write(p.data(), p.length(), Sim::PcapngWriter::Direction::inbound);
        lapd->receive(p);
    }
    // A layer-3 message from above, with the head room the stack declares.
    bool Down(std::initializer_list<unsigned char> bytes) {
        Packet p;
        l3->prepare_head(p);
        for (unsigned char b : bytes) p.put8(b);
        return lapd->take_message(p);
    }
    Frames Sent() {
        Frames f;
        f.swap(wire->sent);
        return f;
    }
    // Runs the loop for ms milliseconds of the manual clock.
    void Advance(unsigned ms) {
        Stop stop;
        Timer t;
        t.set(ms, &Stop::OnStop, &stop);
        run();
    }
    // A terminal's identity request (Ri 0x1234, Ai 127).
    void Request() { Rx({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01, 0xFF}); }
    // TEI 64 assigned, then the terminal's message with call reference cr (so messages can be routed to it).
    void AssignWithCall(unsigned char cr) {
        Request();
        Rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, cr, 0x05});
        Sent();
    }
    std::string Log() {
        std::string s = log_.str();
        log_.str("");
        return s;
    }
    const LAPD_NT_user& U(unsigned i) const { return lapd->user(i); }

    ProtocolsList stack;
    Wire* wire;
    ISDN::LAPD_NT* lapd;
    Layer3* l3;

private:
    std::ostringstream log_;
    std::streambuf* saved_ = nullptr;
};

const std::string kCheck = "FE FF 03 0F 00 00 04 FF";
const std::string kSabme64 = "02 81 7F";
const std::string kRemove9 = "FE FF 03 0F 00 00 06 13";

TEST_F(LapdNtTest, IdentityRequestsGetTheLowestFreeTeiUntilEightAreHeld) {
    lapd->set_log(1);
    Request();
    Request();
    EXPECT_EQ((Frames{"FE FF 03 0F 34 12 02 81", kSabme64, "FE FF 03 0F 34 12 02 83", "02 83 7F"}), Sent());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x02, 0x01, 0xFF});
    EXPECT_EQ((Frames{"FE FF 03 0F 01 02 02 85", "02 85 7F"}), Sent());  // TEI 66, Ri echoed as it came
    for (int i = 0; i < 5; ++i) Request();
    EXPECT_EQ(10u, Sent().size());
    EXPECT_EQ(71, U(7).get_Tei());
    Request();  // a ninth terminal
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01, 0x8D});  // Ai 70
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01, 0x15});  // Ai 10
    EXPECT_EQ((Frames{"FE FF 03 0F 34 12 03 FF", "FE FF 03 0F 34 12 03 8D"}), Sent());
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved identity request,TEI assigned:66\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved identity request, but all TEI values is ussigned\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved identity request with wrong Ai=70,denied\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved identity request with wrong Ai=10,ignored\n"));
    EXPECT_EQ(std::string::npos, log.find("LAPD_user"));  // user lines need level 2
}

TEST_F(LapdNtTest, UnknownTeiIsAdoptedWhileAUserIsFreeAndRemovedOtherwise) {
    lapd->set_log(2);
    Rx({0x00, 0x0B, 0x00, 0x01, 0x08, 0x01, 0x03, 0x05});  // I frame from TEI 5, P = 1
    EXPECT_EQ((Frames{"02 0B 7F", "00 0B 01 03"}), Sent());  // SABME, then the RR answering P
    EXPECT_EQ((Frames{"08 01 03 05"}), l3->got);
    EXPECT_EQ(5, U(0).get_Tei());
    EXPECT_NE(std::string::npos, Log().find("LAPD(NT BRI):Warning:recieved packet with unassigned TEI=5\n"
                                            "LAPD_user(NT BRI)[unassigned]:assigned\n"
                                            "LAPD_user(NT BRI)[Tei=5,assigned]received I frame\n"));
    for (int i = 0; i < 7; ++i) Request();
    Sent();
    Rx({0x00, 0x13, 0x01, 0x00});  // RR from TEI 9: no user left
    EXPECT_EQ((Frames{kRemove9, kRemove9}), Sent());
    EXPECT_NE(std::string::npos, Log().find("LAPD(NT BRI):recieved packet with unassigned TEI=9,removed\n"));
}

TEST_F(LapdNtTest, IdentityCheckKeepsAnsweringTeisAndDropsSilentOrDuplicateOnes) {
    lapd->set_log(1);
    Request();
    Request();
    lapd->activate();
    EXPECT_EQ(1, l3->activated);
    Frames f = Sent();
    EXPECT_EQ(kCheck, f.back());
    EXPECT_TRUE(U(0).is_check() && U(1).is_check());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0xAA, 0x01, 0x05, 0x81});  // TEI 64 answers, Ri 0x01AA
    EXPECT_FALSE(U(0).is_check());
    EXPECT_EQ(0x01AA, U(0).get_ri());
    EXPECT_TRUE(Sent().empty());
    Advance(2001);  // TEI 65 stays silent
    EXPECT_TRUE(U(0).is_assigned());
    EXPECT_FALSE(U(1).is_assigned());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0xAA, 0x01, 0x05, 0x81});  // the same answer again
    EXPECT_TRUE(U(0).is_assigned());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0xBB, 0x02, 0x05, 0x81});  // a second terminal with TEI 64
    EXPECT_FALSE(U(0).is_assigned());
    EXPECT_EQ((Frames{"FE FF 03 0F 00 00 06 81", "FE FF 03 0F 00 00 06 81"}), Sent());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x00, 0x05, 0xFF});  // Ai 127
    EXPECT_EQ((Frames{"FE FF 03 0F 00 00 06 FF", "FE FF 03 0F 00 00 06 FF"}), Sent());
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x00, 0x05, 0x0B});  // unknown Ai 5 is adopted
    EXPECT_EQ((Frames{"02 0B 7F"}), Sent());
    EXPECT_EQ(5, U(0).get_Tei());
    const std::string log = Log();
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):Checking Tei values....\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):TEI 64 checked\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved check response with dublicated Ai=64,removed\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):recieved check response with wrong Ai=127,removed\n"));
    EXPECT_NE(std::string::npos, log.find("LAPD(NT BRI):TEI 5 checked\n"));
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x07, 0x0B});  // verify request: a check at once
    EXPECT_EQ((Frames{kCheck}), Sent());
    clock.step_wall_ms(3600 * 1000);
    Advance(59000);
    EXPECT_TRUE(Sent().empty());
    Advance(1001);  // the cycle: the next check 60 s after the last, whatever the wall clock did
    EXPECT_EQ((Frames{kCheck}), Sent());
    clock.step_wall_ms(-600 * 1000);
    Advance(59998);
    EXPECT_TRUE(Sent().empty());
    Advance(1);
    EXPECT_EQ((Frames{kCheck}), Sent());
}

TEST_F(LapdNtTest, CheckResponsesForUnknownTeisWhenAllUsersAreTakenAreRemoved) {
    for (int i = 0; i < 8; ++i) Request();
    Sent();
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x00, 0x05, 0x13});  // Ai 9
    EXPECT_EQ((Frames{kRemove9, kRemove9}), Sent());
    lapd->deactivate();  // every user goes, the carrier below stops, and nothing more is sent
    for (unsigned i = 0; i < 8; ++i) EXPECT_FALSE(U(i).is_assigned());
    EXPECT_EQ(1, wire->deactivated);
    Advance(70000);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(LapdNtTest, SetupIsBroadcastAndOtherMessagesGoToTheLastUserOfTheirCallReference) {
    Request();
    Request();
    Sent();
    Down({0x08, 0x01, 0x83, 0x07});  // no terminal has sent a call reference yet
    EXPECT_TRUE(Sent().empty());
    Rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x03, 0x05});  // TEI 64, call reference 3
    Rx({0x00, 0x83, 0x00, 0x00, 0x08, 0x01, 0x04, 0x05});  // TEI 65, call reference 4
    EXPECT_EQ((Frames{"08 01 03 05", "08 01 04 05"}), l3->got);
    Down({0x08, 0x01, 0x05, 0x05});  // SETUP
    EXPECT_EQ((Frames{"02 FF 03 08 01 05 05"}), Sent());
    Down({0x08, 0x01, 0x83, 0x07});  // CONNECT, flag set
    Down({0x08, 0x01, 0x84, 0x4D});
    Down({0x08, 0x01, 0x86, 0x4D});  // nobody's call
    Down({0x08, 0x01, 0x83});        // too short
    Packet bare = Bytes({0x08, 0x01, 0x83, 0x5A});  // no head room: the header still fits
    lapd->message(bare);
    EXPECT_EQ((Frames{"02 81 00 03 08 01 83 07", "02 83 00 03 08 01 84 4D", "02 81 02 03 08 01 83 5A"}), Sent());
    EXPECT_EQ("08 01 83 5A", Hex(bare));
    // TEI 65 now uses call reference 3 too: the latest sender gets the answers.
    Rx({0x00, 0x83, 0x02, 0x00, 0x08, 0x01, 0x03, 0x05});
    Down({0x08, 0x01, 0x83, 0x02});
    EXPECT_EQ((Frames{"02 83 02 05 08 01 83 02"}), Sent());
}

TEST_F(LapdNtTest, CallRoutesEndWithTheTerminalThatMadeThemOrWithTheLink) {
    Request();                                                 // A: TEI 64 in user entry 0
    Rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x03, 0x05});     // SETUP, call reference 3
    Rx({0x00, 0x81, 0x02, 0x00, 0x08, 0x01, 0x03, 0x45});     // DISCONNECT
    Rx({0x00, 0x81, 0x53});                                   // DISC: A is gone
    Rx({0x00, 0x0B, 0x00, 0x00, 0x08, 0x01, 0x05, 0x05});     // B: TEI 5 takes user entry 0
    ASSERT_EQ(5, U(0).get_Tei());
    Sent();
    EXPECT_FALSE(Down({0x08, 0x01, 0x83, 0x4D}));  // RELEASE for A's call
    EXPECT_TRUE(Sent().empty());
    EXPECT_TRUE(Down({0x08, 0x01, 0x85, 0x4D}));   // B's own call
    EXPECT_EQ((Frames{"02 0B 00 03 08 01 85 4D"}), Sent());
    lapd->deactivate();
    Rx({0x00, 0x0F, 0x00, 0x00, 0x08, 0x01, 0x09, 0x05});  // TEI 7 takes user entry 0
    ASSERT_EQ(7, U(0).get_Tei());
    Sent();
    EXPECT_FALSE(Down({0x08, 0x01, 0x85, 0x4D}));  // B's call went with the link
    EXPECT_TRUE(Sent().empty());
}

TEST_F(LapdNtTest, CallRoutesFollowTheTeiBackAndEndWithItsNewLifeOrARemoveAll) {
    const std::string kRemoveAll = "FE FF 03 0F 00 00 06 FF";
    Request();                                              // TEI 64
    Rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x83, 0x07});  // its CONNECT, call reference 3
    lapd->check_all_Tei();
    Sent();
    Advance(2100);  // the check goes unanswered: dropped without a word to the terminal
    ASSERT_FALSE(U(0).is_assigned());
    EXPECT_TRUE(Sent().empty());
    EXPECT_FALSE(Down({0x08, 0x01, 0x03, 0x45}));  // DISCONNECT while nobody holds TEI 64
    Rx({0x00, 0x81, 0x01, 0x01});                   // its next poll takes it back
    ASSERT_TRUE(U(0).is_assigned());
    Sent();
    EXPECT_TRUE(Down({0x08, 0x01, 0x03, 0x45}));
    EXPECT_EQ((Frames{"02 81 00 01 08 01 03 45"}), Sent());

    // Given to a new terminal by an identity request, TEI 64 has no calls.
    Rx({0x02, 0x81, 0x0F});  // DM
    Request();
    ASSERT_EQ(64, U(0).get_Tei());
    EXPECT_FALSE(Down({0x08, 0x01, 0x03, 0x4D}));

    // A remove-all empties every user entry and every route; the terminals that
    // obey get TEIs again at once.
    Rx({0x00, 0x81, 0x00, 0x00, 0x08, 0x01, 0x83, 0x07});
    for (int i = 0; i < 7; ++i) Request();
    Sent();
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x01, 0x00, 0x05, 0xFF});  // check response, Ai 127
    EXPECT_EQ((Frames{kRemoveAll, kRemoveAll}), Sent());
    for (unsigned i = 0; i < 8; ++i) EXPECT_FALSE(U(i).is_assigned());
    EXPECT_FALSE(Down({0x08, 0x01, 0x03, 0x4D}));
    Request();
    EXPECT_EQ((Frames{"FE FF 03 0F 34 12 02 81", kSabme64}), Sent());
}

TEST_F(LapdNtTest, IdlePollIsRepeatedThreeTimesThenTheTeiIsDropped) {
    lapd->set_log(2);
    Request();
    Sent();
    Advance(9999);
    EXPECT_TRUE(Sent().empty());
    Advance(2);
    EXPECT_EQ((Frames{"02 81 01 01"}), Sent());
    EXPECT_EQ(LAPD_NT_user::wait_answer, U(0).get_state());
    Rx({0x02, 0x81, 0x01, 0x01});  // answered: idle again
    EXPECT_EQ(LAPD_NT_user::assigned, U(0).get_state());
    Advance(10000);
    EXPECT_EQ((Frames{"02 81 01 01"}), Sent());
    Advance(3000);
    EXPECT_EQ((Frames{"02 81 01 01", "02 81 01 01", "02 81 01 01"}), Sent());
    EXPECT_TRUE(U(0).is_assigned());
    Advance(1000);
    EXPECT_FALSE(U(0).is_assigned());
    EXPECT_TRUE(Sent().empty());
    EXPECT_NE(std::string::npos, Log().find("LAPD_user(NT BRI)[Tei=64,wait_answer]T200 expiried N200 times\n"
                                            "LAPD_user(NT BRI)[Tei=64,wait_answer]unassigned\n"));
}

TEST_F(LapdNtTest, IncomingIFramesAnswerPollsRejectGapsAndShortOnesStillAcknowledge) {
    AssignWithCall(0x03);  // V(R) 1
    Rx({0x00, 0x81, 0x02, 0x00, 0x08, 0x01, 0x03, 0x7B});  // P = 0: no RR
    EXPECT_TRUE(Sent().empty());
    Rx({0x00, 0x81, 0x08, 0x01, 0x08, 0x01, 0x03, 0x7B});  // N(S) 4 where 2 is due, P = 1
    EXPECT_EQ((Frames{"00 81 09 05"}), Sent());
    Rx({0x00, 0x81, 0x08, 0x00, 0x08, 0x01, 0x03, 0x7B});  // again with P = 0
    EXPECT_EQ((Frames{"00 81 09 04"}), Sent());
    Down({0x08, 0x01, 0x83, 0x07});
    EXPECT_EQ((Frames{"02 81 00 05 08 01 83 07"}), Sent());
    Rx({0x00, 0x81, 0x04, 0x03, 0x08, 0x01});  // short I frame carrying N(R) 1
    EXPECT_EQ((Frames{"00 81 01 07"}), Sent());
    EXPECT_EQ(3, U(0).get_vr());
    EXPECT_EQ(1, U(0).get_va());
    EXPECT_EQ(0u, U(0).outstanding());
    EXPECT_EQ(LAPD_NT_user::assigned, U(0).get_state());
    EXPECT_EQ(2u, l3->got.size());  // the short one and the rejected ones stayed here
    Rx({0x02, 0x81, 0x06, 0x01, 0x08, 0x01, 0x03, 0x7B});  // an I frame as a response
    EXPECT_EQ(3, U(0).get_vr());
}

TEST_F(LapdNtTest, SevenFramesAtMostAreOutstandingAndTheRestWaitsInOrder) {
    AssignWithCall(0x03);
    for (unsigned char i = 0; i < 9; ++i) Down({0x08, 0x01, 0x83, 0x7B, i});  // INFORMATION, numbered
    Frames f = Sent();
    ASSERT_EQ(7u, f.size());
    EXPECT_EQ("02 81 0C 03 08 01 83 7B 06", f[6]);
    EXPECT_EQ(2u, U(0).queued());
    Rx({0x02, 0x81, 0x01, 0x04});  // RR N(R) 2 opens two places
    EXPECT_EQ((Frames{"02 81 0E 03 08 01 83 7B 07", "02 81 10 03 08 01 83 7B 08"}), Sent());
    EXPECT_EQ(0u, U(0).queued());
    EXPECT_EQ(7u, U(0).outstanding());
    Advance(1001);  // frames still outstanding after an acknowledgement are repeated within a second
    Frames again = Sent();
    ASSERT_EQ(7u, again.size());
    EXPECT_EQ("02 81 04 03 08 01 83 7B 02", again[0]);
    Rx({0x02, 0x81, 0x01, 0x14});  // N(R) 10 is beyond V(S) 9
    EXPECT_FALSE(U(0).is_assigned());
}

TEST_F(LapdNtTest, EachNewIFrameRestartsTheRepetitionTimerAndKeepsTheCount) {
    AssignWithCall(0x03);
    Down({0x08, 0x01, 0x83, 0x7B, 0x00});
    Sent();
    Advance(1001);
    EXPECT_EQ((Frames{"02 81 00 03 08 01 83 7B 00"}), Sent());  // the first repetition
    Advance(600);
    Down({0x08, 0x01, 0x83, 0x7B, 0x01});
    EXPECT_EQ(1u, Sent().size());
    Advance(999);  // the timer restarted with the new frame
    EXPECT_TRUE(Sent().empty());
    Advance(2);
    EXPECT_EQ(2u, Sent().size());  // the second repetition
    Advance(1000);
    EXPECT_EQ(2u, Sent().size());  // the third
    Advance(1000);
    EXPECT_FALSE(U(0).is_assigned());
}

TEST_F(LapdNtTest, RejectAcknowledgesUpToItsNrAndRetransmitsFromThere) {
    AssignWithCall(0x03);
    for (unsigned char i = 0; i < 3; ++i) Down({0x08, 0x01, 0x83, 0x7B, i});
    Rx({0x02, 0x81, 0x01, 0x06});  // frames 0..2 acknowledged
    for (unsigned char i = 3; i < 7; ++i) Down({0x08, 0x01, 0x83, 0x7B, i});
    Rx({0x00, 0x81, 0x02, 0x06, 0x08, 0x01, 0x03, 0x7B});  // the terminal's next I frame: V(R) 2
    Sent();
    Advance(500);
    Rx({0x02, 0x81, 0x09, 0x0A});  // REJ N(R) 5 while 3..6 are outstanding
    // Sent again with their own N(S) and the current N(R).
    EXPECT_EQ((Frames{"02 81 0A 05 08 01 83 7B 05", "02 81 0C 05 08 01 83 7B 06"}), Sent());
    EXPECT_EQ(5, U(0).get_va());
    EXPECT_EQ(LAPD_NT_user::wait_answer, U(0).get_state());
    Advance(999);  // the repetition timer restarted at the REJ
    EXPECT_TRUE(Sent().empty());
    Advance(2);
    EXPECT_EQ((Frames{"02 81 0A 05 08 01 83 7B 05", "02 81 0C 05 08 01 83 7B 06"}), Sent());
    Advance(2000);
    EXPECT_EQ(4u, Sent().size());
    Advance(1000);  // the fourth expiry after the REJ
    EXPECT_FALSE(U(0).is_assigned());
}

TEST_F(LapdNtTest, BusyTerminalIsPolledAndGetsItsQueueWhenReadyAgain) {
    AssignWithCall(0x03);
    Down({0x08, 0x01, 0x83, 0x00});
    Sent();
    Rx({0x00, 0x81, 0x05, 0x01});  // RNR command, P = 1, nothing acknowledged
    EXPECT_EQ((Frames{"00 81 01 03"}), Sent());
    EXPECT_TRUE(U(0).is_busy());
    for (unsigned i = 0; i < 130; ++i) Down({0x08, 0x01, 0x83, 0x7B, static_cast<unsigned char>(i)});
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(128u, U(0).queued());
    for (int i = 0; i < 5; ++i) {
        Advance(1001);
        EXPECT_EQ((Frames{"02 81 01 03"}), Sent());  // asked, not sent what it cannot take
        Rx({0x02, 0x81, 0x05, 0x01});                // still busy, F = 1
    }
    EXPECT_TRUE(U(0).is_assigned());
    Rx({0x02, 0x81, 0x01, 0x03});  // RR F = 1, N(R) 1: ready again
    Frames f = Sent();
    ASSERT_EQ(7u, f.size());
    EXPECT_EQ("02 81 02 03 08 01 83 7B 02", f[0]);  // the two oldest were dropped
    EXPECT_EQ(121u, U(0).queued());
}

TEST_F(LapdNtTest, TerminalLinkControlFrames) {
    AssignWithCall(0x03);
    Down({0x08, 0x01, 0x83, 0x00});
    Sent();
    Rx({0x00, 0x81, 0x7F});  // SABME, P = 1
    EXPECT_EQ((Frames{"00 81 73"}), Sent());
    EXPECT_EQ(0, U(0).get_vs());
    EXPECT_EQ(0u, U(0).outstanding());
    EXPECT_EQ(LAPD_NT_user::assigned, U(0).get_state());
    Rx({0x00, 0x81, 0x1F});  // DM as a command: ignored
    Rx({0x02, 0x81, 0x63});  // UA: ignored
    Rx({0x00, 0x81, 0xBF});  // XID: only logged
    EXPECT_TRUE(U(0).is_assigned());
    Rx({0x00, 0x81, 0x53});  // DISC, P = 1
    EXPECT_EQ((Frames{"00 81 73"}), Sent());
    EXPECT_FALSE(U(0).is_assigned());
    for (unsigned char response : {0x1F, 0x87}) {  // DM and FRMR as responses
        Request();
        Sent();
        Rx({0x02, 0x81, response});
        EXPECT_FALSE(U(0).is_assigned()) << int(response);
    }
}

TEST_F(LapdNtTest, EmptyPacketPoolCostsFramesButNeitherTheProcessNorTheLink) {
    AssignWithCall(0x03);
    Down({0x08, 0x01, 0x83, 0x00});
    EXPECT_EQ(1u, Sent().size());
    Log();
    std::vector<Packet> held = HoldEveryBlock();
    // Two repetitions of the I frame find no block: one line for both.
    Advance(2 * LAPD_NT_user::kRepeat + 10);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(2u, lapd->no_buffer_drops());
    const std::string log = Log();
    EXPECT_EQ(1u, Count(log, "LAPD(NT BRI):packet pool exhausted: frames not sent\n")) << log;
    held.clear();
    Advance(LAPD_NT_user::kRepeat);
    EXPECT_EQ((Frames{"02 81 00 03 08 01 83 00"}), Sent());
    EXPECT_TRUE(U(0).is_assigned());
}

TEST_F(LapdNtTest, MalformedFramesAreDroppedSilently) {
    lapd->set_log(3);
    Request();
    Sent();
    Log();
    Rx({0x00, 0x81});                                      // too short
    Rx({0x01, 0x81, 0x01, 0x00});                          // EA set in the first octet
    Rx({0x00, 0x80, 0x01, 0x00});                          // EA clear in the second
    Rx({0xFC, 0xFF, 0x13, 0x0F, 0x34, 0x12, 0x01, 0xFF});  // broadcast that is not UI
    Rx({0xFC, 0xFF, 0x03, 0x0E, 0x34, 0x12, 0x01, 0xFF});  // other management entity
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01});        // management message cut short
    Rx({0x00, 0x81, 0x00});                                // I frame without its second octet
    Rx({0x00, 0x81, 0x01});                                // RR without N(R)
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ("", Log());
    EXPECT_TRUE(l3->got.empty());
    Rx({0x00, 0xFF, 0x03, 0x08, 0x01, 0x03, 0x05});  // UI on SAPI 0 to the group goes up
    EXPECT_EQ((Frames{"08 01 03 05"}), l3->got);
}

TEST_F(LapdNtTest, ScriptedManagementExchangeDissectsWithoutMalformedFrames) {
    if (!HaveTshark()) GTEST_SKIP() << "tshark not installed";
    const std::string path = TempCapture("lapd_nt_tei");
    ASSERT_FALSE(path.empty());
    Sim::PcapngWriter writer;
    ASSERT_TRUE(writer.Open(path, Sim::PcapngWriter::kLinkLapd));
    wire->tap = &writer;
    for (int i = 0; i < 9; ++i) Request();                   // eight assigned, the ninth denied
    lapd->activate();                                        // check request
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0x34, 0x12, 0x01, 0x8D});  // Ai 70 denied
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0xAA, 0x01, 0x05, 0x81});  // check answered
    Rx({0xFC, 0xFF, 0x03, 0x0F, 0xBB, 0x02, 0x05, 0x81});  // duplicate: removed
    Rx({0x00, 0x0B, 0x00, 0x01, 0x08, 0x01, 0x03, 0x05});  // TEI 5 adopted: SABME, RR
    Rx({0x00, 0x13, 0x01, 0x00});                          // TEI 9: no user left, removed
    Down({0x08, 0x01, 0x83, 0x07});                        // CONNECT to TEI 5
    wire->tap = nullptr;
    writer.Close();
    const std::string malformed = CommandOutput(std::string("tshark -r ") + path + " -Y _ws.malformed 2>/dev/null");
    const std::string messages = CommandOutput(std::string("tshark -r ") + path + " -Y tei_management -T fields -e tei.msg 2>/dev/null");
    const std::string calls = CommandOutput(std::string("tshark -r ") + path + " -Y q931 -T fields -e lapd.tei -e q931.message_type 2>/dev/null");
    if (!std::getenv("KEEP_CAPTURE")) std::remove(path.c_str());
    EXPECT_EQ("", malformed);
    std::set<std::string> kinds;
    std::istringstream lines(messages);
    for (std::string line; std::getline(lines, line);) kinds.insert(line);
    EXPECT_EQ((std::set<std::string>{"1", "2", "3", "4", "5", "6"}), kinds) << messages;
    EXPECT_EQ("5\t0x05\n5\t0x07\n", calls);
}

}  // namespace
