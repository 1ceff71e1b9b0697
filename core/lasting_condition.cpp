#include "core/lasting_condition.h"

#include <ostream>

namespace {

// A come-and-go count, inside a line's parenthesis.
std::string CameAndWent(uint32_t cycles) {
    return "came and went " + (cycles == 1 ? std::string("once") : std::to_string(cycles) + " times");
}

// Tenths below ten seconds, so that a condition of one tick does not read "0 s".
void PutSeconds(std::ostream& os, uint64_t ms) {
    if (ms < 10000)
        os << ms / 1000 << '.' << ms % 1000 / 100 << " s";
    else
        os << ms / 1000 << " s";
}

}  // namespace

void LastingCondition::Close() {
    if (on_) {
        on_ = false;
        WriteEnd(Now(), Now());
    } else {
        OnFlush();
    }
}

Mux::timeval LastingCondition::Now() {
    Mux::timeval now;
    Mux::mux_getmonotonic(now);
    return now;
}

bool LastingCondition::Due(const Mux::timeval& now) const {
    return log_.os == nullptr || Mux::timevaldiff(last_line_, now) >= kReminder;
}

bool LastingCondition::Quiet(const Mux::timeval& now) const {
    return !on_ && (log_.os == nullptr ||
                    (Mux::timevaldiff(last_seen_, now) >= kQuiet && pending_ == 0 && cycles_ == 0));
}

LimitedLine LastingCondition::Occur(std::ostream& os, bool counted) {
    const Mux::timeval now = Now();
    // Only a line can carry a count: a condition that never wrote one writes it now.
    counted = counted && log_.os != nullptr;
    if (!on_) {
        news_ = !counted && Quiet(now);
        on_ = true;
        if (run_open_) {
            run_came_back_ = true;
        } else {
            run_open_ = true;
            run_start_ = now;
            run_total_ = 0;
        }
    }
    last_seen_ = now;
    ++run_total_;
    if (counted || !Due(now)) {
        ++pending_;
        return LimitedLine();
    }
    last_line_ = now;
    log_.os = &os;
    const uint32_t carried = pending_;
    const uint32_t cycles = cycles_;
    pending_ = 0;
    cycles_ = 0;
    return LimitedLine(log_, carried, cycles == 0 ? std::string() : "; it " + CameAndWent(cycles));
}

void LastingCondition::End() {
    if (!on_) return;
    const Mux::timeval now = Now();
    on_ = false;
    last_seen_ = now;
    if (news_ || Due(now)) {
        WriteEnd(now, now);
        return;
    }
    ++cycles_;
    if (!flush_.is_running())
        flush_.set(static_cast<unsigned>(kReminder - Mux::timevaldiff(last_line_, now)),
                   &LastingCondition::OnFlush, this);
}

void LastingCondition::WriteEnd(const Mux::timeval& now, const Mux::timeval& ended) {
    std::ostream& os = *log_.os;
    os << log_.last_line << " (ended; " << pending_ << " more like it suppressed since the last line";
    if (cycles_ != 0) os << ", when it " << CameAndWent(cycles_);
    os << (run_came_back_ ? "; it was on and off over " : "; it lasted ");
    PutSeconds(os, Mux::timevaldiff(run_start_, ended));
    os << ", " << run_total_ << " in all)" << std::endl;
    last_line_ = now;
    pending_ = 0;
    cycles_ = 0;
    news_ = false;
    run_open_ = false;
    run_came_back_ = false;
    flush_.reset();
}

// Armed only while the condition is away with counts pending; one that came back
// carries them on its own lines.
void LastingCondition::OnFlush() {
    if (on_ || (pending_ == 0 && cycles_ == 0)) return;
    WriteEnd(Now(), last_seen_);
}
