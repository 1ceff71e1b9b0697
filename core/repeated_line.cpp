#include "core/repeated_line.h"

#include <ostream>

RepeatedLine::Line::Line(RepeatedLine* owner, uint32_t carried) : owner_(owner), carried_(carried) {
    text_.emplace();
}

RepeatedLine::Line::~Line() {
    if (owner_ == nullptr) return;
    const std::string text = text_->str();
    *owner_->os_ << text;
    if (carried_ != 0) *owner_->os_ << " (" << carried_ << " more like it suppressed)";
    *owner_->os_ << std::endl;
    owner_->first_line_ = text.substr(0, text.find('\n'));
}

RepeatedLine::~RepeatedLine() {
    if (pending_ != 0) OnFlush();
}

RepeatedLine::Line RepeatedLine::Admit(std::ostream& os) {
    Mux::timeval now;
    Mux::mux_getmonotonic(now);
    // 64-bit milliseconds: no length of quiet can make an old line look recent.
    const uint64_t since = Mux::timevaldiff(last_, now);
    if (os_ != nullptr && since < kInterval) {
        if (pending_++ == 0)
            flush_.set(static_cast<unsigned>(kInterval + kGrace - since), &RepeatedLine::OnFlush, this);
        return Line();
    }
    last_ = now;
    os_ = &os;
    flush_.reset();
    const uint32_t carried = pending_;
    pending_ = 0;
    return Line(this, carried);
}

// Armed only while repeats are pending, and reset when a line carries them; a limiter
// that goes with repeats pending writes their count as it goes.
void RepeatedLine::OnFlush() {
    *os_ << first_line_ << " (" << pending_ << " more like it suppressed in the second after it)"
         << std::endl;
    pending_ = 0;
}

RepeatedLine& RepeatedLineKinds::operator[](const std::string& kind) {
    for (auto& [name, line] : kinds_)
        if (name == kind) return *line;
    if (kinds_.size() == kMaxKinds) return others_;
    kinds_.emplace_back(kind, std::make_unique<RepeatedLine>());
    return *kinds_.back().second;
}
