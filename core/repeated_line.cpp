#include "core/repeated_line.h"

#include <ostream>

RepeatedLine::~RepeatedLine() {
    if (pending_ != 0) OnFlush();
}

RepeatedLine::Line RepeatedLine::Admit(std::ostream& os) {
    Mux::timeval now;
    Mux::mux_getmonotonic(now);
    // 64-bit milliseconds: no length of quiet can make an old line look recent.
    const uint64_t since = Mux::timevaldiff(last_, now);
    if (log_.os != nullptr && since < kInterval) {
        if (pending_++ == 0)
            flush_.set(static_cast<unsigned>(kInterval + kGrace - since), &RepeatedLine::OnFlush, this);
        return Line();
    }
    last_ = now;
    log_.os = &os;
    flush_.reset();
    const uint32_t carried = pending_;
    pending_ = 0;
    return Line(log_, carried);
}

// Armed only while repeats are pending, and reset when a line carries them; a limiter
// that goes with repeats pending writes their count as it goes.
void RepeatedLine::OnFlush() {
    *log_.os << log_.last_line << " (" << pending_ << " more like it suppressed in the second after it)"
             << std::endl;
    pending_ = 0;
}
