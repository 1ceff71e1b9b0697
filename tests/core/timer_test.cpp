#include "core/timer.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/multiplexer.h"
#include "tests/core/multiplexer_test.h"

namespace {

struct Recorder {
    void A() { order.push_back("A"); }
    void B() { order.push_back("B"); }
    void C() { order.push_back("C"); }
    void D() { order.push_back("D"); }
    void Last() {
        order.push_back("last");
        multiplexer.terminate();
    }
    void Rearm(Timer* t) {
        running_inside = t->is_running();
        if (++rearms < 3) t->set(100, &Recorder::Rearm, this);
        pending_after = multiplexer.timer_count();
    }
    std::vector<std::string> order;
    int rearms = 0;
    bool running_inside = true;
    unsigned pending_after = 0;
};

struct Update {
    void OnUpdateTimer() { fired_at.push_back(Mux::milliseconds()); }
    std::vector<uint32_t> fired_at;
};
struct UpdateSpec {
    static constexpr void (Update::*method)() = &Update::OnUpdateTimer;
    static constexpr unsigned period = 3000;
};

}  // namespace

TEST_F(LoopTest, TimersFireInExpiryOrderAcrossTheClockWrap) {
    clock.set_ms((uint64_t{1} << 32) - 20);
    Recorder r;
    Timer a, b, c, d, last;
    a.set(30, &Recorder::A, &r);  // 10 ms after the wrap
    b.set(10, &Recorder::B, &r);  // 10 ms before it
    c.set(15, &Recorder::C, &r);
    d.set(30, &Recorder::D, &r);  // same expiry as A, armed later
    last.set(31, &Recorder::Last, &r);
    run();
    EXPECT_EQ((std::vector<std::string>{"B", "C", "A", "D", "last"}), r.order);
    EXPECT_EQ((std::vector<int>{10, 5, 15, 1}), timeouts);
}

TEST_F(LoopTest, EqualExpiriesFireInArmingOrder) {
    Recorder r;
    Timer t[4];
    t[2].set(50, &Recorder::C, &r);
    t[0].set(50, &Recorder::A, &r);
    t[1].set(50, &Recorder::B, &r);
    t[3].set(50, &Recorder::Last, &r);
    run();
    EXPECT_EQ((std::vector<std::string>{"C", "A", "B", "last"}), r.order);
}

TEST_F(LoopTest, RebaseOfFarTimersKeepsTheirExpiryOrder) {
    Recorder r;
    Timer z, x, y, w, last;
    z.set(9000000, &Recorder::D, &r);
    x.set(8000000, &Recorder::C, &r);
    y.set(7500000, &Recorder::A, &r);
    w.set(7600000, &Recorder::B, &r);
    last.set(9000001, &Recorder::Last, &r);
    std::ostringstream err;
    std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());  // the rebase's error block
    run();
    std::cerr.rdbuf(saved);
    EXPECT_EQ((std::vector<std::string>{"A", "B", "C", "D", "last"}), r.order);
}

TEST_F(LoopTest, ArmingAgainReplacesThePendingEntry) {
    Recorder r;
    Timer t, last;
    t.set(100, &Recorder::A, &r);
    t.set(50, &Recorder::B, &r);
    EXPECT_EQ(1u, multiplexer.timer_count());
    last.set(200, &Recorder::Last, &r);
    run();
    EXPECT_EQ((std::vector<std::string>{"B", "last"}), r.order);
    EXPECT_EQ((std::vector<int>{50, 150}), timeouts);
}

TEST_F(LoopTest, CallbackReArmsItsOwnTimer) {
    Recorder r;
    Timer t, last;
    t.set(100, &Recorder::Rearm, &r);
    last.set(1000, &Recorder::Last, &r);
    run();
    EXPECT_EQ(3, r.rearms);
    EXPECT_FALSE(r.running_inside);
    EXPECT_FALSE(t.is_running());
    EXPECT_EQ(1u, r.pending_after);  // the last timer only, after the third call did not re-arm
}

TEST_F(LoopTest, ZeroDelayFiresAtTheNextTimerStepNotInsideSet) {
    Recorder r;
    Timer t;
    t.set(0, &Recorder::A, &r);
    EXPECT_TRUE(r.order.empty());
    EXPECT_TRUE(t.is_running());
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"A"}), r.order);
    EXPECT_FALSE(t.is_running());
}

TEST_F(LoopTest, ResetAndDestructionCancel) {
    Recorder r;
    Timer kept;
    kept.set(10, &Recorder::A, &r);
    {
        Timer gone;
        gone.set(5, &Recorder::B, &r);
        EXPECT_EQ(2u, multiplexer.timer_count());
    }
    kept.reset();
    kept.reset();
    EXPECT_EQ(0u, multiplexer.timer_count());
    clock.advance_ms(50);
    EXPECT_EQ(Multiplexer::kNoWait, multiplexer.timers_schedule());
    EXPECT_TRUE(r.order.empty());
}

