#include "core/repeated_line.h"

#include <ostream>

#include "core/clock.h"

bool RepeatedLine::Admit() {
    const uint32_t now = Mux::milliseconds();
    if (written_ && static_cast<int32_t>(now - last_) < static_cast<int32_t>(kInterval)) {
        ++pending_;
        reported_ = 0;
        return false;
    }
    written_ = true;
    last_ = now;
    reported_ = pending_;
    pending_ = 0;
    return true;
}

std::ostream& operator<<(std::ostream& os, RepeatedLine::Suppressed s) {
    if (s.count != 0) os << " (" << s.count << " more like it suppressed)";
    return os;
}
