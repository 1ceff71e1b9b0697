#include "core/event.h"

#include <poll.h>

#include <iostream>

Event::~Event() {
    delete handler_;
    handler_ = nullptr;
    if (fd_.is_valid()) mux_detach();
    fd_.close();
}

void Event::Bind(Handler* handler) {
    ReplaceHandler(handler_, handler);
}

void Event::Schedule(Fd fd, short events) {
    if (error_pause_ != nullptr) error_pause_->Stop();
    if (fd_.is_valid()) mux_detach();
    fd_ = fd;
    events_ = events;
    if (fd_.is_valid()) mux_attach();
}

int Event::Release() {
    if (error_pause_ != nullptr) error_pause_->Stop();
    if (fd_.is_valid()) mux_detach();
    return fd_.close();
}

LimitedLine Event::Rest(short revents) {
    if ((revents & (POLLERR | POLLHUP)) == 0) return LimitedLine();
    if (error_pause_ == nullptr) error_pause_ = std::make_unique<ErrorPause>();
    return error_pause_->Occurred(std::cerr);
}

void Event::shedule_event(pollfd& entry) {
    // poll reports POLLERR and POLLHUP whatever is asked: a resting descriptor is not
    // polled at all (poll skips a negative one).
    entry.fd = resting() ? -1 : fd_.lowlevel_fd();
    entry.events = events_;
    entry.revents = 0;
}

void Event::svc_event(short revents) {
    if (resting()) return;
    if (revents & events_) ++counter_;
    // The handler may release, re-schedule or destroy this event: nothing follows the call.
    if (handler_ != nullptr) handler_->Invoke(fd_.lowlevel_fd(), revents);
}
