#include "config/tpkt_tracer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>

#include <cerrno>
#include <iostream>

#include "core/errno_text.h"
#include "core/inet4_addr.h"
#include "core/tpkt_protocol.h"

TPKTTracer::~TPKTTracer() {
    current_ = connections_.end();
    connections_.clear();
    closed_.clear();
    listener_.Release();
}

bool TPKTTracer::Listen(unsigned short port) {
    Fd socket(::socket(AF_INET, SOCK_STREAM, 0));
    if (!socket) return false;
    INet4::Addr address;  // every local address
    if (!bind_address_.empty() && !address.Assign(bind_address_)) return false;
    address.port(port);
    if (::bind(socket.lowlevel_fd(), address, address.size()) != 0) return false;
    if (::listen(socket.lowlevel_fd(), 1) != 0) return false;
    if (!socket.NonBlock()) return false;
    listener_.Bind("TPKTTracer::OnEvent", &TPKTTracer::OnEvent, this);
    listener_.Schedule(std::move(socket), POLLIN);
    return true;
}

unsigned short TPKTTracer::local_port() const {
    INet4::Addr address;
    socklen_t length = address.size();
    if (!listener_.IsActive() || ::getsockname(listener_.lowlevel_fd(), address, &length) != 0) return 0;
    return address.port();
}

// ---- accepting ----

void TPKTTracer::OnEvent(int fd, short revents) {
    if (!accept_pause_.ClientsWaiting(revents, "TPKTTracer: listener ")) return;
    for (;;) {
        INet4::Addr peer;
        socklen_t length = peer.size();
        const int accepted = ::accept(fd, peer, &length);
        if (accepted < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            accept_pause_.OnAcceptError(error, &std::cerr, "TPKTTracer: ");
            return;  // no more waiting clients, or none that can be taken now
        }
        accept_pause_.OnAccepted();
        std::clog << "ACP connection open from " << peer << std::endl;
        Accept(accepted);
    }
}

void TPKTTracer::Accept(int fd) {
    Fd client(fd);
    if (!client.NonBlock()) return;  // closed with `client`
    auto connection = std::make_unique<Connection>();
    connection->event.Bind("TPKTTracer::OnDataEvent", &TPKTTracer::OnDataEvent, this);
    connection->event.Schedule(std::move(client), POLLIN);
    connections_.push_back(std::move(connection));
}

// ---- receiving ----

void TPKTTracer::OnDataEvent(int fd, short revents) {
    const Position position = FindConnection(fd);
    if (position == end()) return;
    current_ = position;
    if (revents & (POLLERR | POLLHUP | POLLNVAL))
        CloseConnection(position);
    else if (revents & POLLIN)
        Receive(**position);
    current_ = end();
    closed_.clear();
}

bool TPKTTracer::Receive(Connection& connection) {
    for (unsigned frames = 0; frames < kFramesPerEvent;) {
        const ssize_t n = ::recv(connection.event.lowlevel_fd(), connection.buffer + connection.have,
                                 connection.need - connection.have, MSG_NOSIGNAL);
        if (n == 0) {
            CloseConnection(current_);  // the client closed
            return false;
        }
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
            CloseConnection(current_);
            return false;
        }
        connection.have += static_cast<unsigned>(n);
        if (connection.have < connection.need) return true;

        if (connection.state == 1) {
            if (!OnHeader(connection)) return false;
            if (connection.state == 1) ++frames;  // an empty frame is complete
            continue;
        }
        if (receiver != nullptr) receiver->OnTraceMessage(connection.buffer, connection.need);
        if (current_ == end()) return false;  // closed from inside the receiver
        connection.state = 1;
        connection.have = 0;
        connection.need = Tpkt_protocol::kHeaderSize;
        ++frames;
    }
    return true;
}

bool TPKTTracer::OnHeader(Connection& connection) {
    const unsigned char* header = connection.buffer;
    const unsigned length = (static_cast<unsigned>(header[2]) << 8) | header[3];
    if (header[0] != 3 || header[1] != 0 || length < Tpkt_protocol::kHeaderSize ||
        length - Tpkt_protocol::kHeaderSize > kBufferSize) {
        CloseConnection(current_);
        return false;
    }
    connection.have = 0;
    const unsigned body = length - Tpkt_protocol::kHeaderSize;
    if (body == 0) {
        connection.need = Tpkt_protocol::kHeaderSize;  // empty frame: on to the next header
        return true;
    }
    connection.state = 0;
    connection.need = body;
    return true;
}

// ---- sending ----

void TPKTTracer::Send(const void* data, unsigned int length) {
    if (length > Tpkt_protocol::kMaxBody) {
        // The length field has 16 bits: a wrapped length would desynchronise every client.
        std::cerr << "TPKTTracer: message of " << length << " bytes is longer than "
                  << Tpkt_protocol::kMaxBody << ", not sent." << std::endl;
        return;
    }
    const unsigned total = length + Tpkt_protocol::kHeaderSize;
    const unsigned char header[Tpkt_protocol::kHeaderSize] = {3, 0, static_cast<unsigned char>(total >> 8),
                                                              static_cast<unsigned char>(total & 0xFF)};
    if (current_ != end()) {
        SendTo(current_, header, data, length);
        return;
    }
    for (Position next = connections_.begin(); next != connections_.end();) {
        const Position position = next++;  // the send may close this one
        SendTo(position, header, data, length);
    }
}

void TPKTTracer::SendTo(Position position, const unsigned char* header, const void* data, unsigned length) {
    iovec parts[2];
    parts[0].iov_base = const_cast<unsigned char*>(header);
    parts[0].iov_len = Tpkt_protocol::kHeaderSize;
    parts[1].iov_base = const_cast<void*>(data);
    parts[1].iov_len = length;
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 2;
    // No SIGPIPE from a client that has gone: the failure closes its connection instead.
    const ssize_t sent = ::sendmsg((*position)->event.lowlevel_fd(), &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) return;
    if (sent < 0 || static_cast<size_t>(sent) < length + Tpkt_protocol::kHeaderSize)
        CloseConnection(position);
}

// ---- connections ----

void TPKTTracer::CloseConnection(Position position) {
    if (position == end()) return;
    if (position == current_) {
        current_ = end();
        (*position)->event.Release();
        closed_.splice(closed_.end(), connections_, position);
    } else {
        connections_.erase(position);
    }
}

TPKTTracer::Position TPKTTracer::FindConnection(int fd) {
    for (Position it = connections_.begin(); it != connections_.end(); ++it)
        if ((*it)->event.lowlevel_fd() == fd) return it;
    return end();
}
