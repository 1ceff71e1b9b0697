#pragma once

#include <cstdint>
#include <iosfwd>

// Duration statistics in microseconds of one kind of work: the loop keeps one for
// deferred calls, handlers and timers, and every Event carries its own.
class Measure {
public:
    void begin();
    void end();
    // Records one sample of d microseconds (what end() does with the measured time).
    void sample(uint32_t d);

    void put(std::ostream& os) const;

    uint32_t min() const { return min_; }
    uint32_t max() const { return max_; }
    uint32_t last() const { return last_; }
    uint32_t counter() const { return counter_; }

private:
    uint32_t min_ = 0;
    uint32_t max_ = 0;
    uint32_t last_ = 0;
    bool first_ = true;
    uint32_t start_ = 0;
    uint32_t counter_ = 0;
};

std::ostream& operator<<(std::ostream& os, const Measure& m);
