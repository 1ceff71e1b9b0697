// The user side of a basic-rate line: TEI requests, assignment, checks and
// removal in management frames (FC/FE FF 03 0F Ri-low Ri-high type Ai*2+1).
#include "tests/signalling/lapd_harness.h"

namespace {

using Strings = std::vector<std::string>;
using Frames = std::vector<Bytes>;

class LapdTeiTest : public LapdTest {
protected:
    void SetUp() override {
        LapdTest::SetUp();
        lapd->change_to_bri();
    }
    // The network's management frame for the Ri of our last request.
    void Tei(unsigned char type, unsigned char ai) {
        Rx({0xFE, 0xFF, 0x03, 0x0F, ri[0], ri[1], type, static_cast<unsigned char>(ai * 2 + 1)});
    }
    // Takes our one identity request and remembers its Ri.
    void ExpectRequest() {
        Frames sent = hdlc.Take();
        ASSERT_EQ(1u, sent.size());
        const Bytes& f = sent[0];
        ASSERT_EQ(8u, f.size());
        EXPECT_EQ((Bytes{0xFC, 0xFF, 0x03, 0x0F}), Bytes(f.begin(), f.begin() + 4));
        EXPECT_EQ((Bytes{0x01, 0xFF}), Bytes(f.begin() + 6, f.end()));
        ri[0] = f[4];
        ri[1] = f[5];
    }
    unsigned char ri[2] = {0, 0};
};

TEST_F(LapdTeiTest, RemovalRequestsATeiAndAssignmentLeadsToEstablishment) {
    Tei(6, 127);  // identity remove for every TEI
    EXPECT_EQ(State::assign_awaiting_tei, state());
    ExpectRequest();
    lapd->local_activate();
    EXPECT_EQ(State::establish_awaiting_tei, state());
    EXPECT_TRUE(hdlc.Take().empty());
    Tei(6, 127);  // removed again: a new request, the establishment still waits
    EXPECT_EQ(State::establish_awaiting_tei, state());
    ExpectRequest();

    const unsigned char right[2] = {ri[0], ri[1]};
    ri[0] ^= 0xFF;
    Tei(2, 70);  // someone else's Ri
    EXPECT_EQ(State::establish_awaiting_tei, state());
    ri[0] = right[0];
    ri[1] = right[1];
    Tei(2, 70);
    EXPECT_EQ(State::awaiting_establishment, state());
    EXPECT_EQ(70, lapd->snapshot().self_tei);
    EXPECT_EQ((Frames{{0x00, 0x8D, 0x7F}}), hdlc.Take());
    EXPECT_FALSE(lapd->snapshot().T202_running);
    EXPECT_TRUE(lapd->snapshot().T200_running);
    EXPECT_TRUE(stack.statuses.empty());  // no timer misuse

    Rx({0x00, 0x8D, 0x73});
    EXPECT_EQ(State::multiple_frame_established, state());
    Rx({0x02, 0x0B, 0x7F});  // TEI 5 is not ours
    Rx({0x02, 0xFF, 0x03, 0x08, 0x01, 0x01, 0x05});  // layer-3 UI on the group TEI
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ((std::vector<Bytes>{{0x08, 0x01, 0x01, 0x05}}), stack.messages);
    EXPECT_EQ(127, lapd->snapshot().peer_tei);
}

TEST_F(LapdTeiTest, UnansweredRequestsGiveUpAndTheNextRequestStartsOver) {
    Tei(6, 127);
    ExpectRequest();
    for (int expiry = 0; expiry < 4; ++expiry) {
        Wait(2000);
        ExpectRequest();
    }
    EXPECT_TRUE(stack.deactivated.empty());
    Wait(2000);
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ(Strings{"-link error (T202 expired N202 times)"}, stack.deactivated);
    EXPECT_EQ(State::tei_unassigned, state());
    EXPECT_EQ(5u, lapd->stats().T202_expiries);

    Send({0x08, 0x01, 0x00});  // DL-DATA asks again
    EXPECT_EQ(State::assign_awaiting_tei, state());
    ExpectRequest();
    Tei(2, 64);
    EXPECT_EQ(State::tei_assigned, state());
    EXPECT_EQ(1u, lapd->queued());
    EXPECT_TRUE(stack.statuses.empty());
}

TEST_F(LapdTeiTest, EstablishRequestWithoutTeiAsksForOne) {
    lapd->mdl_remove();
    EXPECT_EQ(State::tei_unassigned, state());
    EXPECT_TRUE(hdlc.Take().empty());
    lapd->local_activate();
    EXPECT_EQ(State::establish_awaiting_tei, state());
    ExpectRequest();
    Tei(2, 99);
    EXPECT_EQ((Frames{{0x00, 0xC7, 0x7F}}), hdlc.Take());
    EXPECT_EQ(State::awaiting_establishment, state());
}

TEST_F(LapdTeiTest, DenialCheckAndRemoval) {
    Tei(6, 127);
    ExpectRequest();
    Tei(3, 127);
    EXPECT_EQ(Strings{"Tei Assign - Tei denied"}, stack.statuses);
    EXPECT_EQ(State::assign_awaiting_tei, state());
    EXPECT_TRUE(lapd->snapshot().T202_running);
    Tei(4, 127);  // check request before assignment: ignored
    EXPECT_TRUE(hdlc.Take().empty());
    Wait(2000);
    ExpectRequest();
    Tei(2, 80);
    lapd->local_activate();
    hdlc.Take();
    Rx({0x00, 0xA1, 0x73});
    ASSERT_EQ(State::multiple_frame_established, state());

    Tei(4, 127);
    EXPECT_EQ((Frames{{0xFC, 0xFF, 0x03, 0x0F, ri[0], ri[1], 0x05, 0xA1}}), hdlc.Take());
    Tei(4, 81);  // another terminal's TEI
    EXPECT_TRUE(hdlc.Take().empty());

    Send({0x08, 0x01, 0x00});
    hdlc.Take();
    Tei(6, 127);
    EXPECT_EQ(Strings{"-error (MDL-REMOVE received)"}, stack.deactivated);
    EXPECT_EQ(0u, lapd->queued() + lapd->unacknowledged());
    EXPECT_EQ(State::assign_awaiting_tei, state());
    ExpectRequest();
}

TEST_F(LapdTest, PrimaryRateIgnoresManagementAndUi) {
    Establish();
    Rx({0xFE, 0xFF, 0x03, 0x0F, 0x00, 0x00, 0x06, 0xFF});
    Rx({0x02, 0x01, 0x03, 0x08, 0x01, 0x01, 0x05});
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_TRUE(stack.messages.empty());
    EXPECT_EQ(State::multiple_frame_established, state());
    lapd->mdl_remove();  // no identity request on primary rate
    EXPECT_TRUE(hdlc.Take().empty());
    EXPECT_EQ(State::tei_unassigned, state());
}

TEST_F(LapdTest, MdlErrorTexts) {
    const std::pair<unsigned, const char*> codes[] = {
        {1, "Supervisory (F = 1)"}, {2048, "Other - Receipt of undefined frame"}, {16384, "Other - N201 error"},
        {12, "Other - Unknown"},    {0, "Other - Unknown"},
    };
    for (auto [code, text] : codes) {
        stack.statuses.clear();
        lapd->on_error(code);
        EXPECT_EQ(Strings{text}, stack.statuses) << code;
    }
}

}  // namespace
