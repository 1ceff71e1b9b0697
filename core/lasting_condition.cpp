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
    if (!on_) {
        OnFlush();
        return;
    }
    on_ = false;
    WriteCounts(Counts::AtStop, Now(), Now());
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
        Hold(now);
        return LimitedLine();
    }
    log_.os = &os;
    const uint32_t carried = pending_;
    const uint32_t cycles = cycles_;
    Wrote(now, true);
    return LimitedLine(log_, carried, cycles == 0 ? std::string() : "; it " + CameAndWent(cycles));
}

void LastingCondition::End() {
    if (!on_) return;
    const Mux::timeval now = Now();
    on_ = false;
    last_seen_ = now;
    if (news_ || Due(now)) {
        WriteCounts(Counts::Ended, now, now);
        return;
    }
    ++cycles_;
    Hold(now);
}

void LastingCondition::Hold(const Mux::timeval& now) {
    if (flush_.is_running()) return;
    const uint64_t since = Mux::timevaldiff(last_line_, now);
    flush_.set(since >= kReminder ? 0 : static_cast<unsigned>(kReminder - since), &LastingCondition::OnFlush,
               this);
}

void LastingCondition::Wrote(const Mux::timeval& now, bool on) {
    last_line_ = now;
    ++lines_;
    last_line_on_ = on;
    pending_ = 0;
    cycles_ = 0;
    flush_.reset();
}

void LastingCondition::WriteCounts(Counts counts, const Mux::timeval& now, const Mux::timeval& ended) {
    // By Counts: the head, and the run's span as one run or as one that came back.
    static const char* const kWords[][3] = {
        {" (still on; ", nullptr, nullptr},
        {" (ended; ", "; it lasted ", "; it was on and off over "},
        {" (still on at the stop; ", "; it has lasted ", "; it has been on and off over "}};
    const char* const* words = kWords[static_cast<int>(counts)];
    std::ostream& os = *log_.os;
    os << log_.last_line << words[0] << pending_ << " more like it suppressed since the last line";
    if (cycles_ != 0) os << ", when it " << CameAndWent(cycles_);
    if (counts != Counts::On) {
        os << words[run_came_back_ ? 2 : 1];
        PutSeconds(os, Mux::timevaldiff(run_start_, ended));
        os << ", " << run_total_ << " in all";
    }
    os << ')' << std::endl;
    Wrote(now, counts == Counts::On);
    if (counts == Counts::On) return;
    news_ = false;
    run_open_ = false;
    run_came_back_ = false;
}

void LastingCondition::OnFlush() {
    if (pending_ == 0 && cycles_ == 0) return;
    WriteCounts(on_ ? Counts::On : Counts::Ended, Now(), last_seen_);
}
