// Helpers for the message-connection tests: log capture, a recording owner, TPKT
// frames, loopback clients and a loop runner that stops on a condition.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>
#include <utility>
#include <vector>

#include "core/clock.h"
#include "core/control_service.h"
#include "core/dpc.h"
#include "core/multiplexer.h"
#include "core/timer.h"

namespace testing_core {

// Takes over a standard stream and keeps its lines, each with the loop time at which
// it was ended.
class LineCapture : public std::streambuf {
public:
    explicit LineCapture(std::ostream& os) : os_(os), old_(os.rdbuf(this)) {}
    ~LineCapture() override { os_.rdbuf(old_); }
    LineCapture(const LineCapture&) = delete;
    LineCapture& operator=(const LineCapture&) = delete;

    struct Line {
        uint32_t ms;
        std::string text;
    };
    const std::vector<Line>& lines() const { return lines_; }
    std::vector<std::string> texts() const {
        std::vector<std::string> out;
        for (const Line& l : lines_) out.push_back(l.text);
        return out;
    }
    // Without the loop's own "Mux: terminating..." lines.
    std::vector<std::string> own_texts() const {
        std::vector<std::string> out = texts();
        std::erase(out, "Mux: terminating...");
        return out;
    }
    size_t count(const std::string& text) const {
        size_t n = 0;
        for (const Line& l : lines_) n += l.text == text;
        return n;
    }
    size_t count_prefix(const std::string& prefix) const {
        size_t n = 0;
        for (const Line& l : lines_) n += l.text.compare(0, prefix.size(), prefix) == 0;
        return n;
    }
    // The first line that starts with prefix, empty when none does.
    std::string first_with(const std::string& prefix) const {
        for (const Line& l : lines_)
            if (l.text.compare(0, prefix.size(), prefix) == 0) return l.text;
        return std::string();
    }
    std::optional<uint32_t> time_of(const std::string& text, size_t nth = 0) const {
        for (const Line& l : lines_)
            if (l.text == text && nth-- == 0) return l.ms;
        return std::nullopt;
    }
    void clear() { lines_.clear(); }

protected:
    int overflow(int c) override {
        if (c == '\n') {
            lines_.push_back({Mux::milliseconds(), current_});
            current_.clear();
        } else if (c != traits_type::eof()) {
            current_ += static_cast<char>(c);
        }
        return c;
    }

private:
    std::ostream& os_;
    std::streambuf* old_;
    std::string current_;
    std::vector<Line> lines_;
};

struct RecordingNotify : Control::Notify {
    void OnConnect() override { ++connects; }
    void OnDisconnect() override {
        ++disconnects;
        if (on_disconnect) on_disconnect();
    }
    void OnMessage(const char* data, int length) override {
        bodies.emplace_back(data, static_cast<size_t>(length));
        if (on_message) on_message(data, length);
    }
    int connects = 0;
    int disconnects = 0;
    std::vector<std::string> bodies;
    std::function<void(const char*, int)> on_message;
    std::function<void()> on_disconnect;
};

inline std::string Frame(const std::string& body) {
    const unsigned length = static_cast<unsigned>(body.size()) + 4;
    std::string f;
    f += '\x03';
    f += '\x00';
    f += static_cast<char>(length >> 8);
    f += static_cast<char>(length & 0xFF);
    return f + body;
}

inline std::string Bytes(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b);
    return s;
}

// 127.0.0.1 and the port; port 0 lets bind choose a free one.
inline sockaddr_in LoopbackAddress(uint16_t port = 0) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(port);
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return sa;
}

// Binds a TCP socket to a free loopback port; the result of bind.
inline int BindLoopback(int fd) {
    const sockaddr_in sa = LoopbackAddress();
    return ::bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa));
}

// The local port a TCP socket is bound to.
inline uint16_t LocalPort(int fd) {
    sockaddr_in sa{};
    socklen_t len = sizeof(sa);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
    return ntohs(sa.sin_port);
}

// This process's own descriptor of the server end of a loopback TCP client's
// connection (any of its duplicates), -1 when none is open.
inline int ServerEndOf(int client_fd) {
    sockaddr_in client{};
    socklen_t len = sizeof(client);
    if (::getsockname(client_fd, reinterpret_cast<sockaddr*>(&client), &len) != 0) return -1;
    for (int fd = 0; fd < 1024; ++fd) {
        if (fd == client_fd) continue;
        sockaddr_in peer{};
        len = sizeof(peer);
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0 && peer.sin_family == AF_INET &&
            peer.sin_port == client.sin_port && peer.sin_addr.s_addr == client.sin_addr.s_addr)
            return fd;
    }
    return -1;
}

