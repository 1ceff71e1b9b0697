#include "hardware/sim/request_log.h"

#include <stdexcept>

#include "hardware/board_record.h"

namespace Sim {

std::int32_t Request::InWord(std::size_t i) const {
    return (i + 1) * 4 <= in.size() ? Hardware::GetBoardWord(in.data(), i) : 0;
}

std::int32_t Request::OutWord(std::size_t i) const {
    return (i + 1) * 4 <= out.size() ? Hardware::GetBoardWord(out.data(), i) : 0;
}

std::vector<std::int32_t> Request::InWords() const {
    std::vector<std::int32_t> words;
    for (std::size_t i = 0; (i + 1) * 4 <= in.size(); ++i) words.push_back(InWord(i));
    return words;
}

void RequestLog::SetLimit(std::size_t limit) {
    std::vector<Request> kept;
    std::size_t keep = size_ < limit ? size_ : limit;
    kept.reserve(keep);
    for (std::size_t i = size_ - keep; i < size_; ++i) kept.push_back((*this)[i]);
    ring_ = std::move(kept);
    first_ = 0;
    size_ = keep;
    limit_ = limit;
}

Request* RequestLog::Add(Request::Kind kind, std::string_view device) {
    if (limit_ == 0) return nullptr;
    Request* r;
    if (size_ < ring_.size()) {
        r = &ring_[(first_ + size_) % ring_.size()];
        ++size_;
    } else if (ring_.size() < limit_ && first_ == 0) {
        r = &ring_.emplace_back();
        ++size_;
    } else {
        // Full: the oldest entry becomes the newest.
        r = &ring_[first_];
        first_ = (first_ + 1) % ring_.size();
    }
    r->kind = kind;
    r->device = device;
    r->number = 0;
    r->result = 0;
    r->error = 0;
    r->in.clear();
    r->out.clear();
    return r;
}

const Request& RequestLog::at(std::size_t i) const {
    if (i >= size_) throw std::out_of_range("RequestLog::at");
    return (*this)[i];
}

}  // namespace Sim
