// A log line that bad input from a line can repeat for every frame. The first of a
// run is written at once; repeats within the next second are only counted. Their
// count goes on the next line written after that second or, when none comes within
// half a second more, on a line of its own that names the run's first line, so a
// run that stops is still accounted for, also when the limiter goes first. A timer
// runs only while repeats are pending. The second is measured on the monotonic clock.
#pragma once

#include <cstdint>
#include <iostream>

#include "core/clock.h"
#include "core/limited_line.h"
#include "core/limiter_kinds.h"
#include "core/timer.h"

class RepeatedLine {
public:
    static constexpr uint32_t kInterval = 1000;  // ms a written line holds its repeats back
    static constexpr uint32_t kGrace = 500;      // ms more for a next line to carry their count

    using Line = LimitedLine;

    RepeatedLine() = default;
    ~RepeatedLine();
    RepeatedLine(const RepeatedLine&) = delete;
    RepeatedLine& operator=(const RepeatedLine&) = delete;

    // The line to write to os now, or a held-back one. os is kept for a count
    // written later, so it must outlive the limiter.
    Line Admit(std::ostream& os = std::clog);

    // Repeats counted but not yet reported.
    uint32_t pending() const { return pending_; }

private:
    // The run ended with repeats that no line carried: their count, alone.
    void OnFlush();

    Mux::timeval last_;  // monotonic time of the last written line
    uint32_t pending_ = 0;
    LineLog log_;
    Timer flush_;
};

// One limiter per kind of a family of lines (a status text, a cause), so that a
// kind that floods holds back only its own repeats.
using RepeatedLineKinds = LimiterKinds<RepeatedLine>;
