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

class StrmProtocol;
class Tpkt_protocol;
class Measure;

namespace Control {

// The owner's view of a connection. The callbacks must not destroy the service
// synchronously; OnDisconnect comes from a deferred call, where destroying it is safe.
class Notify {
public:
    virtual ~Notify() = default;
    virtual void OnConnect() = 0;
    virtual void OnDisconnect() = 0;
    // One complete TPKT body; the bytes are valid only during the call.
    virtual void OnMessage(const char* data, int length) = 0;
};

struct State {
    enum Type : int { Idle = 0, Connecting = 1, Deactivating = 2, Connected = 3 };
};

const char* GetTextNotation(State::Type state);
std::ostream& operator<<(std::ostream& os, State::Type state);

class Service : private ProtocolsFamily {
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
    void set_state(State::Type s) { state_ = s; }
    StrmProtocol* stream() const { return stream_; }

    void on_message(Packet& p) override;
    void on_activated(::Protocol*) override {}
    void on_deactivated(::Protocol* layer, Protocol_status status) override;

private:
    void OnDeactivateDPC();

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
    const INet4::Addr& peer() const { return addr_; }

private:
    INet4::Addr addr_;
};

}  // namespace Control
