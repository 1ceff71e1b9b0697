#include "core/limited_line.h"

#include <utility>

LimitedLine::LimitedLine(LineLog& log, uint32_t carried, std::string more)
    : log_(&log), carried_(carried), more_(std::move(more)) {
    text_.emplace();
}

LimitedLine::~LimitedLine() {
    if (log_ == nullptr) return;
    const std::string text = text_->str();
    *log_->os << text;
    if (carried_ != 0 || !more_.empty())
        *log_->os << " (" << carried_ << " more like it suppressed" << more_ << ')';
    *log_->os << std::endl;
    log_->last_line = text.substr(0, text.find('\n'));
}
