#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/event.h"
#include "core/multiplexer.h"

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
