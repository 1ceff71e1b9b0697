#pragma once

#include <poll.h>

#include <iosfwd>

#include "core/event.h"
#include "core/timer.h"

// A listener whose waiting client cannot be accepted for want of descriptors
// (or memory) stays readable: polled on, it would spin the loop. The pause
// takes the listener out of the poll for a while and logs once per episode.
// A listener that poll reports in error without a client rests as a device
// in error does.
class AcceptPause {
public:
    static constexpr unsigned kPause = 1000;  // ms

    explicit AcceptPause(Event& listener) : listener_(listener) {}
    AcceptPause(const AcceptPause&) = delete;
    AcceptPause& operator=(const AcceptPause&) = delete;

    // True when the event brings clients to take; otherwise a listener in error
    // (POLLERR, POLLHUP) rests, and `who` opens its condition's line.
    template <class... Who>
    bool ClientsWaiting(short revents, const Who&... who) {
        if (revents & POLLIN) return true;
        listener_.NothingRead(revents, who...);
        return false;
    }
    // True when accept's error is one that leaves the client waiting; the
    // listener then rests, and `log` (when given) gets the episode's one line
    // "<prefix>can't accept connection: <error> waiting...".
    bool OnAcceptError(int error, std::ostream* log, const char* prefix = "");
    // A client was accepted: the next failure starts a new episode, and a listener
    // that rested in error is well again.
    void OnAccepted() {
        failing_ = false;
        listener_.DataRead();
    }
    void Reset();

private:
    void OnTimeout(Timer*);

    Event& listener_;
    Timer timer_;
    bool failing_ = false;
};
