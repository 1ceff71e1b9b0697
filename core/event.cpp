#include "core/event.h"

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
    if (fd_.is_valid()) mux_detach();
    fd_ = fd;
    events_ = events;
    if (fd_.is_valid()) mux_attach();
}

int Event::Release() {
    if (fd_.is_valid()) mux_detach();
    return fd_.close();
}

void Event::shedule_event(pollfd& entry) {
    entry.fd = fd_.lowlevel_fd();
    entry.events = events_;
    entry.revents = 0;
}

void Event::svc_event(short revents) {
    if (revents & events_) ++counter_;
    // The handler may release, re-schedule or destroy this event: nothing follows the call.
    if (handler_ != nullptr) handler_->Invoke(fd_.lowlevel_fd(), revents);
}
