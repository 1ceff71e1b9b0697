#include "core/async_copy.h"

#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace ASync {

Copy::~Copy() {
    delete handler_;
}

void Copy::Bind(Handler* handler) {
    ReplaceHandler(handler_, handler);
}

bool Copy::in_progress() const {
    return status_ == Status::running || status_ == Status::draining || status_ == Status::flushing;
}

void Copy::set_events(const EventsParams& params) {
    params_ = params;
    Complete(Status::cancelled);
}

bool Copy::set_bufsize(unsigned size) {
    if (size == 0) {
        std::cerr << "ASync::Copy: buffer size 0 refused" << std::endl;
        return false;
    }
    bufsize_ = size;
    buffer_.reset(new char[size]);
    Complete(Status::cancelled);
    return true;
}

void Copy::CheckBuffer() {
    if (buffer_) return;
    bufsize_ = kDefaultBufSize;
    buffer_.reset(new char[bufsize_]);
}

void Copy::Start(Fd source, Fd destination) {
    status_ = Status::running;
    src_ = source;
    dst_ = destination;
    src_event_.Release();
    dst_event_.Release();
    src_event_.Bind("Copy::OnSrcEvent", &Copy::OnSrcEvent, this);
    dst_event_.Bind("Copy::OnDstEvent", &Copy::OnDstEvent, this);
    CheckBuffer();
    src_event_.Schedule(src_, 0);
    dst_event_.Schedule(dst_, 0);
    write_error_ = 0;
    written_ = 0;
    pos_ = end_ = 0;
    step_ = &Copy::SrcReady;
    Progress();
}

void Copy::Stop() {
    if (status_ == Status::running && GoFlush()) Progress();
}

// Each step returns true while it can go on at once; the last one may have completed
// the copy and called the owner, so nothing follows a false result.
void Copy::Progress() {
    while ((this->*step_)()) {
    }
}

void Copy::WaitFor(short src, short dst) {
    src_event_.SetEvents(src);
    dst_event_.SetEvents(dst);
}

bool Copy::SrcReady() {
    const ssize_t n = ::read(src_.lowlevel_fd(), buffer_.get(), bufsize_);
    if (n > 0) {
        pos_ = 0;
        end_ = static_cast<unsigned>(n);
        return GoWriting();
    }
    if (n == 0) return GoFlush();
    if (errno == EINTR) return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        WaitFor(params_.src, 0);
        return false;
    }
    // A read error after data went through ends the input like an end of file.
    if (written_ > 0) return GoFlush();
    Complete(Status::failed);
    return false;
}

bool Copy::DstReady() {
    const ssize_t n = ::write(dst_.lowlevel_fd(), buffer_.get() + pos_, end_ - pos_);
    if (n > 0) {
        written_ += static_cast<unsigned>(n);
        pos_ += static_cast<unsigned>(n);
        if (pos_ < end_) return true;
        if (status_ == Status::draining) return GoFlushDst();
        return GoReading();
    }
    if (n == 0) {
        write_error_ = 0;
        Complete(Status::failed);
        return false;
    }
    if (errno == EINTR) return true;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
        WaitFor(0, params_.dst);
        return false;
    }
    write_error_ = errno;
    Complete(Status::failed);
    return false;
}

bool Copy::GoReading() {
    WaitFor(params_.src, 0);
    step_ = &Copy::SrcReady;
    return true;
}

bool Copy::GoWriting() {
    WaitFor(0, params_.dst);
    step_ = &Copy::DstReady;
    return true;
}

bool Copy::GoFlush() {
    src_event_.Release();
    src_.close();
    if (step_ == &Copy::DstReady) {
        status_ = Status::draining;
        return true;
    }
    return GoFlushDst();
}

bool Copy::GoFlushDst() {
    if (params_.flush != 0) {
        dst_event_.SetEvents(params_.flush);
        step_ = &Copy::NotReady;
        status_ = Status::flushing;
        return true;
    }
    Complete(Status::done);
    return false;
}

void Copy::OnSrcEvent(int, short revents) {
    if (revents & params_.src) {
        Progress();
    } else if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        src_event_.Release();
        Progress();
    }
}

void Copy::OnDstEvent(int, short revents) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) {
        write_error_ = 0;
        Complete(Status::failed);
    } else if ((status_ == Status::running || status_ == Status::draining) && (revents & params_.dst)) {
        Progress();
    } else if (status_ == Status::flushing && (revents & params_.flush)) {
        Complete(Status::done);
    }
}

void Copy::Complete(Status::Type status) {
    if (!in_progress()) return;
    src_event_.UnBind();
    dst_event_.UnBind();
    status_ = status;
    src_event_.Release();
    dst_event_.Release();
    src_.close();
    dst_.close();
    step_ = &Copy::NotReady;
    // Last action: the owner may start again or destroy this engine.
    if (handler_ != nullptr) handler_->Invoke(status);
}

}  // namespace ASync
