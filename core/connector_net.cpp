#include "core/connector_net.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <iostream>
#include <utility>

#include "core/errno_text.h"
#include "core/inet4_addr.h"

namespace Control {

ConnectorNet::ConnectorNet() {
    connect_event_.Bind("ConnectorNet::OnSocketEvent", &ConnectorNet::OnSocketEvent, this);
}

ConnectorNet::ConnectorNet(const std::string& address) : ConnectorNet() {
    INet4::Addr addr;
    // A text that is no address keeps it, so that the attempts fail instead of leading here.
    host_ = addr.Assign(address) ? addr.GetStrAddr() : address.substr(0, address.find(':'));
    port_ = addr.port();
}

ConnectorNet::ConnectorNet(const std::string& host, uint16_t port) : ConnectorNet() {
    host_ = host;
    port_ = port;
}

INet4::Addr ConnectorNet::address() const {
    INet4::Addr addr;
    addr.Assign(host_);
    addr.port(port_);
    return addr;
}

void ConnectorNet::TryConnect() {
    INet4::Addr addr;
    if (!addr.Assign(host_)) {
        // Not an address: 0.0.0.0 would connect to this machine.
        Failed("can't connect to " + host_ + ":" + std::to_string(port_) + " : bad address");
        Retry(RetryRule::kConnectFailDelay);
        return;
    }
    addr.port(port_);
    // errno is read before the assignment: closing an empty Fd sets it to EBADF.
    Fd fd(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!fd.is_valid()) {
        std::cerr << "can't create socket:" << Errno() << std::endl;
        Deactivate();
        return;
    }
    connect_fd_ = std::move(fd);
    if (!connect_fd_.NonBlock()) {
        std::cerr << "can't set socket to non block mode: " << Errno() << std::endl;
        Deactivate();
        return;
    }
    if (::connect(connect_fd_.lowlevel_fd(), addr, addr.size()) == 0) {
        EndFailures();
        Report(LinkLine::Connected, std::clog, "already connected to " + addr.GetString());
        Connected(connect_fd_, addr);
        connect_fd_.close();
        return;
    }
    if (errno == EINPROGRESS) {
        connect_event_.Schedule(connect_fd_, POLLOUT);
        return;
    }
    const Errno error;
    Failed("can't connect to " + addr.GetString() + " : " + error.text());
    Retry(RetryRule::kConnectFailDelay);
}

void ConnectorNet::OnSocketEvent(int, short revents) {
    const INet4::Addr addr = address();
    if (revents & (POLLERR | POLLHUP)) {
        Failed("fail to connect to " + addr.GetString());
        connect_event_.Release();
        Retry(RetryRule::kPollErrorDelay);
        return;
    }
    if (!(revents & POLLOUT)) return;
    connect_event_.Release();
    int error = 0;
    socklen_t len = sizeof(error);
    if (::getsockopt(connect_fd_.lowlevel_fd(), SOL_SOCKET, SO_ERROR, &error, &len) != 0) {
        std::cerr << "getsockopt(SOL_SOCKET,SO_ERROR) fail: " << Errno() << std::endl;
        Deactivate();
        return;
    }
    if (error == 0) {
        EndFailures();
        Report(LinkLine::Connected, std::cout, "connected to " + addr.GetString() + ".");
        Connected(connect_fd_, addr);
        connect_fd_.close();
        return;
    }
    Failed("fail to connect to " + addr.GetString());
    Retry(RetryRule::kSocketErrorDelay);
}

}  // namespace Control
