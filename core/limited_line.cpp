#include "core/limited_line.h"

LimitedLine::LimitedLine(LineLog& log, uint32_t carried) : log_(&log), carried_(carried) {
    text_.emplace();
}

LimitedLine::~LimitedLine() {
    if (log_ == nullptr) return;
    const std::string text = text_->str();
    *log_->os << text;
    if (carried_ != 0) *log_->os << " (" << carried_ << " more like it suppressed)";
    *log_->os << std::endl;
    log_->last_line = text.substr(0, text.find('\n'));
}
