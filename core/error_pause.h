// A device that poll reports in error (POLLERR, POLLHUP) while it gives nothing to
// read. A driver in an error state reports it on every poll, whatever was asked, so
// the descriptor left in the poll set would spin the loop; yet the error may clear,
// so the device is kept and only rests out of the poll, kPause ms at a time. While
// the error lasts it is one lasting condition, which the next read that gives data
// ends. An Event makes one on its first error: most never need it.
#pragma once

#include <ostream>

#include "core/lasting_condition.h"
#include "core/limited_line.h"
#include "core/timer.h"

class ErrorPause {
public:
    static constexpr unsigned kPause = 100;  // ms

    ErrorPause() = default;
    ErrorPause(const ErrorPause&) = delete;
    ErrorPause& operator=(const ErrorPause&) = delete;

    // One more error: a rest starts; the condition's line when it is to be written.
    LimitedLine Occurred(std::ostream& os) {
        timer_.set(kPause, &ErrorPause::OnRestEnd, this);
        return condition_.Occurred(os);
    }
    // The descriptor goes or is replaced: no rest is left, the condition stays.
    void Stop() { timer_.reset(); }
    // Data came: the condition ends.
    void End() { condition_.End(); }
    bool resting() const { return timer_.is_running(); }

private:
    // Nothing to do: the next pass polls the descriptor again.
    void OnRestEnd() {}

    Timer timer_;
    LastingCondition condition_;
};
