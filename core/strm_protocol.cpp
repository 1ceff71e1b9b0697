#include "core/strm_protocol.h"

#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iostream>
#include <new>
#include <sstream>

#include "core/clock.h"
#include "core/errno_text.h"
#include "core/multiplexer.h"
#include "core/output.h"

bool strm_protocol_debug = false;

namespace {

std::string ErrnoText(int value) {
    std::ostringstream os;
    os << Errno(value);
    return os.str();
}

}  // namespace

StrmProtocol::StrmProtocol() : layer_text_("StrmProtocol"), protocol_name_("StrmProtocol") {
    event_.Bind("StrmProtocol::on_event", &StrmProtocol::on_event, this);
}

StrmProtocol::StrmProtocol(Fd fd) : StrmProtocol() {
    attach(fd);
}

StrmProtocol::~StrmProtocol() {
    if (strm_protocol_debug)
        std::clog << "Enter StrmProtocol::~StrmProtocol()"
                  << " this=" << std::hex << reinterpret_cast<uintptr_t>(this) << std::dec << std::endl;
    release();
}

void StrmProtocol::attach(Fd fd) {
    release();
    fd_ = fd;
    corked_ = false;
    cork_supported_ = true;
    // Some kernels report free space rather than queued bytes; a fresh socket has
    // nothing queued, so any positive answer tells which kind this one is.
    queue_reports_free_ = outq_space() > 0;
}

void StrmProtocol::release() {
    pause_.reset();
    if (!fd_.is_valid()) return;
    event_.Release();
    fd_.close();
}

void StrmProtocol::local_prepare_head(Packet& p) {
    p.reserve_head(0);
}

void StrmProtocol::local_prepare_tail(Packet& p) {
    p.reserve_tail(0);
}

void StrmProtocol::local_activate() {
    if (!fd_.is_valid()) {
        on_deactivate(new Protocol_status_error(this, "fd not attached"));
        return;
    }
    event_.Schedule(fd_, POLLIN);
    on_activate();
}

void StrmProtocol::local_deactivate() {
    release();
    on_deactivate(new Protocol_status_success(this, "success"));
}

void StrmProtocol::on_event(int, short revents) {
    if (revents & POLLERR) {
        on_error("pollerr: " + ErrnoText(errno));
    } else if (revents & POLLHUP) {
        on_error("pollhup: " + ErrnoText(errno));
    } else if (revents & POLLIN) {
        do_read();
    }
}

void StrmProtocol::do_read() {
    Packet packet;
    try {
        const PacketReserve reserve(reserve_);
        packet.reserve_head(0);
    } catch (const std::bad_alloc&) {
        // The bytes wait in the socket; reading resumes after a pause rather than
        // spinning the loop on a readable socket.
        if (auto line = shortage_.Refused(std::cerr))
            line << ext::header(this) << "no packet buffer: reading paused";
        event_.SetEvents(0);
        pause_.set(kNoBufferPause, &StrmProtocol::OnNoBufferPause, this);
        return;
    }
    shortage_.Served();
    event_.measure().begin();
    const ssize_t n =
        ::recv(fd_.lowlevel_fd(), packet.tail(), packet.tailroom(), MSG_DONTWAIT | MSG_NOSIGNAL);
    const int error = errno;
    event_.measure().end();
    if (n < 0) {
        if (error != EAGAIN) on_error("read error: " + ErrnoText(error));
        return;
    }
    if (n == 0) {
        on_error("read error: " + ErrnoText(error));
        return;
    }
    if (debug_) {
        std::clog << ext::header(this) << "receive success";
        put_figures(std::clog);
        std::clog << std::endl;
    }
    packet.put(static_cast<unsigned>(n));
    // Answers to the frames of one read leave together: from the second write on
    // the socket is corked until the read is handled.
    receiving_ = true;
    writes_in_receive_ = 0;
    on_message(packet);
    receiving_ = false;
    if (corked_) set_cork(false);
}

