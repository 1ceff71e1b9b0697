#include "core/lasting_condition.h"

#include <ostream>

LimitedLine LastingCondition::Occurred(std::ostream& os) {
    Mux::timeval now;
    Mux::mux_getmonotonic(now);
    if (on_ && Mux::timevaldiff(last_, now) < kReminder) {
        ++pending_;
        return LimitedLine();
    }
    on_ = true;
    last_ = now;
    log_.os = &os;
    const uint32_t carried = pending_;
    pending_ = 0;
    return LimitedLine(log_, carried);
}

void LastingCondition::End() {
    if (!on_) return;
    *log_.os << log_.last_line << " (ended; " << pending_ << " more like it suppressed since the last line)"
             << std::endl;
    on_ = false;
    pending_ = 0;
}
