// Two of our links back to back over a socket that loses units.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "signalling/ss7_slc.h"
#include "tests/core/multiplexer_test.h"
#include "tests/signalling/support/captured_streams.h"
#include "tests/signalling/support/frame_socket.h"
#include "tests/signalling/support/mtp2_user.h"

namespace {

constexpr unsigned kMsus = 5000;

struct End {
    explicit End(int fd) : channel(fd) {
        stack.link->hdlc(&channel);
        channel.bind(stack.link);
        stack.user->keep_events = false;
    }
    std::vector<unsigned char> Next() {
        // SIO, then the number, then some filler so lengths vary.
        std::vector<unsigned char> msu{0x83, static_cast<unsigned char>(sent >> 8),
                                       static_cast<unsigned char>(sent)};
        msu.resize(3 + sent % 40, 0x5A);
        ++sent;
        return msu;
    }
    bool Complete(unsigned n) const { return stack.user->received.size() >= n; }

    FrameSocket channel;
    Mtp2Stack stack;
    unsigned sent = 0;
};

class Mtp2PairTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        int fd[2];
        ASSERT_TRUE(FrameSocket::Pair(fd));
        a = std::make_unique<End>(fd[0]);
        b = std::make_unique<End>(fd[1]);
        for (End* e : {a.get(), b.get()}) {
            e->channel.drop_tx = [this](const Packet&) {
                if (!lossy) return false;
                ++offered;
                if (loss(random) >= 0.01) return false;
                ++lost;
                return true;
            };
        }
    }
    void TearDown() override {
        b.reset();
        a.reset();
        LoopTest::TearDown();
    }

    // Calls step every millisecond of the loop clock until it returns true or
    // the time is up.
    bool Every1ms(unsigned limit_ms, std::function<bool()> step) {
        done = false;
        this->step = std::move(step);
        remaining = limit_ms;
        tick.set<Mtp2PairTest>(1, &Mtp2PairTest::OnTick, this);
        run();
        tick.reset();
        return done;
    }
    void OnTick() {
        if (step() || --remaining == 0) {
            done = remaining != 0;
            multiplexer.terminate();
            return;
        }
        tick.set<Mtp2PairTest>(1, &Mtp2PairTest::OnTick, this);
    }

    std::unique_ptr<End> a, b;
    Timer tick;
    std::function<bool()> step;
    unsigned remaining = 0;
    bool done = false;
    bool lossy = false;
    unsigned offered = 0;
    unsigned lost = 0;
    std::mt19937 random{20};
    std::uniform_real_distribution<double> loss{0.0, 1.0};
    // The links' lines are not the subject here.
    CapturedStreams streams;
};

TEST_F(Mtp2PairTest, LossyPipeDeliversEveryMsuCompleteAndInOrder) {
    a->stack.user->activate();
    ASSERT_TRUE(Every1ms(
        11000, [&] { return a->stack.link->get_state_id() == 5 && b->stack.link->get_state_id() == 5; }));
    EXPECT_EQ(1, a->stack.user->ups);
    EXPECT_EQ(1, b->stack.user->ups);

    // Loss stops for the last hundred each way: a unit lost with nothing after
    // it would only be noticed by T7, as the link sends no filler FISUs.
    lossy = true;
    ASSERT_TRUE(Every1ms(60000, [&] {
        for (End* e : {a.get(), b.get()})
            for (int i = 0; i < 4 && e->sent < kMsus; ++i) e->stack.user->Send(e->Next());
        if (a->sent >= kMsus - 100 && b->sent >= kMsus - 100) lossy = false;
        return a->Complete(kMsus) && b->Complete(kMsus);
    }));
    // Acknowledgements of the last ones drain the retransmission buffers.
    Every1ms(100, [] { return false; });

    EXPECT_GT(lost, offered / 200);
    for (End* e : {a.get(), b.get()}) {
        End* other = e == a.get() ? b.get() : a.get();
        ASSERT_EQ(kMsus, e->stack.user->received.size());
        for (unsigned n = 0; n < kMsus; ++n) {
            other->sent = n;
            Packet expected = e->stack.user->Msu(other->Next());
            ASSERT_EQ(expected.text(), e->stack.user->received[n]) << "MSU " << n;
        }
        const std::uint32_t* w = e->stack.link->statistics();
        EXPECT_EQ(0u, w[5]);
        EXPECT_GT(w[6], 0u);
        EXPECT_GT(w[7], 0u);
        EXPECT_EQ(0u, w[4]);
        EXPECT_EQ(5u, e->stack.link->get_state_id());
        EXPECT_EQ(0, e->stack.user->downs);
    }
}

}  // namespace
