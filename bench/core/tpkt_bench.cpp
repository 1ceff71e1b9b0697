// TPKT over loopback with 20-100 byte bodies: parsing cost of a pipelined stream,
// frames per second through a connection, and echo round trips of the daemon's
// acceptor beside a minimal epoll echo server.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "core/acceptor_net.h"
#include "core/dpc.h"
#include "core/multiplexer.h"
#include "core/protocol.h"
#include "core/tpkt_protocol.h"

namespace {

std::string Frames(size_t count, unsigned seed) {
    std::mt19937 rng(seed);
    std::string s;
    for (size_t i = 0; i < count; ++i) {
        const unsigned body = 20 + rng() % 81;
        const unsigned n = body + 4;
        s += static_cast<char>(3);
        s += static_cast<char>(0);
        s += static_cast<char>(n >> 8);
        s += static_cast<char>(n & 0xFF);
        s.append(body, static_cast<char>('a' + i % 26));
    }
    return s;
}

class Counter : public ProtocolsFamily {
public:
    Counter() { add_protocol_tail(new Tpkt_protocol); }
    void on_message(Packet& p) override {
        ++frames;
        bytes += p.length();
    }
    size_t frames = 0;
    size_t bytes = 0;
};

// Parsing alone: a pipelined stream in 64 KiB pieces, as the stream layer reads it.
void BM_TpktParsePipelined(benchmark::State& state) {
    const size_t kFrames = 10000;
    const std::string stream = Frames(kFrames, 1);
    Counter counter;
    for (auto _ : state) {
        for (size_t off = 0; off < stream.size(); off += 65536) {
            const size_t n = std::min<size_t>(65536, stream.size() - off);
            Packet piece;
            piece.reserve_head(0);
            std::memcpy(piece.put(static_cast<unsigned>(n)), stream.data() + off, n);
            counter.receive(piece);
        }
    }
    state.counters["ns/frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kFrames), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TpktParsePipelined)->Unit(benchmark::kMicrosecond);

int Connect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) std::abort();
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    return fd;
}

void SendAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w <= 0) std::abort();
        p += w;
        n -= static_cast<size_t>(w);
    }
}

void RecvAll(int fd, char* p, size_t n) {
    while (n > 0) {
        ssize_t r = ::recv(fd, p, n, 0);
        if (r <= 0) std::abort();
        p += r;
        n -= static_cast<size_t>(r);
    }
}

// The daemon's acceptor in this thread's loop; a client thread drives it.
class Server : public Control::Notify {
public:
    explicit Server(bool echo) : echo_(echo), service_(0, false) {
        service_.bind_address("127.0.0.1");
        service_.Bind(this);
        service_.Activate();
        stop_.Bind(this, &Server::Check);
        stop_.Activate();
    }
    ~Server() override { service_.Deactivate(); }
    uint16_t port() const { return service_.local_port(); }
    void run() { multiplexer.run(false, true); }
    void finish() { done_ = true; }

    void OnConnect() override {}
    void OnDisconnect() override { multiplexer.terminate(); }
    void OnMessage(const char* data, int length) override {
        ++frames;
        if (echo_) service_.Send(data, length);
    }
    size_t frames = 0;

private:
    void Check() {
        if (done_) multiplexer.terminate();
    }
    bool echo_;
    std::atomic<bool> done_{false};
    Control::AcceptorNetCheckConnection service_;
    Dpc stop_;
};

struct QuietLogs {
    QuietLogs()
        : err(std::cerr.rdbuf(sink.rdbuf())),
          out(std::cout.rdbuf(sink.rdbuf())),
          log(std::clog.rdbuf(sink.rdbuf())) {}
    ~QuietLogs() {
        std::cerr.rdbuf(err);
        std::cout.rdbuf(out);
        std::clog.rdbuf(log);
    }
    std::ostringstream sink;
    std::streambuf* err;
    std::streambuf* out;
    std::streambuf* log;
};

// Frames per second through a connection: the client writes a long pipelined stream.
void BM_TpktLoopbackPipelined(benchmark::State& state) {
    QuietLogs quiet;
    const size_t kFrames = 50000;
    const std::string stream = Frames(kFrames, 2);
    size_t total = 0;
    for (auto _ : state) {
        Server server(false);
        std::thread client([&] {
            int fd = Connect(server.port());
            SendAll(fd, stream.data(), stream.size());
            ::close(fd);
        });
        server.run();
        client.join();
        if (server.frames != kFrames) state.SkipWithError("frames lost");
        total += server.frames;
    }
    state.counters["frames/s"] = benchmark::Counter(static_cast<double>(total), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TpktLoopbackPipelined)->Unit(benchmark::kMillisecond)->UseRealTime();

// One client, one frame at a time, waiting for each echo.
template <class StartServer>
void EchoRounds(benchmark::State& state, StartServer start) {
    const size_t kRounds = 20000;
    const std::string frames = Frames(kRounds, 3);
    std::vector<double> rtt;
    rtt.reserve(kRounds);
    for (auto _ : state) {
        rtt.clear();
        start([&](uint16_t port) {
            int fd = Connect(port);
            char buffer[128];
            size_t off = 0;
            for (size_t i = 0; i < kRounds; ++i) {
                const size_t n = static_cast<unsigned char>(frames[off + 2]) * 256u +
                                 static_cast<unsigned char>(frames[off + 3]);
                const auto t0 = std::chrono::steady_clock::now();
                SendAll(fd, frames.data() + off, n);
                RecvAll(fd, buffer, n);
                rtt.push_back(
                    std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
                off += n;
            }
            ::close(fd);
        });
    }
    std::sort(rtt.begin(), rtt.end());
    state.counters["rtt/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * kRounds), benchmark::Counter::kIsRate);
    state.counters["p50_us"] = rtt[rtt.size() / 2];
    state.counters["p99_us"] = rtt[rtt.size() * 99 / 100];
}

void BM_TpktEchoAcceptor(benchmark::State& state) {
    QuietLogs quiet;
    EchoRounds(state, [](auto client_body) {
        Server server(true);
        std::thread client([&] { client_body(server.port()); });
        server.run();
        client.join();
    });
}
BENCHMARK(BM_TpktEchoAcceptor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The yardstick: an epoll loop that echoes whatever it reads.
void BM_EpollEcho(benchmark::State& state) {
    EchoRounds(state, [](auto client_body) {
        int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(lfd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa));
        ::listen(lfd, 1);
        socklen_t len = sizeof(sa);
        ::getsockname(lfd, reinterpret_cast<sockaddr*>(&sa), &len);
        std::thread client([&] { client_body(ntohs(sa.sin_port)); });
        int cfd = ::accept(lfd, nullptr, nullptr);
        const int on = 1;
        ::setsockopt(cfd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        int ep = ::epoll_create1(0);
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = cfd;
        ::epoll_ctl(ep, EPOLL_CTL_ADD, cfd, &ev);
        char buffer[65536];
        for (bool open = true; open;) {
            epoll_event out[4];
            const int n = ::epoll_wait(ep, out, 4, -1);
            for (int i = 0; i < n; ++i) {
                const ssize_t r = ::recv(cfd, buffer, sizeof(buffer), MSG_DONTWAIT);
                if (r <= 0) {
                    open = false;
                    break;
                }
                SendAll(cfd, buffer, static_cast<size_t>(r));
            }
        }
        client.join();
        ::close(ep);
        ::close(cfd);
        ::close(lfd);
    });
}
BENCHMARK(BM_EpollEcho)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
