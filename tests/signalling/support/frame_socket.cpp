#include "tests/signalling/support/frame_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

FrameSocket::FrameSocket(int fd) {
    event_.Bind("FrameSocket::OnEvent", &FrameSocket::OnEvent, this);
    event_.Schedule(Fd(fd), POLLIN);
}

FrameSocket::~FrameSocket() {
    event_.Release();
}

bool FrameSocket::Pair(int fd[2]) {
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fd) != 0) return false;
    return true;
}

bool FrameSocket::hdlc_transmit(Packet& frame) {
    if (frame.empty()) return true;
    if (!is_open()) return false;
    if (drop_tx && drop_tx(frame)) return true;
    const ssize_t n = ::send(event_.lowlevel_fd(), frame.data(), frame.length(), MSG_NOSIGNAL);
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            ready_ = false;
            event_.SetEvents(POLLIN | POLLOUT);
        }
        return false;
    }
    ++sent_;
    if (tap_ != nullptr) tap_->Write(frame.data(), frame.length(), Sim::PcapngWriter::Direction::outbound);
    return true;
}

void FrameSocket::OnEvent(int fd, short revents) {
    if ((revents & POLLOUT) != 0 && !ready_) {
        ready_ = true;
        event_.SetEvents(POLLIN);
        if (sink_ != nullptr) sink_->on_hdlc_ready();
    }
    if ((revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL)) == 0) return;
    for (int budget = 64; budget > 0 && is_open(); --budget) {
        Packet frame;
        frame.reserve_head(0);
        const ssize_t n = ::recv(fd, frame.tail(), frame.tailroom(), 0);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            event_.Release();
            if (sink_ != nullptr) sink_->on_hdlc_error(HDLC::Notify::Cause::read_error);
            return;
        }
        frame.put(static_cast<unsigned>(n));
        if (drop_rx && drop_rx(frame)) continue;
        ++received_;
        if (tap_ != nullptr) tap_->Write(frame.data(), frame.length(), Sim::PcapngWriter::Direction::inbound);
        if (sink_ != nullptr) sink_->on_hdlc_receive(frame);
    }
}
