// Two of our entities back to back over a frame socket that loses and repeats
// frames: every message arrives once, in order.
#include <random>

#include "tests/core/control_service_test.h"
#include "tests/core/lasting_lines.h"
#include "tests/signalling/lapd_harness.h"
#include "tests/signalling/support/frame_socket.h"

namespace {

constexpr unsigned kMessages = 10000;

struct End {
    RecordingStack stack;
    ISDN::LAPD* lapd;
    std::unique_ptr<FrameSocket> socket;
    unsigned sent = 0;
    unsigned next_expected = 0;
    bool in_order = true;
};

class LapdPairTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        int fd[2];
        ASSERT_TRUE(FrameSocket::Pair(fd));
        const ISDN::Side::type sides[2] = {ISDN::Side::user, ISDN::Side::network};
        for (int i = 0; i < 2; ++i) {
            End& e = end[i];
            e.lapd = new ISDN::LAPD(sides[i], 0);
            e.lapd->set_linkno(i);
            e.stack.add_protocol_tail(e.lapd);
            e.socket = std::make_unique<FrameSocket>(fd[i]);
            e.socket->bind(e.lapd);
            e.lapd->hdlc(e.socket.get());
            // Loses 2% of the frames and sends 1% of the numbered ones twice.
            FrameSocket* socket = e.socket.get();
            e.socket->drop_tx = [this, socket](const Packet& frame) {
                // A peer that takes the link up but answers nothing else: only its UAs go.
                if (deaf && socket == end[1].socket.get())
                    return frame.length() < 3 || (frame.data()[2] & 0xEF) != 0x63;
                if (repeating || !lossy) return false;
                if (chance(rng) < 0.02) return true;
                const bool numbered = frame.length() >= 4 && (frame.data()[2] & 3) != 3;
                if (numbered && chance(rng) < 0.01) {
                    Packet again = frame;
                    repeating = true;
                    socket->hdlc_transmit(again);
                    repeating = false;
                }
                return false;
            };
        }
    }
    void TearDown() override {
        for (End& e : end) e.socket.reset();
        LoopTest::TearDown();
    }

    void Start() { tick.set(1, &LapdPairTest::OnTick, this); }

    // Every millisecond: tops up both queues and checks what arrived.
    void OnTick() {
        bool done = true;
        for (End& e : end) {
            for (const Bytes& m : e.stack.messages) {
                const unsigned n = m.size() == 3 ? unsigned(m[1]) << 8 | m[2] : ~0u;
                if (n != e.next_expected) e.in_order = false;
                ++e.next_expected;
            }
            e.stack.messages.clear();
            if (e.lapd->snapshot().state == ISDN::LAPDFullState::multiple_frame_established)
                while (e.sent < kMessages && e.lapd->queued() < 100) {
                    Packet p = PacketOf({0x08, static_cast<unsigned char>(e.sent >> 8),
                                         static_cast<unsigned char>(e.sent & 0xFF)});
                    e.lapd->message(p);
                    ++e.sent;
                }
            done = done && e.next_expected >= kMessages && e.lapd->queued() == 0 &&
                   e.lapd->unacknowledged() == 0;
        }
        if (done || ++ticks > 1200000) {
            multiplexer.terminate();
            return;
        }
        tick.set(1, &LapdPairTest::OnTick, this);
    }

    std::mt19937 rng{20261207};
    std::uniform_real_distribution<double> chance{0.0, 1.0};
    End end[2];
    Timer tick;
    unsigned ticks = 0;
    bool repeating = false;
    bool lossy = true;
    bool deaf = false;
};

TEST_F(LapdPairTest, LossyPipeDeliversEveryMessageOnceInOrder) {
    end[0].lapd->local_activate();
    Start();
    run();
    for (End& e : end) {
        EXPECT_EQ(kMessages, e.sent);
        EXPECT_EQ(kMessages, e.next_expected);
        EXPECT_TRUE(e.in_order);
        EXPECT_TRUE(e.stack.statuses.empty()) << testing::PrintToString(e.stack.statuses);
        EXPECT_TRUE(e.stack.deactivated.empty());
        EXPECT_EQ(kMessages, e.lapd->stats().in_sequence);
    }
    EXPECT_GT(end[0].lapd->stats().retrains + end[1].lapd->stats().retrains, 0u);
    EXPECT_GT(end[0].lapd->stats().out_of_sequence + end[1].lapd->stats().out_of_sequence, 0u);
}

// An idle link polls its peer every T203 for as long as it stays up: one lasting
// condition per entity, whose count its release writes.
TEST_F(LapdPairTest, AnIdleLinkPollsEveryT203UnderAFewLinesAndItsReleaseCountsThePolls) {
    lossy = false;
    testing_core::LineCapture log(std::clog);
    end[0].lapd->local_activate();
    PassesIn(3600 * 1000);
    end[0].lapd->local_deactivate();
    for (int ms = 0; ms < 100 && end[0].lapd->snapshot().state != ISDN::LAPDFullState::tei_assigned; ++ms) {
        PassesIn(1);
    }
    uint32_t polls = 0;
    for (int i = 0; i < 2; ++i) {
        const uint32_t expiries = end[i].lapd->stats().T203_expiries;
        const ConditionLines c =
            Account(log.texts(), "LAPD[" + std::to_string(i) + "] (Multiple frame established): T203.");
        EXPECT_LE(c.written, 7u) << i;
        EXPECT_EQ(expiries != 0, c.ended) << i;
        EXPECT_EQ(expiries, c.counted) << i;
        polls += expiries;
    }
    EXPECT_GE(polls, 359u);
    EXPECT_EQ(ISDN::LAPDFullState::tei_assigned, end[0].lapd->snapshot().state);
}

// A peer that answers SABME but never the poll: every T203 expiry ends, after T200 x
// N200, in a link that comes up again. The poll comes and goes every cycle, in a few
// lines that count every expiry.
TEST_F(LapdPairTest, APollThatIsNeverAnsweredComesAndGoesEveryCycleUnderEightLinesAnHour) {
    lossy = false;
    deaf = true;
    testing_core::LineCapture log(std::clog);
    end[0].lapd->local_activate();
    PassesIn(3600 * 1000);
    const std::string poll = "LAPD[0] (Multiple frame established): T203.";
    const uint32_t expiries = end[0].lapd->stats().T203_expiries;
    EXPECT_GE(expiries, 200u) << "a cycle of about 13 s";
    EXPECT_LE(log.count_prefix(poll), 8u);
    // Released, it stays away: the timer writes what is still counted.
    end[0].lapd->local_deactivate();
    PassesIn(600 * 1000);
    EXPECT_EQ(expiries, end[0].lapd->stats().T203_expiries);
    const ConditionLines c = Account(log.texts(), poll);
    EXPECT_EQ(expiries, c.counted);
    EXPECT_TRUE(c.ended);
}

}  // namespace
