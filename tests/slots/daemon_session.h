// The built simulation daemon as a process for black-box runs: started in a
// private mount namespace (its pid file, logs and configuration in a temporary
// directory) with trunk ports and its own authentication port, and driven by a
// controller over loopback TCP.
// Header-only; used by the tests and the benchmark, so it reports failures by
// return values.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/server/server_test_util.h"

namespace DaemonSession {

using ServerTest::Bytes;
using Clock = std::chrono::steady_clock;

inline bool NamespaceAllowed() {
    return std::system("unshare -m --propagation private true >/dev/null 2>&1") == 0;
}

inline std::string TempDir(const char* prefix) {
    std::string pattern = std::string("/tmp/") + prefix + "XXXXXX";
    std::vector<char> path(pattern.begin(), pattern.end());
    path.push_back('\0');
    return ::mkdtemp(path.data()) != nullptr ? std::string(path.data()) : std::string();
}

// A port no other bind(0), nor a connect's own port, is given while this lives. A
// port bound and closed again can go to a parallel test before the daemon binds it;
// this one stays bound, with SO_REUSEADDR and never listening, so that the daemon's
// listeners, which set SO_REUSEADDR as well, can still take it.
class HeldPort {
public:
    HeldPort() : fd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        const int on = 1;
        sockaddr_in sa{};
        sa.sin_family = AF_INET;  // the wildcard address: it meets a bind to any address
        socklen_t len = sizeof sa;
        if (fd_ >= 0 && ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) == 0 &&
            ::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0 &&
            ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len) == 0)
            port_ = ntohs(sa.sin_port);
    }
    ~HeldPort() {
        if (fd_ >= 0) ::close(fd_);
    }
    HeldPort(const HeldPort&) = delete;
    HeldPort& operator=(const HeldPort&) = delete;
    int port() const { return port_; }

private:
    int fd_;
    int port_ = 0;
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A loopback TCP connection to the port, retried until it is taken; -1 when not.
inline int ConnectLoopback(int port, int ms = 10000) {
    for (auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end; ::usleep(50000)) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return fd;
        ::close(fd);
    }
    return -1;
}

// tamboril-sim with its environment; its output goes to files in its directory.
class Daemon {
public:
    Daemon(const std::string& exe, const std::map<std::string, std::string>& env) {
        dir = TempDir("tmb-sigslots-");
        trunk_dir = dir + "/trunks";
        for (const char* d : {"/run", "/log", "/etc", "/trunks"}) ::mkdir((dir + d).c_str(), 0700);
        port = held_port_.port();
        auth_port = held_auth_port_.port();
        const std::string script = "mount --bind '" + dir + "/run' /var/run && mount --bind '" + dir +
                                   "/log' /var/log && mount --bind '" + dir + "/etc' /usr/local/etc && exec '" + exe +
                                   "' --port " + std::to_string(port) + " >'" + dir + "/out' 2>'" + dir + "/err'";
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setenv("TAMBORIL_TRUNK_DIR", trunk_dir.c_str(), 1);
            ::setenv("TAMBORIL_AUTH_PORT", std::to_string(auth_port).c_str(), 1);
            for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
            ::execlp("unshare", "unshare", "-m", "--propagation", "private", "sh", "-c", script.c_str(),
                     static_cast<char*>(nullptr));
            ::_exit(127);
        }
    }
    ~Daemon() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            int status = 0;
            for (int i = 0; i < 100 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i) ::usleep(50000);
            if (::waitpid(pid_, &status, WNOHANG) == 0) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
            }
        }
        if (!dir.empty() && std::getenv("KEEP_DAEMON_DIR") == nullptr)
            (void)std::system(("rm -rf '" + dir + "'").c_str());
    }
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    std::string Out() const { return ReadFile(dir + "/out"); }
    std::string Err() const { return ReadFile(dir + "/err"); }
    bool WaitStarted(int ms = 10000) const {
        for (auto end = Clock::now() + std::chrono::milliseconds(ms); Clock::now() < end; ::usleep(20000))
            if (Out().find("Starting server") != std::string::npos) return true;
        return false;
    }
    // A SOCK_SEQPACKET connection to a trunk port ("e1-0-16", "bri-0-d"); -1 on failure.
    int ConnectPort(const std::string& name) const {
        int s = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        std::string path = trunk_dir + "/" + name;
        std::strncpy(sa.sun_path, path.c_str(), sizeof sa.sun_path - 1);
        if (::connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
            ::close(s);
            return -1;
        }
        return s;
    }

    std::string dir, trunk_dir;
    int port = 0;       // the controller's
    int auth_port = 0;  // the PPP authentication socket's

private:
    // Released only after the daemon has been reaped, in the members' destruction.
    HeldPort held_port_, held_auth_port_;
    pid_t pid_ = -1;
};

// The controller: commands out with a sequence number, every message in.
class Controller {
public:
    bool Connect(int port, int ms = 10000) {
        fd_ = ConnectLoopback(port, ms);
        return fd_ >= 0;
    }
    ~Controller() { Close(); }
    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

    // Sends a command for `slot`; returns its sequence number.
    int Send(unsigned slot, const std::function<void(LGCP::Command&)>& select) {
        int seq = ++seq_;
        LGCP::Message m = ServerTest::Command(select, true, seq, slot);
        Bytes frame = ServerTest::Tpkt(ServerTest::Encode(m));
        if (::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) return -1;
        return seq;
    }
    // Reads what is there within `ms`; signals go to `signals`, responses to `responses`.
    void Pump(int ms) {
        for (LGCP::Message& m : ServerTest::ReadMessages(fd_, pending_, ms)) {
            if (m.get_pdu().signal_isSelected())
                signals.push_back(m);
            else
                responses.push_back(m);
        }
    }
    // The response to `seq`: -1 success, the error cause, or -2 for none in time.
    int Answer(int seq, int ms = 5000) {
        for (auto end = Clock::now() + std::chrono::milliseconds(ms);;) {
            for (auto it = responses.begin(); it != responses.end(); ++it) {
                if (!ServerTest::HasSeq(*it, seq)) continue;
                const auto& r = it->get_pdu().get_response();
                int cause = r.success_isSelected() ? -1 : r.error_isSelected() ? r.get_error().asInt() : -3;
                responses.erase(it);
                return cause;
            }
            if (Clock::now() >= end) return -2;
            Pump(20);
        }
    }
    int Command(unsigned slot, const std::function<void(LGCP::Command&)>& select, int ms = 5000) {
        int seq = Send(slot, select);
        return seq < 0 ? -2 : Answer(seq, ms);
    }

    std::vector<LGCP::Message> signals;
    std::vector<LGCP::Message> responses;

private:
    int fd_ = -1;
    int seq_ = 0;
    Bytes pending_;
};

}  // namespace DaemonSession
