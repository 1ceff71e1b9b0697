// Runs the event loop on a manual clock for a given time: each poll looks at the
// descriptors without waiting and moves the clock on by its time-out, never past
// the end; the passes at the end fire what is due then and read what is ready.
#pragma once

#include <poll.h>

#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/multiplexer.h"
#include "core/timer.h"

class DetectorLoop {
public:
    static constexpr std::uint64_t kStart = 1000000;

    DetectorLoop() {
        multiplexer.set_poll([this](pollfd* fds, nfds_t count, int timeout) {
            std::uint64_t now = clock_.now_us() / 1000;
            // At the end: one pass that serves what is ready, then stop
            // (a stop asked for inside the poll would skip the handlers).
            if (now >= until_) {
                if (at_end_) multiplexer.terminate();
                at_end_ = true;
            } else if (timeout < 0 || now + static_cast<std::uint64_t>(timeout) > until_)
                clock_.set_ms(until_);
            else
                clock_.advance_ms(static_cast<std::uint64_t>(timeout));
            return ::poll(fds, count, 0);
        });
    }
    ~DetectorLoop() { multiplexer.set_poll({}); }
    DetectorLoop(const DetectorLoop&) = delete;
    DetectorLoop& operator=(const DetectorLoop&) = delete;

    void RunFor(std::uint64_t ms) {
        until_ = clock_.now_us() / 1000 + ms;
        at_end_ = false;
        multiplexer.run(false, true);
    }
    // One pass: what the descriptors hold now is read.
    void Pass() { RunFor(0); }
    std::uint32_t now() const { return Mux::milliseconds(); }

private:
    Mux::ManualClock clock_{kStart};
    std::uint64_t until_ = kStart;
    bool at_end_ = false;
};

// A timer far ahead: a loop whose only device was closed has something to wait for.
class KeepAwake {
public:
    KeepAwake() { timer_.set(3600000, &KeepAwake::OnTimer, this); }

private:
    void OnTimer() {}
    Timer timer_;
};

// The lines a stream receives while the object lives, but for the loop's own
// line at each stop.
class CapturedLines {
public:
    explicit CapturedLines(std::ostream& os) : os_(os), saved_(os.rdbuf(buffer_.rdbuf())) {}
    ~CapturedLines() { os_.rdbuf(saved_); }
    CapturedLines(const CapturedLines&) = delete;
    CapturedLines& operator=(const CapturedLines&) = delete;

    // The lines written since the last call.
    std::vector<std::string> Take() {
        std::vector<std::string> lines;
        std::istringstream in(buffer_.str());
        for (std::string line; std::getline(in, line);)
            if (line != "Mux: terminating...") lines.push_back(line);
        buffer_.str("");
        return lines;
    }

private:
    std::ostream& os_;
    std::ostringstream buffer_;
    std::streambuf* saved_;
};