void StrmProtocol::OnNoBufferPause() {
    if (fd_.is_valid()) event_.SetEvents(POLLIN);
}

void StrmProtocol::set_cork(bool on) {
    corked_ = on;
    if (!fd_.is_valid()) return;
    int value = on ? 1 : 0;
    if (::setsockopt(fd_.lowlevel_fd(), IPPROTO_TCP, TCP_CORK, &value, sizeof(value)) != 0) {
        corked_ = false;
        cork_supported_ = false;  // not TCP: a Unix-domain stream, say
    }
}

void StrmProtocol::on_error(const std::string& text) {
    release();
    on_deactivate(new Protocol_status_error(this, text));
}

void StrmProtocol::message(Packet& p) {
    if (receiving_ && ++writes_in_receive_ == 2 && cork_supported_) set_cork(true);
    write_measure_.begin();
    // A monotonic clock: a wall clock stepped back would stretch the bound by the step.
    const auto start = std::chrono::steady_clock::now();
    const unsigned char* data = p.null() ? nullptr : p.data();
    unsigned left = p.length();
    while (left > 0) {
        const ssize_t n = ::write(fd_.lowlevel_fd(), data, left);
        if (n >= 0) {
            data += n;
            left -= static_cast<unsigned>(n);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno != EAGAIN) {
            const Errno error;
            write_measure_.end();
            std::cerr << ext::header(this) << "write error";
            put_figures(std::cerr);
            std::cerr << ", error=" << error << std::endl;
            ++overflow_counter_;
            on_error("write error: " + ErrnoText(error.value()));
            return;
        }
        // The whole packet shares one deadline, however many waits it takes.
        bool writable = false;
        for (;;) {
            const auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            const int32_t remaining = kWriteTimeout - static_cast<int32_t>(spent.count());
            if (remaining <= 0) break;
            multiplexer.resetWD();
            pollfd entry{fd_.lowlevel_fd(), POLLOUT, 0};
            const int rc = ::poll(&entry, 1, remaining);
            const int poll_errno = errno;
            multiplexer.resetWD();
            if (rc == 1) {
                writable = true;
                break;
            }
            if (rc < 0 && poll_errno == EINTR) continue;
            break;
        }
        if (!writable) {
            write_measure_.end();
            std::cerr << ext::header(this) << "write timeout";
            put_figures(std::cerr);
            std::cerr << std::endl;
            ++overflow_counter_;
            on_error("write timeout");
            return;
        }
    }
    if (debug_) {
        std::clog << ext::header(this) << "write success";
        put_figures(std::clog);
        std::clog << std::endl;
    }
    write_measure_.end();
}

int32_t StrmProtocol::sendbuf_space() const {
    int value = 0;
    socklen_t len = sizeof(value);
    ::getsockopt(fd_.lowlevel_fd(), SOL_SOCKET, SO_SNDBUF, &value, &len);
    return value;
}

int32_t StrmProtocol::recvbuf_space() const {
    int value = 0;
    socklen_t len = sizeof(value);
    ::getsockopt(fd_.lowlevel_fd(), SOL_SOCKET, SO_RCVBUF, &value, &len);
    return value;
}

int32_t StrmProtocol::inq_space() const {
    int value = 0;
    ::ioctl(fd_.lowlevel_fd(), SIOCINQ, &value);
    return value;
}

int32_t StrmProtocol::outq_space() const {
    int value = 0;
    ::ioctl(fd_.lowlevel_fd(), SIOCOUTQ, &value);
    return value;
}

int32_t StrmProtocol::free_space() const {
    if (queue_reports_free_) return outq_space();
    return sendbuf_space() - outq_space();
}

void StrmProtocol::PutHeader(std::ostream& os) const {
    os << "SockStream[" << service_name_ << "]: ";
}

void StrmProtocol::put_figures(std::ostream& os) const {
    os << ", sendbuf=" << sendbuf_space() << ", recvbuf=" << recvbuf_space() << ", free=" << free_space()
       << ", inq=" << inq_space() << ", outq=" << outq_space();
}
