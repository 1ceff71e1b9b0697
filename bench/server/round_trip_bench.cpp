// Control round trips over loopback: ping -> success through the control server, one
// command outstanding and 64 pipelined, beside a bare TPKT echo server on the same loop
// and a minimal echo server without the loop or its layers; and the same pings to the
// built tamboril-sim process, whose rate is to stay within 2/3 of the minimal server's.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
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

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

// A connected socket, or -1.
int ConnectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in sa = Loopback(port);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) return fd;
    if (fd >= 0) ::close(fd);
    return -1;
}

// The client side: sends `depth` frames, reads `depth` answers, per batch.
void Drive(benchmark::State& state, uint16_t port, int depth, size_t answerSize) {
    const int fd = ConnectLoopback(port);
    if (fd < 0) {
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
// read, and all their echoes sent in one write. Serves one connection.
void EchoConnection(int listener) {
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
    ::close(fd);
}

// A listening loopback socket and its port; -1 when none could be made.
int Listen(uint16_t& port) {
    int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa = Loopback(0);
    socklen_t len = sizeof(sa);
    if (::bind(listener, reinterpret_cast<sockaddr*>(&sa), len) != 0 || ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&sa), &len) != 0) {
        ::close(listener);
        return -1;
    }
    port = ntohs(sa.sin_port);
    return listener;
}

void BM_MinimalTpktEcho(benchmark::State& state) {
    uint16_t port = 0;
    int listener = Listen(port);
    if (listener < 0) {
        state.SkipWithError("listen failed");
        return;
    }
    const int depth = static_cast<int>(state.range(0));
    std::thread client([&] { Drive(state, port, depth, PingFrame().size()); });
    EchoConnection(listener);
    client.join();
    ::close(listener);
}

// The same server in a process of its own, as the daemon is.
void BM_MinimalTpktEchoProcess(benchmark::State& state) {
    uint16_t port = 0;
    int listener = Listen(port);
    if (listener < 0) {
        state.SkipWithError("listen failed");
        return;
    }
    pid_t child = ::fork();
    if (child == 0) {
        EchoConnection(listener);
        ::_exit(0);
    }
    ::close(listener);
    Drive(state, port, static_cast<int>(state.range(0)), PingFrame().size());
    ::waitpid(child, nullptr, 0);
}

// A port for the daemon, kept bound while the result lives: a port closed again could
// go to another program before the daemon binds it. Bound with SO_REUSEADDR and never
// listening, it is given to no other bind, and the daemon's acceptor, which sets
// SO_REUSEADDR too, still takes it.
Fd HoldPort(uint16_t& port) {
    Fd held(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    socklen_t len = sizeof(sa);
    if (held.is_valid() && ::setsockopt(held.lowlevel_fd(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) == 0 &&
        ::bind(held.lowlevel_fd(), reinterpret_cast<sockaddr*>(&sa), len) == 0 &&
        ::getsockname(held.lowlevel_fd(), reinterpret_cast<sockaddr*>(&sa), &len) == 0)
        port = ntohs(sa.sin_port);
    return held;
}

bool Accepts(uint16_t port) {
    const int fd = ConnectLoopback(port);
    if (fd >= 0) ::close(fd);
    return fd >= 0;
}

// A built daemon in a private mount namespace, so that its pid file and
// configuration stay its own (as the daemon tests run it).
class DaemonProcess {
public:
    DaemonProcess(const char* exe, uint16_t port) : dir_(MakeDir()) {
        const std::string script = "mount --bind '" + dir_ + "' /var/run && mount --bind '" + dir_ +
                                   "' /usr/local/etc && exec '" + exe + "' --port " + std::to_string(port) +
                                   " >/dev/null 2>&1";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::execlp("unshare", "unshare", "-m", "--propagation", "private", "sh", "-c", script.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && pid_ > 0 && !Accepts(port); ++i) {
            int status;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        // The probe connection above is the first controller; it is released before
        // the benchmark's connects.
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    }
    ~DaemonProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
        std::system(("rm -rf '" + dir_ + "'").c_str());
    }
    bool running() const { return pid_ > 0; }

private:
    static std::string MakeDir() {
        char pattern[] = "/tmp/tmb-bench-XXXXXX";
        return ::mkdtemp(pattern) ? pattern : "/tmp";
    }
    std::string dir_;
    pid_t pid_ = -1;
};

void DaemonPing(benchmark::State& state, const char* exe) {
    uint16_t port = 0;
    const Fd held = HoldPort(port);  // released after the daemon has been reaped
    DaemonProcess daemon(exe, port);
    if (!daemon.running()) {
        state.SkipWithError("the daemon did not start (needs unshare -m)");
        return;
    }
    Drive(state, port, static_cast<int>(state.range(0)), 8);
}

// One ping outstanding (or 64) against the daemon process on the simulated board:
// its loop, the control server and the simulated switch's refresh on every pass.
void BM_SimDaemonPing(benchmark::State& state) {
    DaemonPing(state, TAMBORIL_SIM_PATH);
}

// The board's build on this machine, which has no /dev/hal: the daemon without a
// switch to refresh, the floor of the line above.
void BM_BoardDaemonWithoutSwitchPing(benchmark::State& state) {
    DaemonPing(state, TAMBORIL_PATH);
}

BENCHMARK(BM_ControlPing)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_SimDaemonPing)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_BoardDaemonWithoutSwitchPing)->Arg(1)->UseRealTime();
BENCHMARK(BM_TpktEcho)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_MinimalTpktEcho)->Arg(1)->Arg(64)->UseRealTime();
BENCHMARK(BM_MinimalTpktEchoProcess)->Arg(1)->Arg(64)->UseRealTime();

}  // namespace