// Whether a TCP socket holds back partial segments (TCP_CORK), -1 when unknown.
inline int Corked(int fd) {
    int value = 0;
    socklen_t len = sizeof(value);
    if (::getsockopt(fd, IPPROTO_TCP, TCP_CORK, &value, &len) != 0) return -1;
    return value;
}

// Lowers the soft descriptor limit to the lowest free descriptor number, so that the
// next socket() fails with EMFILE; the limit is restored with the object.
class NoFreeDescriptor {
public:
    // The sanitizers' run-time checks open descriptors of their own (a pipe to probe
    // memory): they fail, and report bad objects, while none is free.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool kUsable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    static constexpr bool kUsable = false;
#else
    static constexpr bool kUsable = true;
#endif
#else
    static constexpr bool kUsable = true;
#endif

    NoFreeDescriptor() {
        EXPECT_EQ(0, ::getrlimit(RLIMIT_NOFILE, &saved_));
        const int lowest = ::dup(0);
        ::close(lowest);
        rlimit low = saved_;
        low.rlim_cur = static_cast<rlim_t>(lowest);
        EXPECT_EQ(0, ::setrlimit(RLIMIT_NOFILE, &low));
    }
    ~NoFreeDescriptor() {
        ::setrlimit(RLIMIT_NOFILE, &saved_);
    }
    NoFreeDescriptor(const NoFreeDescriptor&) = delete;
    NoFreeDescriptor& operator=(const NoFreeDescriptor&) = delete;

private:
    rlimit saved_{};
};

// A loopback TCP or Unix-domain client whose reads never block the loop.
class Client {
public:
    Client() = default;
    explicit Client(int fd) : fd_(fd) {}
    ~Client() { close(); }
    Client(Client&& o) noexcept : fd_(std::exchange(o.fd_, -1)), received_(std::move(o.received_)) {}

    static Client Tcp(uint16_t port) {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        const sockaddr_in sa = LoopbackAddress(port);
        EXPECT_EQ(0, ::connect(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof(sa))) << errno;
        return Client(fd);
    }

    void send(const std::string& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) continue;
            ASSERT_GT(n, 0) << "send failed, errno " << errno;
            done += static_cast<size_t>(n);
        }
    }
    // Reads what is waiting; true once the peer has closed.
    bool drain() {
        char buffer[65536];
        for (;;) {
            ssize_t n = ::recv(fd_, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n > 0) {
                received_.append(buffer, static_cast<size_t>(n));
                continue;
            }
            if (n == 0) eof_ = true;
            return eof_;
        }
    }
    bool eof() {
        drain();
        return eof_;
    }
    const std::string& received() {
        drain();
        return received_;
    }
    // Waits in real time, at most ms, until size bytes have arrived; what has arrived.
    const std::string& received_within(size_t size, int ms) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (received().size() < size && !eof_ && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        return received_;
    }
    void close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }
    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool eof_ = false;
    std::string received_;
};

// Runs the loop until the condition holds, checked on every pass by a deferred
// call, or until limit_ms of loop time have passed. True when the condition held.
class Runner {
public:
    bool until(std::function<bool()> condition, unsigned limit_ms = 5000) {
        condition_ = std::move(condition);
        timed_out_ = false;
        check_.Bind(this, &Runner::Check);
        check_.Activate();
        guard_.set(limit_ms, &Runner::OnGuard, this);
        multiplexer.run(false, true);
        check_.Deactivate();
        guard_.reset();
        return !timed_out_;
    }
    // Runs the loop for a span of loop time.
    void for_ms(unsigned ms) {
        until([] { return false; }, ms);
    }

private:
    void Check() {
        if (condition_()) multiplexer.terminate();
    }
    void OnGuard() {
        timed_out_ = true;
        multiplexer.terminate();
    }
    std::function<bool()> condition_;
    bool timed_out_ = false;
    Dpc check_;
    Timer guard_;
};

// A driven loop clock: a pass whose poll finds nothing ready within a few real
// milliseconds moves the clock on by the pass's whole time-out. Hours of loop time
// pass in seconds with a shorter real wait, where every socket event of the test
// is ready at once (loopback refusals).
class DrivenClock {
public:
    static constexpr uint64_t kStart = 5000000;
    explicit DrivenClock(int real_wait_ms = 20) {
        multiplexer.set_poll([this, real_wait_ms](pollfd* fds, nfds_t count, int timeout) {
            int ready = ::poll(fds, count, timeout == 0 ? 0 : real_wait_ms);
            if (ready == 0 && timeout > 0) clock_.advance_ms(static_cast<uint64_t>(timeout));
            return ready;
        });
    }
    ~DrivenClock() { multiplexer.set_poll({}); }
    DrivenClock(const DrivenClock&) = delete;
    DrivenClock& operator=(const DrivenClock&) = delete;
    Mux::ManualClock& clock() { return clock_; }

private:
    Mux::ManualClock clock_{kStart};
};

}  // namespace testing_core
