// The loop clock: wall time in seconds and microseconds, the wrapping millisecond
// and microsecond counters the timers use, and small time-value arithmetic.
#pragma once

#include <cstdint>
#include <string>

namespace Mux {

struct timeval {
    int32_t tv_sec = 0;
    int32_t tv_usec = 0;  // 0..999999
};

// Reads the system clock into the clock cache; returns gettimeofday's result.
int mux_settimeofday();
// Empties the clock cache again, so every read goes to the clock source.
void mux_cleartimeofday();
// The cached time when the cache is set, otherwise a fresh read of the clock source.
int mux_gettimeofday(timeval& tv);

// Low 32 bits of the time in milliseconds: wraps every 2^32 ms, so callers compare
// two readings by their signed 32-bit difference.
uint32_t milliseconds();
// Low 32 bits of the time in microseconds: only short differences mean anything.
uint32_t microseconds();
int32_t seconds();
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

// Where the clock comes from. The default reads gettimeofday(); tests replace it to
// drive the loop through hours or across the counter's wrap without waiting.
using ClockSource = int (*)(timeval& tv);
// Installs a source (nullptr: the system clock) and returns the one it replaces.
ClockSource set_clock_source(ClockSource source);

// A hand-driven clock for tests: while an object lives, every clock read gives its
// time. Only one may exist at a time.
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

private:
    ClockSource mPrevious;
};

}  // namespace Mux
