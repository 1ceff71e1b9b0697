// A log line that bad input from a line can repeat for every frame. The first of a
// run is written at once; repeats within the next second are only counted, and the
// next line written says how many were left out.
#pragma once

#include <cstdint>
#include <iosfwd>

class RepeatedLine {
public:
    static constexpr uint32_t kInterval = 1000;  // ms

    // True when the caller writes its line now; it then appends `suppressed()`.
    bool Admit();

    // Streams " (N more like it suppressed)" for the repeats left out before the
    // line just admitted; nothing when there were none.
    struct Suppressed {
        uint32_t count;
    };
    Suppressed suppressed() const { return Suppressed{reported_}; }

    // Repeats counted but not yet reported.
    uint32_t pending() const { return pending_; }

private:
    bool written_ = false;
    uint32_t last_ = 0;  // loop clock of the last written line
    uint32_t pending_ = 0;
    uint32_t reported_ = 0;
};

std::ostream& operator<<(std::ostream& os, RepeatedLine::Suppressed s);
