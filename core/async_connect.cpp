#include "core/async_connect.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>

#include "core/inet4_addr.h"

namespace ASync {

Connect::~Connect() {
    delete handler_;
}

void Connect::Bind(Handler* handler) {
    ReplaceHandler(handler_, handler);
}

void Connect::Start(const std::string& address, unsigned timeout) {
    status_ = Status::connecting;
    socket_ = Fd(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!socket_.is_valid() || !socket_.NonBlock()) return Complete(Status::failed);
    INet4::Addr peer;
    // An address that does not parse would otherwise connect to 0.0.0.0.
    if (!peer.Assign(address, nullptr)) return Complete(Status::failed);
    if (::connect(socket_.lowlevel_fd(), peer, peer.size()) == 0) return Complete(Status::connected);
    if (errno != EINPROGRESS) return Complete(Status::failed);
    event_.Bind("Connect::OnSocketEvent", &Connect::OnSocketEvent, this);
    event_.Schedule(socket_, POLLOUT);
    timer_.set(timeout, &Connect::OnTimeOut, this);
}

void Connect::OnSocketEvent(int fd, short revents) {
    if (revents & (POLLERR | POLLHUP | POLLNVAL)) return Complete(Status::failed);
    if ((revents & POLLOUT) == 0) return;
    int error = 0;
    socklen_t length = sizeof(error);
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0)
        return Complete(Status::failed);
    Complete(Status::connected);
}

void Connect::OnTimeOut(Timer*) {
    Complete(Status::failed);
}

void Connect::Complete(Status::Type status) {
    if (status_ != Status::connecting) return;
    status_ = status;
    Fd result;
    if (status == Status::connected) result = socket_;
    socket_.close();
    event_.Release();
    event_.UnBind();
    timer_.reset();
    // Last action: the owner may start again or destroy this engine.
    if (handler_ != nullptr) handler_->Invoke(status, result);
}

}  // namespace ASync
