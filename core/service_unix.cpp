#include "core/service_unix.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <utility>

#include "core/errno_text.h"

namespace Control {

sockaddr_un MakeUnixAddress(const std::string& path) {
    sockaddr_un sa;
    std::memset(&sa, 0, sizeof(sa));
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, path.c_str(), sizeof(sa.sun_path) - 1);
    return sa;
}

// ---- AcceptorUnix ----

AcceptorUnix::AcceptorUnix(const std::string& path) : Acceptor("AcceptorUnix::OnSocketEvent"), path_(path) {}

int AcceptorUnix::ISocket() {
    return ::socket(AF_UNIX, SOCK_STREAM, 0);
}

int AcceptorUnix::IBind(int fd) {
    const sockaddr_un sa = MakeUnixAddress(path_);
    ::unlink(sa.sun_path);
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
}

int AcceptorUnix::IAccept(int fd, std::string& peer) {
    sockaddr_un sa;
    std::memset(&sa, 0, sizeof(sa));
    socklen_t len = sizeof(sa);
    const int client = ::accept(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (client < 0) return client;
    // An unbound client has no path.
    const size_t path_len = len > offsetof(sockaddr_un, sun_path) ? len - offsetof(sockaddr_un, sun_path) : 0;
    peer.assign(sa.sun_path, strnlen(sa.sun_path, path_len));
    return client;
}

// ---- ConnectorUnix ----

ConnectorUnix::ConnectorUnix(const std::string& server_path, const std::string& local_path)
    : server_path_(server_path), local_path_(local_path) {
    connect_event_.Bind("ConnectorUnix::OnSocketEvent", &ConnectorUnix::OnSocketEvent, this);
}

void ConnectorUnix::TryConnect() {
    // errno is read before the assignment: closing an empty Fd sets it to EBADF.
    Fd fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (!fd.is_valid()) {
        std::cerr << "can't create domain socket:" << Errno() << std::endl;
        Deactivate();
        return;
    }
    connect_fd_ = std::move(fd);
    if (!connect_fd_.NonBlock()) {
        std::cerr << "can't set domain socket to non block mode: " << Errno() << std::endl;
        Deactivate();
        return;
    }
    if (!local_path_.empty()) {
        const sockaddr_un local = MakeUnixAddress(local_path_);
        ::unlink(local.sun_path);
        // Every attempt binds anew: a path that cannot be bound is one lasting condition.
        const int fd = connect_fd_.lowlevel_fd();
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) == 0) {
            bind_failure_.End();
        } else if (auto line = bind_failure_.Occurred(std::cerr)) {
            line << "can't bind to domain socket '" << local_path_ << "': \"" << Errno();
        }
    }
    const sockaddr_un sa = MakeUnixAddress(server_path_);
    if (::connect(connect_fd_.lowlevel_fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        EndFailures();
        Report(LinkLine::Connected, std::clog, "connected to " + server_path_);
        connect_event_.Schedule(connect_fd_, POLLOUT);
        Connected(connect_fd_, server_path_);
        connect_fd_.close();
        return;
    }
    const Errno error;
    Failed("can't connect to " + server_path_ + " : " + error.text());
    Retry(RetryRule::kConnectFailDelay);
}

void ConnectorUnix::OnSocketEvent(int, short revents) {
    // The event outlives an immediate connect by one pass: then it is only let go.
    if (GetState() != State::Connecting) {
        connect_event_.Release();
        return;
    }
    if (revents & (POLLERR | POLLHUP)) {
        Failed("fail to connect to " + server_path_);
        connect_event_.Release();
        Retry(RetryRule::kPollErrorDelay);
        return;
    }
    if (revents & POLLOUT) connect_event_.Release();
}

}  // namespace Control
