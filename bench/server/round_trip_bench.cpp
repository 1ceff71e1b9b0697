// Control round trips over loopback: ping -> success through the control server, one
// command outstanding and 64 pipelined, beside a bare TPKT echo server on the same loop
// and a minimal echo server without the loop or its layers.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <thread>
#include <vector>

#include "asn1/coder_env.h"
#include "core/acceptor_net.h"
#include "core/multiplexer.h"
#include "server/ctrl_server.h"
#include "server/heartbeat_ctl.h"

namespace {

// Answers every frame with the same bytes: the floor a control server can reach.
class EchoNotify : public Control::Notify {
public:
    void OnConnect() override {}
    void OnDisconnect() override { multiplexer.terminate(); }
    void OnMessage(const char* data, int length) override { link->Send(data, length); }
    Control::Service* link = nullptr;
};

class StopOnDisconnect : public CtrlSrv::Service {
public:
    void OnConnect() override {}
    void OnDisconnect() override { multiplexer.terminate(); }
    bool OnCommand(const LGCP::Command&) override { return false; }
};

std::vector<char> PingFrame() {
    LGCP::Message m;
    m.set_seq(1);
    m.set_pdu().select_command().select_ping();
    std::vector<char> body;
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    ASN1::encode(m, env, std::back_inserter(body));
    std::vector<char> frame{3, 0, 0, static_cast<char>(body.size() + 4)};
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

// The client side: sends `depth` frames, reads `depth` answers, per batch.
void Drive(benchmark::State& state, uint16_t port, int depth, size_t answerSize) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
        state.SkipWithError("connect failed");
        return;
    }
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    std::vector<char> one = PingFrame();
    std::vector<char> batch;
    for (int i = 0; i < depth; ++i) batch.insert(batch.end(), one.begin(), one.end());
    std::vector<char> in(answerSize * static_cast<size_t>(depth));
    bool ok = true;
    for (auto _ : state) {
        if (::send(fd, batch.data(), batch.size(), 0) != static_cast<ssize_t>(batch.size())) ok = false;
        size_t got = 0;
        while (ok && got < in.size()) {
            ssize_t n = ::recv(fd, in.data() + got, in.size() - got, 0);
            if (n <= 0) ok = false;
            got += n > 0 ? static_cast<size_t>(n) : 0;
        }
        if (!ok) break;
    }
    if (!ok) state.SkipWithError("connection lost");
    state.SetItemsProcessed(state.iterations() * depth);
    ::close(fd);
}

// Runs the loop on this thread with the given connection, the client on another.
void Serve(benchmark::State& state, Control::AcceptorNetCheckConnection* acceptor, size_t answerSize) {
    uint16_t port = acceptor->local_port();
    int depth = static_cast<int>(state.range(0));
    std::thread client([&] { Drive(state, port, depth, answerSize); });
    multiplexer.run(false, true);
    client.join();
}

void BM_ControlPing(benchmark::State& state) {
    std::ostringstream quiet;
    std::streambuf* old = std::clog.rdbuf(quiet.rdbuf());
    CtrlSrv::Server server;
    HeartBeatCtl heartbeat;
    StopOnDisconnect stop;
    server.Bind(&heartbeat);
    server.Bind(&stop);
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);
    server.Activate(acceptor);
    Serve(state, acceptor, 8);  // TPKT header and "80 01 01 40"
    server.Deactivate();
    std::clog.rdbuf(old);
}

void BM_TpktEcho(benchmark::State& state) {
    EchoNotify echo;
    auto* acceptor = new Control::AcceptorNetCheckConnection(0, false);
    echo.link = acceptor;
    acceptor->Bind(&echo);
    acceptor->Activate();
    Serve(state, acceptor, PingFrame().size());
    acceptor->Deactivate();
    acceptor->UnBind();
    delete acceptor;
}

// The floor without the daemon's layers: blocking reads, frames cut out of each
// read, and all their echoes sent in one write.
void BM_MinimalTpktEcho(benchmark::State& state) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(sa);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), len) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        state.SkipWithError("listen failed");
        ::close(listener);
        return;
    }
    const uint16_t port = ntohs(sa.sin_port);
    const int depth = static_cast<int>(state.range(0));
    std::thread client([&] { Drive(state, port, depth, PingFrame().size()); });
    int fd = ::accept(listener, nullptr, nullptr);
    int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    std::vector<unsigned char> in(65536 + 4);
    std::vector<unsigned char> out;
    size_t held = 0;
    for (;;) {
        ssize_t n = ::recv(fd, in.data() + held, in.size() - held, 0);
        if (n <= 0) break;
        held += static_cast<size_t>(n);
        size_t pos = 0;
        out.clear();
        while (held - pos >= 4) {
            const size_t frame = (size_t{in[pos + 2]} << 8) | in[pos + 3];
            if (in[pos] != 3 || frame < 4 || held - pos < frame) break;
            out.insert(out.end(), in.begin() + static_cast<long>(pos), in.begin() + static_cast<long>(pos + frame));
            pos += frame;
        }
        std::memmove(in.data(), in.data() + pos, held - pos);
        held -= pos;
        if (!out.empty() && ::send(fd, out.data(), out.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(out.size()))
            break;
    }
    client.join();
    ::close(fd);
    ::close(listener);
}

BENCHMARK(BM_ControlPing)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_TpktEcho)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_MinimalTpktEcho)->Arg(1)->Arg(64)->UseRealTime();

}  // namespace
