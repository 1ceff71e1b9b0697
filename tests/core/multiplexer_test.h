#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/event.h"
#include "core/multiplexer.h"
#include "core/timer.h"

// Drives the loop without sleeping: the loop clock is a Mux::ManualClock, and every
// poll looks at the descriptors without waiting and then moves the clock on by the
// time-out it was given. A test ends the loop from a callback with terminate(), or
// after a number of passes.
class LoopTest : public testing::Test {
protected:
    static constexpr uint64_t kStart = 1000000;

    void SetUp() override {
        multiplexer.set_poll([this](pollfd* fds, nfds_t count, int timeout) {
            timeouts.push_back(timeout);
            if (max_passes != 0 && timeouts.size() >= max_passes) multiplexer.terminate();
            if (timeout > 0) clock.advance_ms(timeout);
            return ::poll(fds, count, 0);
        });
    }
    void TearDown() override { multiplexer.set_poll({}); }

    void run(bool watchdog = false) { multiplexer.run(watchdog, true); }

    // A driver in an error state: from now on every poll reports, on each descriptor,
    // the bits `stuck` gives for it besides what it found, whatever was asked for.
    // Unlike the poll above this one moves the clock on only when nothing is ready, as
    // a real poll does, so a loop that spins makes its passes at one time (until
    // max_passes).
    void StickBits(std::function<short(int fd)> stuck) {
        multiplexer.set_poll([this, stuck = std::move(stuck)](pollfd* fds, nfds_t count, int timeout) {
            timeouts.push_back(timeout);
            if (max_passes != 0 && timeouts.size() >= max_passes) multiplexer.terminate();
            int ready = ::poll(fds, count, 0);
            for (nfds_t i = 0; i < count; ++i) {
                const short bits = fds[i].fd < 0 ? 0 : stuck(fds[i].fd);
                if (bits == 0) continue;
                if (fds[i].revents == 0) ++ready;
                fds[i].revents |= bits;
            }
            if (ready == 0 && timeout > 0) clock.advance_ms(timeout);
            return ready;
        });
    }
    // Runs the loop for ms of loop time (or max_passes); the passes it took.
    size_t PassesIn(unsigned ms) {
        Timer stop;
        stop.set(ms, [] { multiplexer.terminate(); });
        timeouts.clear();
        run();
        return timeouts.size();
    }

    // A spin shows as passes at one time: two seconds of loop time with a descriptor in
    // error must take a few dozen passes, and get there.
    void ExpectNoSpinFor2s() {
        max_passes = 1000;
        const uint32_t start = Mux::milliseconds();
        EXPECT_LE(PassesIn(2000), 50u);
        EXPECT_EQ(start + 2000, Mux::milliseconds());
    }

    Mux::ManualClock clock{kStart};
    std::vector<int> timeouts;
    size_t max_passes = 0;
};

// A connected pair of Unix stream sockets, closed with the object.
struct SocketPair {
    SocketPair() { EXPECT_EQ(0, ::socketpair(AF_UNIX, SOCK_STREAM, 0, fd)); }
    ~SocketPair() {
        for (int f : fd)
            if (f >= 0) ::close(f);
    }
    void close(int i) {
        ::close(fd[i]);
        fd[i] = -1;
    }
    int fd[2];
};

// A component with one descriptor event; it logs each service under its name, then runs
// what the test gave it to do.
struct Probe {
    Probe(const std::string& name, std::vector<std::string>& log) : name(name), log(log) {
        event.Bind(name, &Probe::OnEvent, this);
    }
    void OnEvent(int, short revents) {
        log.push_back(name + ":" + std::to_string(revents));
        if (action) action();
    }
    std::string name;
    std::vector<std::string>& log;
    Event event;
    std::function<void()> action;
};
