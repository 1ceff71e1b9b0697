// One message connection: a stream-socket layer with the TPKT layer on top, over one
// connected socket, with a connection state, a peer name and the owner's Notify.
// Subclasses obtain the socket (acceptors and connectors, TCP and Unix domain).
#pragma once

#include <array>
#include <iosfwd>
#include <string>

#include "core/dpc.h"
#include "core/fd.h"
#include "core/inet4_addr.h"
#include "core/lasting_condition.h"
#include "core/packet_shortage.h"
#include "core/protocol.h"
#include "core/tpkt_protocol.h"

class StrmProtocol;
class Measure;

namespace Control {

// A line of the link's own that a peer can make it write with every connection or
// frame: the connection made, the connection closed, bytes that break TPKT framing.
struct LinkLine {
    enum Type { Connected, Closed, Framing };

    Type type;
    const char* kind;  // a framing line's text without its numbers ("bad TPKT packet start"), else ""
    std::string text;  // the whole line
    std::ostream& os;  // where the link writes it
};

// The line written where the link writes it.
void Write(const LinkLine& line);

// The owner's view of a connection. The callbacks must not destroy the service
// synchronously; OnDisconnect comes from a deferred call, where destroying it is safe.
class Notify {
public:
    virtual ~Notify() = default;
    virtual void OnConnect() = 0;
    virtual void OnDisconnect() = 0;
    // One complete TPKT body; the bytes are valid only during the call.
    virtual void OnMessage(const char* data, int length) = 0;
    // Each of the link's own lines, so that an owner can hold back what a peer
    // repeats; by default written as it comes.
    virtual void ILinkLine(const LinkLine& line) { Write(line); }
};

struct State {
    enum Type : int { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
};

const char* GetTextNotation(State::Type state);
std::ostream& operator<<(std::ostream& os, State::Type state);

class Service : private ProtocolsFamily, private TpktFramingLog {
public:
    static constexpr int kMaxMessage = 65531;

    Service();
    ~Service() override;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;

    void Bind(Notify* notify) { notify_ = notify; }
    void UnBind() { notify_ = nullptr; }

    const std::string& service_name() const;
    void service_name(const std::string& name);

    bool Activate();
    void Deactivate();
    void Disconnect();
    void Send(const char* data, int length);
    // Reads and sends take the pool's reserved blocks: the controller's link.
    void UseReserve();
    // Messages Send dropped for want of a packet buffer.
    uint32_t GetNoBufferCounter() const { return shortage_.refused(); }

    bool IsConnected() const { return state_ == State::Connected; }
    State::Type GetState() const { return state_; }
    const std::string& GetAddr() const { return name_; }
    bool trace() const { return trace_; }
    void set_trace(bool on) { trace_ = on; }

    void Release();
    uint32_t GetOverflowCounter() const;
    const Measure& get_read_measure() const;
    const Measure& get_write_measure() const;

protected:
    virtual bool ImplActivate() = 0;
    virtual void ImplDeactivate() = 0;
    virtual void ImplOnDisconnect() = 0;

    // Attaches a connected socket under the peer's name and starts the stack; a
    // socket handed in while Deactivating is closed with its argument.
    bool Attach(Fd fd, const std::string& name);
    // One of the link's own lines, through the owner's hook when there is an owner.
    void Report(LinkLine::Type type, std::ostream& os, const std::string& text, const char* kind = "");
    void set_state(State::Type s) { state_ = s; }
    StrmProtocol* stream() const { return stream_; }

    void on_message(Packet& p) override;
    void on_activated(::Protocol*) override {}
    void on_deactivated(::Protocol* layer, Protocol_status status) override;

private:
    void OnDeactivateDPC();
    void ITpktFraming(const char* kind, const std::string& line) override;

    std::string name_;
    bool trace_ = true;
    State::Type state_ = State::Idle;
    Notify* notify_ = nullptr;
    StrmProtocol* stream_;
    Tpkt_protocol* tpkt_;
    bool reserve_ = false;
    PacketShortage shortage_;
    // Sends dropped in Idle and in Connecting.
    std::array<LastingCondition, 2> unsent_;
    Dpc deactivation_;
};

class ServiceNet : public Service {
public:
    // What names a client.
    using Peer = INet4::Addr;

    // A freshly connected non-blocking socket and the peer's address.
    void Connected(Fd fd, const INet4::Addr& addr);
    // What a refusal is kept by: a client retries from ports of its own.
    static std::string HostOf(const Peer& peer) { return peer.GetStrAddr(); }
    const INet4::Addr& peer() const { return addr_; }

private:
    INet4::Addr addr_;
};

}  // namespace Control
