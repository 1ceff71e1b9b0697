// The loop's clocks and small time-value arithmetic. Two clocks: the wall clock, for
// what a person reads as a time of day (log stamps, records), and the monotonic one,
// for every timer and interval, so that a wall clock stepped by NTP or by hand moves
// no timer. The millisecond and microsecond counters read the monotonic clock.
#pragma once

#include <cstdint>
#include <string>

namespace Mux {

struct timeval {
    int32_t tv_sec = 0;
    int32_t tv_usec = 0;  // 0..999999
};

// Reads both clocks into the clock cache; returns gettimeofday's result.
int mux_settimeofday();
// Empties the clock cache again, so every read goes to the clock sources.
void mux_cleartimeofday();
// The wall clock: the cached time when the cache is set, otherwise a fresh read.
int mux_gettimeofday(timeval& tv);
// The monotonic clock, cached alike. Only differences of its readings mean anything.
int mux_getmonotonic(timeval& tv);

// Low 32 bits of the monotonic time in milliseconds: wraps every 2^32 ms, so callers
// compare two readings by their signed 32-bit difference.
uint32_t milliseconds();
// Low 32 bits of the monotonic time in microseconds: only short differences mean anything.
uint32_t microseconds();
// Wall clock seconds.
int32_t seconds();
// The wall clock.
int gettimeval(timeval& tv);

timeval make_from_usec(unsigned us);
timeval make_from_msec(unsigned ms);

void timevaladd(timeval& a, const timeval& b);
void timevalsub(timeval& a, const timeval& b);
void timevaladd2(const timeval& a, const timeval& b, timeval& out);
void timevalsub2(const timeval& a, const timeval& b, timeval& out);
void timevalset(timeval& tv, uint64_t ms);
// Milliseconds from a to b; 0 when b is earlier than a.
uint64_t timevaldiff(const timeval& a, const timeval& b);
int timevalcompare(const timeval& a, const timeval& b);
// Local time as "%Y-%m-%d %H:%M:%S" followed by ".%06ld" microseconds.
std::string timevaltostring(const timeval& tv);

// An interval on the monotonic clock: is_expired takes a mux_getmonotonic reading.
struct timeval_timer {
    timeval start;
    int32_t period = 0;  // ms

    void init(const timeval& from, int32_t ms) {
        start = from;
        period = ms;
    }
    void init_now();
    bool is_expired(const timeval& now) const;
    void inc();
};

// Where the clocks come from. The defaults read gettimeofday() and CLOCK_MONOTONIC;
// tests replace them to drive the loop through hours or across the counter's wrap
// without waiting.
using ClockSource = int (*)(timeval& tv);
// Install a source (nullptr: the system's) and return the one they replace.
ClockSource set_clock_source(ClockSource source);
ClockSource set_monotonic_source(ClockSource source);

// A hand-driven clock for tests: while an object lives, every read of either clock
// gives its time, the wall clock shifted by the steps it was given. Only one may
// exist at a time.
class ManualClock {
public:
    explicit ManualClock(uint64_t start_ms = 0);
    ~ManualClock();
    ManualClock(const ManualClock&) = delete;
    ManualClock& operator=(const ManualClock&) = delete;

    void set_ms(uint64_t ms);
    void set_us(uint64_t us);
    void advance_ms(uint64_t ms);
    void advance_us(uint64_t us);
    uint64_t now_us() const;
    // Moves the wall clock alone, as NTP or an operator's date command does.
    void step_wall_ms(int64_t ms);

private:
    ClockSource mPrevious;
    ClockSource mPreviousMonotonic;
};

}  // namespace Mux
