#include "core/measure.h"

#include <ostream>

#include "core/clock.h"

void Measure::begin() {
    start_ = Mux::microseconds();
}

// The unsigned difference stays right across the 71-minute wrap of the microsecond clock.
void Measure::end() {
    sample(Mux::microseconds() - start_);
}

void Measure::sample(uint32_t d) {
    if (first_) {
        first_ = false;
        min_ = max_ = last_ = d;
        counter_ = 1;
        return;
    }
    ++counter_;
    if (min_ > d) min_ = d;
    if (max_ < d) max_ = d;
    last_ = d;
}

void Measure::put(std::ostream& os) const {
    const std::ios_base::fmtflags saved = os.flags();
    os << std::dec << "min=" << min_ << " max=" << max_ << " avg=" << last_ << " counter=" << counter_;
    os.flags(saved);
}

std::ostream& operator<<(std::ostream& os, const Measure& m) {
    m.put(os);
    return os;
}
