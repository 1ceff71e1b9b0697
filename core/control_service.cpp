#include "core/control_service.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <cstring>
#include <iostream>
#include <new>

#include "core/profile.h"
#include "core/strm_protocol.h"
#include "core/tpkt_protocol.h"

namespace Control {

const char* GetTextNotation(State::Type state) {
    switch (state) {
        case State::Idle:
            return "Idle";
        case State::Connecting:
            return "Connecting";
        case State::Deactivating:
            return "Deactivating";
        case State::Connected:
            return "Connected";
    }
    return "Unknown";
}

std::ostream& operator<<(std::ostream& os, State::Type state) {
    return os << GetTextNotation(state);
}

void Write(const LinkLine& line) {
    line.os << line.text << std::endl;
}

Service::Service() : stream_(new StrmProtocol), tpkt_(new Tpkt_protocol) {
    add_protocol_tail(stream_);
    add_protocol_tail(tpkt_);
    tpkt_->framing_log(this);
    deactivation_.Bind(this, &Service::OnDeactivateDPC);
}

Service::~Service() = default;

const std::string& Service::service_name() const {
    return stream_->service_name();
}

void Service::service_name(const std::string& name) {
    stream_->service_name(name);
}

bool Service::Activate() {
    Deactivate();
    state_ = State::Connecting;
    const bool ok = ImplActivate();
    if (!ok) state_ = State::Idle;
    return ok;
}

void Service::Deactivate() {
    ImplDeactivate();
    // A loss whose notice is still pending ends here too: a stopped service neither
    // reports it nor comes back to Connecting (a connector would reconnect).
    deactivation_.Deactivate();
    state_ = State::Idle;
}

void Service::Disconnect() {
    // Only a connection can be lost: otherwise there is nothing to report, nor to reconnect.
    if (state_ != State::Connected) return;
    deactivate();
}

void Service::Send(const char* data, int length) {
    if (state_ == State::Deactivating) return;
    if (state_ != State::Connected) {
        if (!trace_) return;
        // A service without a peer may be sent to on every tick for days: each state's
        // drops are one lasting condition, which the next connection ends.
        if (auto line = unsent_[state_].Occurred(std::cerr))
            line << "Control::Service::Send() ignore Send request in " << state_ << " state.";
        return;
    }
    if (length < 0 || length > kMaxMessage) {
        std::cerr << "Control::Service::Send() message of " << length
                  << " bytes not sent: a frame holds at most " << kMaxMessage << "." << std::endl;
        return;
    }
    static Profile::Point point1("Control::Service::Send [1]");
    static Profile::Point point2("Control::Service::Send [2]");
    point1.begin();
    Packet packet;
    try {
        const PacketReserve reserve(reserve_);
        prepare_head(packet);
    } catch (const std::bad_alloc&) {
        point1.end();
        if (auto line = shortage_.Refused(std::cerr))
            line << "Control::Service::Send() no packet buffer: message of " << length << " bytes not sent.";
        return;
    }
    shortage_.Served();
    if (length > 0) std::memcpy(packet.put(static_cast<unsigned>(length)), data, static_cast<size_t>(length));
    point1.end();
    point2.begin();
    top()->message(packet);
    point2.end();
}

void Service::UseReserve() {
    reserve_ = true;
    stream_->draw_on_reserve(true);
    tpkt_->draw_on_reserve(true);
}

void Service::Release() {
    stream_->release();
}

uint32_t Service::GetOverflowCounter() const {
    return stream_->GetOverflowCounter();
}

const Measure& Service::get_read_measure() const {
    return stream_->get_read_measure();
}

const Measure& Service::get_write_measure() const {
    return stream_->get_write_measure();
}

bool Service::Attach(Fd fd, const std::string& name) {
    if (state_ == State::Deactivating) return false;
    name_ = name;
    state_ = State::Connected;
    for (LastingCondition& unsent : unsent_) unsent.End();
    stream_->attach(fd);
    activate();
    if (notify_ != nullptr) notify_->OnConnect();
    return true;
}

void Service::Report(LinkLine::Type type, std::ostream& os, const std::string& text, const char* kind) {
    const LinkLine line{type, kind, text, os};
    if (notify_ != nullptr)
        notify_->ILinkLine(line);
    else
        Write(line);
}

void Service::ITpktFraming(const char* kind, const std::string& line) {
    Report(LinkLine::Framing, std::clog, line, kind);
}

void Service::on_message(Packet& p) {
    if (state_ == State::Deactivating || notify_ == nullptr) return;
    const Packet& body = p;
    const char* data = body.null() ? "" : reinterpret_cast<const char*>(body.data());
    notify_->OnMessage(data, static_cast<int>(body.length()));
}

void Service::on_deactivated(::Protocol*, Protocol_status) {
    if (trace_) Report(LinkLine::Closed, std::cerr, "control connection " + name_ + " closed.");
    state_ = State::Deactivating;
    deactivation_.Activate();
}

void Service::OnDeactivateDPC() {
    deactivation_.Deactivate();
    state_ = State::Connecting;
    ImplOnDisconnect();
    if (notify_ != nullptr) notify_->OnDisconnect();
}

void ServiceNet::Connected(Fd fd, const INet4::Addr& addr) {
    if (GetState() == State::Deactivating) return;
    const int on = 1;
    if (::setsockopt(fd.lowlevel_fd(), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof(on)) != 0 && trace())
        std::cerr << "fail set keepalive to control socket." << std::endl;
    if (::setsockopt(fd.lowlevel_fd(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on)) != 0 && trace())
        std::cerr << "fail to turn off Nagle algorithm." << std::endl;
    addr_ = addr;
    Attach(fd, addr.GetString());
}

}  // namespace Control
