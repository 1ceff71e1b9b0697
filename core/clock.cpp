#include "core/clock.h"

#include <sys/time.h>
#include <time.h>

#include <cassert>
#include <cstdio>
#include <ctime>

namespace Mux {

namespace {

int SystemClock(timeval& tv) {
    ::timeval now;
    int rc = ::gettimeofday(&now, nullptr);
    if (rc == 0) {
        tv.tv_sec = static_cast<int32_t>(now.tv_sec);
        tv.tv_usec = static_cast<int32_t>(now.tv_usec);
    }
    return rc;
}

int SystemMonotonic(timeval& tv) {
    ::timespec now;
    int rc = ::clock_gettime(CLOCK_MONOTONIC, &now);
    if (rc == 0) {
        tv.tv_sec = static_cast<int32_t>(now.tv_sec);
        tv.tv_usec = static_cast<int32_t>(now.tv_nsec / 1000);
    }
    return rc;
}

ClockSource gSource = SystemClock;
ClockSource gMonotonic = SystemMonotonic;
bool gCached = false;
timeval gCache;
timeval gCacheMonotonic;

uint64_t gManualUs = 0;
int64_t gManualWallStepUs = 0;
bool gManualActive = false;

timeval FromUs(uint64_t us) {
    return timeval{static_cast<int32_t>(us / 1000000), static_cast<int32_t>(us % 1000000)};
}

int ManualSource(timeval& tv) {
    tv = FromUs(gManualUs + static_cast<uint64_t>(gManualWallStepUs));
    return 0;
}

int ManualMonotonic(timeval& tv) {
    tv = FromUs(gManualUs);
    return 0;
}

int64_t TotalUs(const timeval& tv) {
    return int64_t(tv.tv_sec) * 1000000 + tv.tv_usec;
}

}  // namespace

ClockSource set_clock_source(ClockSource source) {
    ClockSource previous = gSource;
    gSource = source ? source : SystemClock;
    return previous;
}

ClockSource set_monotonic_source(ClockSource source) {
    ClockSource previous = gMonotonic;
    gMonotonic = source ? source : SystemMonotonic;
    return previous;
}

int mux_settimeofday() {
    timeval now, monotonic;
    int rc = gSource(now);
    if (rc == 0 && gMonotonic(monotonic) == 0) {
        gCache = now;
        gCacheMonotonic = monotonic;
        gCached = true;
    }
    return rc;
}

void mux_cleartimeofday() {
    gCached = false;
}

int mux_gettimeofday(timeval& tv) {
    if (gCached) {
        tv = gCache;
        return 0;
    }
    return gSource(tv);
}

int mux_getmonotonic(timeval& tv) {
    if (gCached) {
        tv = gCacheMonotonic;
        return 0;
    }
    return gMonotonic(tv);
}

uint32_t milliseconds() {
    timeval tv;
    mux_getmonotonic(tv);
    return static_cast<uint32_t>(static_cast<uint64_t>(TotalUs(tv)) / 1000);
}

uint32_t microseconds() {
    timeval tv;
    mux_getmonotonic(tv);
    return static_cast<uint32_t>(static_cast<uint64_t>(TotalUs(tv)));
}

int32_t seconds() {
    timeval tv;
    mux_gettimeofday(tv);
    return tv.tv_sec;
}

int gettimeval(timeval& tv) {
    mux_gettimeofday(tv);
    return 0;
}

timeval make_from_usec(unsigned us) {
    return timeval{static_cast<int32_t>(us / 1000000), static_cast<int32_t>(us % 1000000)};
}

timeval make_from_msec(unsigned ms) {
    return timeval{static_cast<int32_t>(ms / 1000), static_cast<int32_t>((ms % 1000) * 1000)};
}

void timevaladd2(const timeval& a, const timeval& b, timeval& out) {
    int32_t usec = a.tv_usec + b.tv_usec;
    out.tv_sec = a.tv_sec + b.tv_sec + usec / 1000000;
    out.tv_usec = usec % 1000000;
}

void timevalsub2(const timeval& a, const timeval& b, timeval& out) {
    int32_t usec = a.tv_usec - b.tv_usec + 1000000;
    out.tv_sec = a.tv_sec - b.tv_sec - 1 + usec / 1000000;
    out.tv_usec = usec % 1000000;
}

void timevaladd(timeval& a, const timeval& b) {
    timevaladd2(a, b, a);
}
void timevalsub(timeval& a, const timeval& b) {
    timevalsub2(a, b, a);
}

void timevalset(timeval& tv, uint64_t ms) {
    tv.tv_sec = static_cast<int32_t>(ms / 1000);
    tv.tv_usec = static_cast<int32_t>((ms % 1000) * 1000);
}

uint64_t timevaldiff(const timeval& a, const timeval& b) {
    if (b.tv_sec < a.tv_sec || (b.tv_sec == a.tv_sec && b.tv_usec < a.tv_usec)) return 0;
    int64_t ms = int64_t(b.tv_sec - a.tv_sec) * 1000 + (b.tv_usec - a.tv_usec) / 1000;
    return static_cast<uint64_t>(ms);
}

int timevalcompare(const timeval& a, const timeval& b) {
    if (a.tv_sec != b.tv_sec) return a.tv_sec < b.tv_sec ? -1 : 1;
    if (a.tv_usec != b.tv_usec) return a.tv_usec < b.tv_usec ? -1 : 1;
    return 0;
}

std::string timevaltostring(const timeval& tv) {
    time_t secs = tv.tv_sec;
    struct tm local;
    char text[64];
    if (!::localtime_r(&secs, &local)) return std::string();
    size_t n = ::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    std::snprintf(text + n, sizeof(text) - n, ".%06ld", static_cast<long>(tv.tv_usec));
    return text;
}

void timeval_timer::init_now() {
    mux_getmonotonic(start);
}

bool timeval_timer::is_expired(const timeval& now) const {
    if (period < 1) return false;
    return timevaldiff(start, now) > static_cast<uint64_t>(period);
}

void timeval_timer::inc() {
    timevaladd(start, make_from_msec(static_cast<unsigned>(period)));
}

ManualClock::ManualClock(uint64_t start_ms) {
    assert(!gManualActive);
    gManualActive = true;
    gManualUs = start_ms * 1000;
    gManualWallStepUs = 0;
    mPrevious = set_clock_source(ManualSource);
    mPreviousMonotonic = set_monotonic_source(ManualMonotonic);
}

ManualClock::~ManualClock() {
    set_clock_source(mPrevious);
    set_monotonic_source(mPreviousMonotonic);
    gManualActive = false;
}

void ManualClock::set_ms(uint64_t ms) {
    gManualUs = ms * 1000;
}
void ManualClock::set_us(uint64_t us) {
    gManualUs = us;
}
void ManualClock::advance_ms(uint64_t ms) {
    gManualUs += ms * 1000;
}
void ManualClock::advance_us(uint64_t us) {
    gManualUs += us;
}
uint64_t ManualClock::now_us() const {
    return gManualUs;
}
void ManualClock::step_wall_ms(int64_t ms) {
    gManualWallStepUs += ms * 1000;
}

}  // namespace Mux
