#include "core/accept_pause.h"

#include <poll.h>

#include <cerrno>
#include <ostream>

#include "core/errno_text.h"

bool AcceptPause::OnAcceptError(int error, std::ostream* log, const char* prefix) {
    if (error != EMFILE && error != ENFILE && error != ENOBUFS && error != ENOMEM) return false;
    if (!failing_ && log != nullptr)
        *log << prefix << "can't accept connection: " << Errno(error) << " waiting..." << std::endl;
    failing_ = true;
    listener_.SetEvents(0);
    timer_.set(kPause, &AcceptPause::OnTimeout, this);
    return true;
}

void AcceptPause::Reset() {
    timer_.reset();
    failing_ = false;
}

void AcceptPause::OnTimeout(Timer*) {
    if (listener_.IsActive()) listener_.SetEvents(POLLIN);
}
