#include "hardware/sim/trunk_ports.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "core/errno_text.h"
#include "core/packet.h"
#include "core/repeated_line.h"

namespace Sim {

// One listening socket and the program connected to it, if any.
class TrunkPorts::Port final : public Trunks::FarEnd {
public:
    Port(Trunks& trunks, int ch, std::string path, const std::function<void(int, bool)>& hook)
        : trunks_(trunks), ch_(ch), path_(std::move(path)), hook_(hook) {
        listener_.Bind("TrunkPort::OnAccept", &Port::OnAccept, this);
        client_.Bind("TrunkPort::OnClient", &Port::OnClient, this);
    }
    ~Port() override {
        client_.Release();
        trunks_.Attach(ch_, nullptr);
        listener_.Release();
        // A forked copy of the process must not take the socket from its owner.
        if (owner_ == ::getpid()) ::unlink(path_.c_str());
    }

    bool Listen() {
        sockaddr_un sa{};
        sa.sun_family = AF_UNIX;
        if (path_.size() >= sizeof sa.sun_path) {
            std::cerr << "sim: trunk port " << path_ << ": path too long" << std::endl;
            return false;
        }
        std::memcpy(sa.sun_path, path_.c_str(), path_.size() + 1);
        Fd fd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
        ::unlink(path_.c_str());
        if (!fd || ::bind(fd.lowlevel_fd(), reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0 ||
            ::listen(fd.lowlevel_fd(), 4) != 0) {
            Errno error;
            std::cerr << "sim: trunk port " << path_ << ": " << error << std::endl;
            return false;
        }
        owner_ = ::getpid();
        listener_.Schedule(std::move(fd), POLLIN);
        trunks_.Attach(ch_, this);
        return true;
    }

    void OnFrame(const unsigned char* frame, std::size_t length) override {
        if (!client_.IsActive() ||
            ::send(client_.lowlevel_fd(), frame, length, MSG_DONTWAIT | MSG_NOSIGNAL) != static_cast<ssize_t>(length))
            ++lost_;
    }

    int ch() const { return ch_; }
    bool connected() const { return client_.IsActive(); }
    std::uint32_t lost() const { return lost_; }
    std::uint32_t empty() const { return empty_; }
    std::uint32_t tooLong() const { return tooLong_; }

private:
    void OnAccept(int fd, short revents) {
        if (!(revents & POLLIN)) return;
        int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) return;
        client_.Schedule(Fd(client), POLLIN);
        if (hook_) hook_(ch_, true);
    }

    void OnClient(int fd, short revents) {
        if (!(revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL))) return;
        static unsigned char frame[packet_max_size];
        // A program that never stops sending leaves the rest for the next pass.
        constexpr int kBudget = 64;
        for (int budget = kBudget; budget > 0 && client_.IsActive(); --budget) {
            // MSG_TRUNC: the datagram's own length, also when it does not fit.
            ssize_t n = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT | MSG_TRUNC);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // A socket in error with nothing to read would be reported on every pass: it rests.
                if (budget == kBudget) client_.NothingRead(revents, "sim: trunk port ", path_, " ");
                return;
            }
            if (n < 0 || (n == 0 && HungUp(fd))) {
                client_.Release();
                if (hook_) hook_(ch_, false);
                return;
            }
            client_.DataRead();
            if (n == 0) {
                ++empty_;  // flags without a frame between them
                continue;
            }
            if (static_cast<std::size_t>(n) > sizeof frame) {
                ++tooLong_;
                if (auto line = tooLongLine_.Admit(std::cerr))
                    line << "sim: trunk port " << path_ << ": datagram of " << n << " octets longer than "
                         << sizeof frame << ", dropped";
                continue;
            }
            trunks_.Arrive(ch_, frame, static_cast<std::size_t>(n));
        }
    }

    // A zero-length read is either an empty datagram or the end: only a peer
    // that has shut down, with nothing but empties left, has gone.
    static bool HungUp(int fd) {
        pollfd p{fd, POLLRDHUP, 0};
        if (::poll(&p, 1, 0) != 1 || !(p.revents & (POLLRDHUP | POLLHUP))) return false;
        unsigned char byte;
        return ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK) <= 0;
    }

    Trunks& trunks_;
    const int ch_;
    const std::string path_;
    const std::function<void(int, bool)>& hook_;
    pid_t owner_ = -1;
    Event listener_;
    Event client_;
    std::uint32_t lost_ = 0;
    std::uint32_t empty_ = 0;
    std::uint32_t tooLong_ = 0;
    RepeatedLine tooLongLine_;
};

TrunkPorts::TrunkPorts(Trunks& trunks) : trunks_(trunks) {}

TrunkPorts::~TrunkPorts() = default;

std::string TrunkPorts::Name(int ch) {
    Tdm::LinePlace place = Tdm::PlaceOf(ch);
    switch (place.kind) {
        case Tdm::LinePlace::e1:
            return "e1-" + std::to_string(place.line) + "-" + std::to_string(place.channel);
        case Tdm::LinePlace::bri: {
            static const char* const names[] = {"b1", "b2", "d"};
            return "bri-" + std::to_string(place.line) + "-" + names[place.channel];
        }
        case Tdm::LinePlace::none:
            break;
    }
    return {};
}

int TrunkPorts::Parse(const std::string& name) {
    // Every line channel has one name: compare with the table rather than parse.
    for (int trunk = 0; trunk < Tdm::kE1Trunks; ++trunk)
        for (int ts = 0; ts < Tdm::kE1TimeSlots; ++ts)
            if (Name(Tdm::TrunkTimeSlot(trunk, ts)) == name) return Tdm::TrunkTimeSlot(trunk, ts);
    for (int line = 0; line < Tdm::kBriLines; ++line)
        for (int c = 0; c < Tdm::kBriChannels; ++c)
            if (Name(Tdm::BriLineChannel(line, c)) == name) return Tdm::BriLineChannel(line, c);
    return -1;
}

bool TrunkPorts::Open(const std::string& dir, int ch) {
    std::string name = Name(ch);
    if (name.empty() || Find(ch) != nullptr) return false;
    auto port = std::make_unique<Port>(trunks_, ch, dir + "/" + name, hook_);
    if (!port->Listen()) return false;
    ports_.push_back(std::move(port));
    return true;
}

TrunkPorts::Port* TrunkPorts::Find(int ch) const {
    for (auto& port : ports_)
        if (port->ch() == ch) return port.get();
    return nullptr;
}

bool TrunkPorts::connected(int ch) const {
    Port* port = Find(ch);
    return port != nullptr && port->connected();
}

std::uint32_t TrunkPorts::lost(int ch) const {
    Port* port = Find(ch);
    return port == nullptr ? 0 : port->lost();
}

std::uint32_t TrunkPorts::empty(int ch) const {
    Port* port = Find(ch);
    return port == nullptr ? 0 : port->empty();
}

std::uint32_t TrunkPorts::tooLong(int ch) const {
    Port* port = Find(ch);
    return port == nullptr ? 0 : port->tooLong();
}

}  // namespace Sim
