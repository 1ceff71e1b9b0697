// A condition that a periodic tick or a retry finds again and again while nothing
// new happens: no controller to send to, a peer that does not answer, a device
// request that keeps failing. Its first occurrence is written at once; the rest are
// only counted, with at most one reminder every kReminder ms that carries the count
// since the last line; its end writes one line that names it with the count. A board
// left waiting for days thus keeps a handful of lines, and the one that said why
// stays in a small log. Reminders come with occurrences, so no timer runs.
#pragma once

#include <cstdint>
#include <iostream>
#include <string>

#include "core/clock.h"
#include "core/limited_line.h"
#include "core/limiter_kinds.h"

class LastingCondition {
public:
    static constexpr uint64_t kReminder = 10 * 60 * 1000;  // ms

    LastingCondition() = default;
    // A condition still on when its owner goes (the daemon stops) ends here.
    ~LastingCondition() { End(); }
    LastingCondition(const LastingCondition&) = delete;
    LastingCondition& operator=(const LastingCondition&) = delete;

    // One more occurrence: the line to write to os now (the condition's first, or a
    // reminder), or a held-back one. os must outlive the condition.
    LimitedLine Occurred(std::ostream& os = std::clog);
    // The condition is over: "<last line> (ended; N more like it suppressed since the
    // last line)" when it was on, nothing otherwise.
    void End();

    bool on() const { return on_; }
    // Occurrences counted since the last line.
    uint32_t pending() const { return pending_; }

private:
    LineLog log_;
    Mux::timeval last_;  // monotonic time of the last line
    uint32_t pending_ = 0;
    bool on_ = false;
};

// One condition per kind (an address and text, a trunk, a register).
template <class Kind = std::string>
class LastingConditions : public LimiterKinds<LastingCondition, Kind> {
public:
    void EndAll() {
        this->for_each([](LastingCondition& c) { c.End(); });
    }
    void End(const Kind& kind) {
        if (LastingCondition* c = this->find(kind)) c->End();
    }
};
