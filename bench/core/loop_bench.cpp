// One byte bounces between the two ends of a socket pair while N-1 other descriptors
// stay idle: the multiplexer against a plain poll loop doing the same work.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <vector>

#include "core/event.h"
#include "core/fd.h"
#include "core/multiplexer.h"

namespace {

constexpr int kRoundTrips = 1000;

struct Idle {
    Idle() {
        if (::pipe(fds) != 0) fds[0] = fds[1] = -1;
    }
    ~Idle() {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int fds[2];
};

struct PingPong {
    void OnPing(int fd, short revents) {
        if (!(revents & POLLIN)) return;
        char c;
        if (::read(fd, &c, 1) == 1 && ::write(fd, &c, 1) != 1) multiplexer.terminate();
    }
    void OnPong(int fd, short revents) {
        if (!(revents & POLLIN)) return;
        char c;
        if (::read(fd, &c, 1) != 1) return;
        if (++trips == kRoundTrips) {
            multiplexer.terminate();
            return;
        }
        if (::write(fd, &c, 1) != 1) multiplexer.terminate();
    }
    int trips = 0;
};

struct IdleHandler {
    void OnEvent(int, short) {}
};

void BM_MultiplexerPingPong(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    std::vector<std::unique_ptr<Idle>> idle;
    std::vector<std::unique_ptr<Event>> events;
    IdleHandler idle_handler;
    for (int i = 0; i < n - 1; ++i) {
        idle.push_back(std::make_unique<Idle>());
        events.push_back(std::make_unique<Event>());
        events.back()->Bind("idle", &IdleHandler::OnEvent, &idle_handler);
        events.back()->Schedule(Fd(::dup(idle.back()->fds[0])), POLLIN);
    }
    PingPong game;
    Event ping, pong;
    ping.Bind("ping", &PingPong::OnPing, &game);
    pong.Bind("pong", &PingPong::OnPong, &game);
    ping.Schedule(Fd(::dup(pair[0])), POLLIN);
    pong.Schedule(Fd(::dup(pair[1])), POLLIN);
    std::clog.setstate(std::ios::badbit);  // no "Mux: terminating..." per run
    for (auto _ : state) {
        game.trips = 0;
        char c = 'x';
        if (::write(pair[1], &c, 1) != 1) break;
        multiplexer.run(false, true);
    }
    std::clog.clear();
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
    ping.Release();
    pong.Release();
    events.clear();
    ::close(pair[0]);
    ::close(pair[1]);
}

// The baseline: one pollfd array and a switch on the two live entries, every entry
// looked at after each poll as the multiplexer does.
void BM_PlainPollPingPong(benchmark::State& state) {
    const int n = static_cast<int>(state.range(0));
    int pair[2];
    ::socketpair(AF_UNIX, SOCK_STREAM, 0, pair);
    std::vector<std::unique_ptr<Idle>> idle;
    std::vector<pollfd> fds(n + 1);
    for (int i = 0; i < n - 1; ++i) {
        idle.push_back(std::make_unique<Idle>());
        fds[i] = {idle.back()->fds[0], POLLIN, 0};
    }
    fds[n - 1] = {pair[0], POLLIN, 0};
    fds[n] = {pair[1], POLLIN, 0};
    for (auto _ : state) {
        char c = 'x';
        if (::write(pair[1], &c, 1) != 1) break;
        int trips = 0;
        while (trips < kRoundTrips) {
            if (::poll(fds.data(), fds.size(), -1) <= 0) break;
            for (pollfd& p : fds) {
                if (!(p.revents & POLLIN)) continue;
                if (::read(p.fd, &c, 1) != 1) continue;
                if (p.fd == pair[1] && ++trips == kRoundTrips) break;
                if (::write(p.fd, &c, 1) != 1) break;
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
    ::close(pair[0]);
    ::close(pair[1]);
}

}  // namespace

// N counts the descriptors: the pair's two ends stand for one, as in "one socket pair
// with N-1 idle descriptors".
BENCHMARK(BM_MultiplexerPingPong)->Arg(1)->Arg(16)->Arg(256)->Arg(1024);
BENCHMARK(BM_PlainPollPingPong)->Arg(1)->Arg(16)->Arg(256)->Arg(1024);
