#include "core/clock.h"

#include <gtest/gtest.h>

#include <time.h>

#include <cstdint>

namespace {

using Mux::timeval;

TEST(Clock, MillisecondsWrapKeepsSignedDifferences) {
    Mux::ManualClock clock((uint64_t(1) << 32) - 10);
    uint32_t before = Mux::milliseconds();
    EXPECT_EQ(before, 0xFFFFFFF6u);
    clock.advance_ms(25);
    uint32_t after = Mux::milliseconds();
    EXPECT_EQ(after, 15u);
    EXPECT_EQ(static_cast<int32_t>(after - before), 25);
    EXPECT_EQ(static_cast<int32_t>(before - after), -25);

    // A deadline set before the wrap is still in the future after it.
    uint32_t deadline = before + 100;
    EXPECT_GT(static_cast<int32_t>(deadline - after), 0);
    clock.advance_ms(100);
    EXPECT_LE(static_cast<int32_t>(deadline - Mux::milliseconds()), 0);
}

TEST(Clock, MillisecondsIsLow32BitsOfTheWholeMicroseconds) {
    Mux::ManualClock clock;
    clock.set_us(uint64_t(5) * 4294967296000ull + 1999);  // five wraps + 1.999 ms
    EXPECT_EQ(Mux::milliseconds(), 1u);
    EXPECT_EQ(Mux::seconds(), 21474836);
    clock.set_us((uint64_t(1) << 32) + 7);
    EXPECT_EQ(Mux::microseconds(), 7u);
}

TEST(Clock, AWallClockStepMovesOnlyTheWallClockAndTheCacheHoldsBoth) {
    Mux::ManualClock clock(1000);
    clock.step_wall_ms(3600 * 1000);
    EXPECT_EQ(Mux::seconds(), 3601);
    EXPECT_EQ(Mux::milliseconds(), 1000u);
    clock.step_wall_ms(-600 * 1000);
    clock.advance_ms(500);
    timeval wall, monotonic;
    Mux::gettimeval(wall);
    Mux::mux_getmonotonic(monotonic);
    EXPECT_EQ(wall.tv_sec, 3001);
    EXPECT_EQ(wall.tv_usec, 500000);
    EXPECT_EQ(monotonic.tv_sec, 1);
    EXPECT_EQ(Mux::microseconds(), 1500000u);

    ASSERT_EQ(Mux::mux_settimeofday(), 0);
    clock.advance_ms(500);
    clock.step_wall_ms(1000);
    EXPECT_EQ(Mux::milliseconds(), 1500u);
    EXPECT_EQ(Mux::seconds(), 3001);
    Mux::mux_cleartimeofday();
    EXPECT_EQ(Mux::milliseconds(), 2000u);
    EXPECT_EQ(Mux::seconds(), 3003);
}

TEST(Clock, DefaultSourcesAreTheSystemClocks) {
    timeval a;
    ASSERT_EQ(Mux::gettimeval(a), 0);
    EXPECT_GT(a.tv_sec, 1600000000);
    EXPECT_GE(a.tv_usec, 0);
    EXPECT_LT(a.tv_usec, 1000000);
    ::timespec before, after;
    ::clock_gettime(CLOCK_MONOTONIC, &before);
    const uint32_t ms = Mux::milliseconds();
    ::clock_gettime(CLOCK_MONOTONIC, &after);
    auto low32 = [](const ::timespec& t) {
        return static_cast<uint32_t>(uint64_t(t.tv_sec) * 1000 + t.tv_nsec / 1000000);
    };
    EXPECT_LE(static_cast<int32_t>(low32(before) - ms), 0);
    EXPECT_GE(static_cast<int32_t>(low32(after) - ms), 0);
}

TEST(Clock, ConversionsAndArithmetic) {
    timeval t = Mux::make_from_usec(2500001);
    EXPECT_EQ(t.tv_sec, 2);
    EXPECT_EQ(t.tv_usec, 500001);
    t = Mux::make_from_msec(1999);
    EXPECT_EQ(t.tv_sec, 1);
    EXPECT_EQ(t.tv_usec, 999000);

    timeval a{1, 700000}, b{0, 400000}, out;
    Mux::timevaladd2(a, b, out);
    EXPECT_EQ(out.tv_sec, 2);
    EXPECT_EQ(out.tv_usec, 100000);
    Mux::timevalsub2(out, a, out);
    EXPECT_EQ(out.tv_sec, 0);
    EXPECT_EQ(out.tv_usec, 400000);
    Mux::timevalsub(a, timeval{0, 800000});  // borrow
    EXPECT_EQ(a.tv_sec, 0);
    EXPECT_EQ(a.tv_usec, 900000);

    Mux::timevalset(t, 123456);
    EXPECT_EQ(t.tv_sec, 123);
    EXPECT_EQ(t.tv_usec, 456000);
}

TEST(Clock, DiffAndCompare) {
    timeval a{10, 500000}, b{12, 499999};
    // the microsecond part (-1 us) truncates toward zero
    EXPECT_EQ(Mux::timevaldiff(a, b), 2000u);
    EXPECT_EQ(Mux::timevaldiff(a, timeval{12, 498999}), 1999u);
    EXPECT_EQ(Mux::timevaldiff(b, a), 0u);  // later start than end
    EXPECT_EQ(Mux::timevaldiff(a, a), 0u);
    EXPECT_EQ(Mux::timevalcompare(a, b), -1);
    EXPECT_EQ(Mux::timevalcompare(b, a), 1);
    EXPECT_EQ(Mux::timevalcompare(a, a), 0);
    EXPECT_EQ(Mux::timevalcompare(timeval{1, 2}, timeval{1, 3}), -1);
}

TEST(Clock, TimerExpiresStrictlyAfterItsPeriod) {
    Mux::timeval_timer timer;
    timer.init(timeval{100, 0}, 250);
    EXPECT_FALSE(timer.is_expired(timeval{100, 250000}));
    EXPECT_TRUE(timer.is_expired(timeval{100, 251000}));
    timer.inc();
    EXPECT_EQ(timer.start.tv_sec, 100);
    EXPECT_EQ(timer.start.tv_usec, 250000);
    EXPECT_FALSE(timer.is_expired(timeval{100, 251000}));

    timer.init(timeval{0, 0}, 0);
    EXPECT_FALSE(timer.is_expired(timeval{1000000, 0}));  // period 0 never expires
}

TEST(Clock, TimevalToStringShape) {
    std::string text = Mux::timevaltostring(timeval{0, 42});
    ASSERT_EQ(text.size(), 26u);
    EXPECT_EQ(text.substr(19), ".000042");
    EXPECT_EQ(text[4], '-');
    EXPECT_EQ(text[13], ':');
}

}  // namespace
