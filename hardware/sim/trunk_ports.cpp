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

namespace Sim {

// One listening socket and the program connected to it, if any.
class TrunkPorts::Port final : public Trunks::FarEnd {
public:
    Port(Trunks& trunks, int ch, std::string path) : trunks_(trunks), ch_(ch), path_(std::move(path)) {
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

private:
    void OnAccept(int fd, short revents) {
        if (!(revents & POLLIN)) return;
        int client = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) return;
        client_.Schedule(Fd(client), POLLIN);
    }

    void OnClient(int fd, short revents) {
        if (!(revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL))) return;
        static unsigned char frame[packet_max_size];
        // A program that never stops sending leaves the rest for the next pass.
        for (int budget = 64; budget > 0 && client_.IsActive(); --budget) {
            ssize_t n = ::recv(fd, frame, sizeof frame, MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
            if (n <= 0) {
                client_.Release();
                return;
            }
            trunks_.Arrive(ch_, frame, static_cast<std::size_t>(n));
        }
    }

    Trunks& trunks_;
    const int ch_;
    const std::string path_;
    pid_t owner_ = -1;
    Event listener_;
    Event client_;
    std::uint32_t lost_ = 0;
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
    auto port = std::make_unique<Port>(trunks_, ch, dir + "/" + name);
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

}  // namespace Sim