TEST_F(LoopTest, CancellingFromTheMiddleKeepsTheOrder) {
    Recorder r;
    Timer t[6];
    void (Recorder::*m[])() = {&Recorder::A, &Recorder::B, &Recorder::C,
                               &Recorder::D, &Recorder::A, &Recorder::B};
    for (int i = 0; i < 6; ++i) t[i].set(10 * (6 - i), m[i], &r);  // expiries 60, 50 .. 10
    t[2].reset();                                                  // C at 40
    t[5].reset();                                                  // B at 10
    clock.advance_ms(100);
    multiplexer.timers_schedule();
    EXPECT_EQ((std::vector<std::string>{"A", "D", "B", "A"}), r.order);
}

TEST_F(LoopTest, SpecTimerRunsWithTheRecordsPeriod) {
    Update u;
    TimerSpec<Update>::SpecTimer<UpdateSpec> t;
    t.set(&u);
    clock.advance_ms(2999);
    multiplexer.timers_schedule();
    EXPECT_TRUE(u.fired_at.empty());
    clock.advance_ms(1);
    multiplexer.timers_schedule();
    ASSERT_EQ(1u, u.fired_at.size());
    EXPECT_EQ(static_cast<uint32_t>(kStart + 3000), u.fired_at[0]);
}

// NTP's first sync, or an operator's date command, while timers are armed.
TEST_F(LoopTest, WallClockStepsMoveNoTimer) {
    struct Periodic {
        void OnTick() {
            fired_at.push_back(Mux::milliseconds());
            if (fired_at.size() == 1) clock->step_wall_ms(3600 * 1000);
            if (fired_at.size() == 2) clock->step_wall_ms(-600 * 1000);
            timer.set(3000, &Periodic::OnTick, this);
        }
        Mux::ManualClock* clock;
        std::vector<uint32_t> fired_at;
        Timer timer;
    } periodic{&clock, {}, {}};
    periodic.timer.set(3000, &Periodic::OnTick, &periodic);
    Recorder r;
    Timer last;
    last.set(10000, &Recorder::Last, &r);
    testing::internal::CaptureStderr();
    run();
    EXPECT_EQ(std::string::npos, testing::internal::GetCapturedStderr().find("invalid wait time"));
    const uint32_t s = kStart;
    EXPECT_EQ((std::vector<uint32_t>{s + 3000, s + 6000, s + 9000}), periodic.fired_at);
    EXPECT_EQ((std::vector<std::string>{"last"}), r.order);
    EXPECT_EQ(s + 10000, Mux::milliseconds());
}

TEST_F(LoopTest, PluginDeadlinesLimitTheWaitAndNoPluginMeansNoValue) {
    EXPECT_EQ(INT_MAX, multiplexer.timerPoll_schedule());
    struct Plugin : TimerPoolPlugin {
        int32_t timerPoll() override {
            if (other) other->timerUnhook();
            return deadline;
        }
        int32_t deadline = -1;
        TimerPoolPlugin* other = nullptr;
    } p1, p2, p3;
    p1.deadline = 30;
    p2.deadline = 20;
    p3.deadline = 5;
    p1.other = &p3;  // unhooked before it is asked
    p1.timerHook();
    p2.timerHook();
    p3.timerHook();
    EXPECT_EQ(20, multiplexer.timerPoll_schedule());
    EXPECT_FALSE(p3.hooked());
    p1.timerUnhook();
    p2.timerUnhook();
    EXPECT_EQ(INT_MAX, multiplexer.timerPoll_schedule());
}

// The owner's destructor cancels its other timers: nothing fires for a freed object.
TEST_F(LoopTest, CallbackMayDestroyTheObjectThatHoldsItsTimer) {
    struct Owner {
        void Destroy() {
            ++*fired;
            self->reset();
        }
        void Other() { ++*fired; }
        std::unique_ptr<Owner>* self;
        int* fired;
        Timer timer;
        Timer other;
    };
    int fired = 0;
    auto owner = std::make_unique<Owner>();
    owner->self = &owner;
    owner->fired = &fired;
    owner->timer.set(10, &Owner::Destroy, owner.get());
    owner->other.set(10, &Owner::Other, owner.get());
    EXPECT_EQ(2u, multiplexer.timer_count());
    clock.advance_ms(10);
    EXPECT_EQ(Multiplexer::kNoWait, multiplexer.timers_schedule());
    EXPECT_EQ(1, fired);
    EXPECT_FALSE(owner);
    EXPECT_EQ(0u, multiplexer.timer_count());
}
