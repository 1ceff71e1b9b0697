#include "core/service_unix.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <iostream>

#include "core/acceptor_net.h"
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

AcceptorUnix::AcceptorUnix(const std::string& path) : path_(path) {
    listen_event_.Bind("AcceptorUnix::OnSocketEvent", &AcceptorUnix::OnSocketEvent, this);
}

bool AcceptorUnix::ImplActivate() {
    listen_fd_ = Fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (!listen_fd_.is_valid()) {
        if (trace()) std::cerr << "can't create socket:" << Errno() << std::endl;
        return false;
    }
    BindSocket();
    return true;
}

void AcceptorUnix::BindSocket() {
    const sockaddr_un sa = MakeUnixAddress(path_);
    ::unlink(sa.sun_path);
    if (::bind(listen_fd_.lowlevel_fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) != 0) {
        if (trace())
            std::cerr << "can't bind to socket: \"" << Errno() << "\" "
                      << " waiting..." << std::endl;
        bind_timer_.set(kBindRetry, &AcceptorUnix::OnTimeout, this);
        return;
    }
    if (!StartListening(listen_fd_, listen_event_, trace())) Deactivate();
}

void AcceptorUnix::OnTimeout(Timer*) {
    BindSocket();
}

void AcceptorUnix::ImplDeactivate() {
    bind_timer_.reset();
    listen_event_.Release();
    listen_fd_.close();
}

void AcceptorUnix::OnSocketEvent(int fd, short revents) {
    if (!(revents & POLLIN)) return;
    for (;;) {
        sockaddr_un sa;
        std::memset(&sa, 0, sizeof(sa));
        socklen_t len = sizeof(sa);
        Fd client(::accept(fd, reinterpret_cast<sockaddr*>(&sa), &len));
        if (!client.is_valid()) return;
        // An unbound client has no path.
        const size_t path_len =
            len > offsetof(sockaddr_un, sun_path) ? len - offsetof(sockaddr_un, sun_path) : 0;
        const std::string name(sa.sun_path, strnlen(sa.sun_path, path_len));
        if (GetState() == State::Connected || GetState() == State::Deactivating) {
            if (trace()) std::cerr << "refuse connection from " << name << std::endl;
            if (GetState() == State::Connected) ImplRefuseConnection();
            continue;
        }
        if (!client.NonBlock()) {
            if (trace()) std::cerr << "can't set socket to non block mode: " << Errno() << std::endl;
            continue;
        }
        if (trace()) std::cout << "new connection from " << name << std::endl;
        Connected(client, name);
        ImplConnected(client);
        if (!listen_event_.IsActive()) return;
    }
}

// ---- ConnectorUnix ----

ConnectorUnix::ConnectorUnix(const std::string& server_path, const std::string& local_path)
    : server_path_(server_path), local_path_(local_path) {
    connect_event_.Bind("ConnectorUnix::OnSocketEvent", &ConnectorUnix::OnSocketEvent, this);
}

bool ConnectorUnix::ImplActivate() {
    retry_.restart();
    TryConnect();
    return true;
}

void ConnectorUnix::TryConnect() {
    connect_fd_ = Fd(::socket(AF_UNIX, SOCK_STREAM, 0));
    if (!connect_fd_.is_valid()) {
        std::cerr << "can't create domain socket:" << Errno() << std::endl;
        Deactivate();
        return;
    }
    if (!connect_fd_.NonBlock()) {
        std::cerr << "can't set domain socket to non block mode: " << Errno() << std::endl;
        Deactivate();
        return;
    }
    if (!local_path_.empty()) {
        const sockaddr_un local = MakeUnixAddress(local_path_);
        ::unlink(local.sun_path);
        if (::bind(connect_fd_.lowlevel_fd(), reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0)
            std::cerr << "can't bind to domain socket '" << local_path_ << "': \"" << Errno() << std::endl;
    }
    const sockaddr_un sa = MakeUnixAddress(server_path_);
    if (::connect(connect_fd_.lowlevel_fd(), reinterpret_cast<const sockaddr*>(&sa), sizeof(sa)) == 0) {
        std::clog << "connected to " << server_path_ << std::endl;
        connect_event_.Schedule(connect_fd_, POLLOUT);
        Connected(connect_fd_, server_path_);
        connect_fd_.close();
        return;
    }
    std::cerr << "can't connect to " << server_path_ << " : " << Errno() << std::endl;
    Retry(RetryRule::kConnectFailDelay);
}

void ConnectorUnix::OnSocketEvent(int, short revents) {
    // The event outlives an immediate connect by one pass: then it is only let go.
    if (GetState() != State::Connecting) {
        connect_event_.Release();
        return;
    }
    if (revents & (POLLERR | POLLHUP)) {
        std::cerr << "fail to connect to " << server_path_ << std::endl;
        connect_event_.Release();
        Retry(RetryRule::kPollErrorDelay);
        return;
    }
    if (revents & POLLOUT) connect_event_.Release();
}

void ConnectorUnix::Retry(unsigned long_delay) {
    retry_timer_.set(retry_.next_delay(long_delay), &ConnectorUnix::OnTimeout, this);
}

void ConnectorUnix::OnTimeout(Timer*) {
    TryConnect();
}

void ConnectorUnix::ImplOnDisconnect() {
    retry_timer_.set(RetryRule::kReconnectDelay, &ConnectorUnix::OnTimeout, this);
}

void ConnectorUnix::ImplDeactivate() {
    Release();
    connect_fd_.close();
    retry_timer_.reset();
    connect_event_.Release();
}

}  // namespace Control
