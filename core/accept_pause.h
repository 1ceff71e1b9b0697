#pragma once

#include <iosfwd>

#include "core/event.h"
#include "core/timer.h"

// A listener whose waiting client cannot be accepted for want of descriptors
// (or memory) stays readable: polled on, it would spin the loop. The pause
// takes the listener out of the poll for a while and logs once per episode.
class AcceptPause {
public:
    static constexpr unsigned kPause = 1000;  // ms

    explicit AcceptPause(Event& listener) : listener_(listener) {}
    AcceptPause(const AcceptPause&) = delete;
    AcceptPause& operator=(const AcceptPause&) = delete;

    // True when accept's error is one that leaves the client waiting; the
    // listener then rests, and `log` (when given) gets the episode's one line
    // "<prefix>can't accept connection: <error> waiting...".
    bool OnAcceptError(int error, std::ostream* log, const char* prefix = "");
    // A client was accepted: the next failure starts a new episode.
    void OnAccepted() { failing_ = false; }
    void Reset();

private:
    void OnTimeout(Timer*);

    Event& listener_;
    Timer timer_;
    bool failing_ = false;
};
