#include "core/acceptor_net.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <iostream>

#include "core/errno_text.h"
#include "core/inet4_addr.h"

namespace Control {

// ---- AcceptorNet ----

AcceptorNet::AcceptorNet(int port)
    : Acceptor("AcceptorNet::OnSocketEvent"), port_(static_cast<uint16_t>(port)) {}

AcceptorNet::AcceptorNet(int port, bool trace) : AcceptorNet(port) {
    set_trace(trace);
}

uint16_t AcceptorNet::local_port() const {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    if (!listen_fd_.is_valid() ||
        ::getsockname(listen_fd_.lowlevel_fd(), reinterpret_cast<sockaddr*>(&sa), &len) != 0)
        return 0;
    return ntohs(sa.sin_port);
}

int AcceptorNet::ISocket() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (fd >= 0) {
        const int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    return fd;
}

int AcceptorNet::IBind(int fd) {
    INet4::Addr addr;
    addr.Assign(htonl(INADDR_ANY));
    if (!bind_address_.empty()) addr.Assign(bind_address_);
    addr.port(port_);
    return ::bind(fd, addr, addr.size());
}

int AcceptorNet::IAccept(int fd, INet4::Addr& peer) {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    const int client = ::accept(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    if (client >= 0) peer = INet4::Addr(sa);
    return client;
}

// ---- AcceptorNetCheckConnection ----

bool AcceptorNetCheckConnection::ImplActivate() {
    AcceptorNet::ImplActivate();
    CheckConnection();
    return true;
}

void AcceptorNetCheckConnection::ImplDeactivate() {
    check_timer_.reset();
    AcceptorNet::ImplDeactivate();
}

void AcceptorNetCheckConnection::ImplConnected(Fd fd) {
    // A client dropped from its own OnConnect is already gone: keep nothing of it.
    if (IsConnected())
        check_fd_ = fd;
    else
        check_fd_.close();
}

void AcceptorNetCheckConnection::on_deactivated(::Protocol* layer, Protocol_status status) {
    AcceptorNet::on_deactivated(layer, status);
    check_fd_.close();
}

void AcceptorNetCheckConnection::ImplRefuseConnection() {
    if (check_state_ != CheckIdle) return;
    check_state_ = CheckActive;
    ca_state_countdown_ = kCaCountdown;
    SetupKeepAlive(true);
    // A second controller may retry for days: the checks of its later refusals are
    // counted in its condition's lines.
    check_traced_ = refusal_news();
    if (check_traced_) std::cerr << "CheckConnectionState CheckConnection" << std::endl;
}

void AcceptorNetCheckConnection::SetupKeepAlive(bool aggressive) {
    const int fd = check_fd_.lowlevel_fd();
    const int keepalive = 1;
    const int idle = aggressive ? 1 : 7200;
    const int interval = aggressive ? 1 : 75;
    const int count = aggressive ? 3 : 9;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &keepalive, sizeof(keepalive));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof(idle));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof(interval));
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof(count));
}

void AcceptorNetCheckConnection::CheckConnection() {
    if (IsConnected()) {
        bool close = false;
        // The first two bytes of the kernel's TCP record: the TCP state and the
        // congestion-avoidance state.
        unsigned char info[92] = {};
        socklen_t len = sizeof(info);
        if (::getsockopt(check_fd_.lowlevel_fd(), IPPROTO_TCP, TCP_INFO, info, &len) == 0 && len >= 2) {
            const unsigned tcp_state = info[0];
            const unsigned ca_state = info[1];
            if (tcp_state != TCP_ESTABLISHED) {
                if (trace())
                    std::cerr << "connection from " << GetAddr() << " closed: tcp socket change state."
                              << std::endl;
                close = true;
            }
            if (check_state_ == CheckActive) {
                if (ca_state != 0) {
                    if (ca_state_countdown_ > 0) --ca_state_countdown_;
                    if (ca_state_countdown_ <= 0) {
                        if (trace())
                            std::cerr << "connection from " << GetAddr()
                                      << " closed: tcp socket change ca_state." << std::endl;
                        close = true;
                    }
                } else {
                    check_state_ = CheckIdle;
                    SetupKeepAlive(false);
                    if (check_traced_) std::cerr << "CheckConnectionState Idle" << std::endl;
                }
            }
        }
        int error = 0;
        socklen_t error_len = sizeof(error);
        if (::getsockopt(check_fd_.lowlevel_fd(), SOL_SOCKET, SO_ERROR, &error, &error_len) != 0)
            error = errno;
        if (error != 0) {
            if (trace())
                std::cerr << "connection from " << GetAddr() << " closed: " << Errno(error) << std::endl;
            close = true;
        }
        if (close) {
            check_state_ = CheckIdle;
            SetupKeepAlive(false);
            Disconnect();
            if (trace()) std::cerr << "CheckConnectionState Idle" << std::endl;
        }
    }
    check_timer_.set(kCheckPeriod, &AcceptorNetCheckConnection::OnCheckConnectionTimeout, this);
}

void AcceptorNetCheckConnection::OnCheckConnectionTimeout(Timer*) {
    CheckConnection();
}

}  // namespace Control
