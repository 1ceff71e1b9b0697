// TCP listeners for message connections: one client served at a time, further
// clients accepted and closed at once. The checking variant watches the served
// client once a second and drops a connection whose TCP state has gone bad.
#pragma once

#include <cstdint>
#include <string>

#include "core/control_service.h"
#include "core/event.h"
#include "core/fd.h"
#include "core/timer.h"

namespace Control {

// The steps shared by the TCP and Unix-domain acceptors once the socket is bound:
// listen with a backlog of 1, non-blocking mode, and the listening event for POLLIN.
// False (after the log line, with trace) when listening cannot start.
bool StartListening(Fd& fd, Event& event, bool trace);

class AcceptorNet : public ServiceNet {
public:
    static constexpr unsigned kBindRetry = 5000;  // ms

    AcceptorNet() : AcceptorNet(0) {}
    explicit AcceptorNet(int port);
    AcceptorNet(int port, bool trace);

    // Listens on one local address instead of all of them (tests keep to loopback).
    void bind_address(const std::string& dotted_quad) { bind_address_ = dotted_quad; }
    // The port actually bound (the ephemeral one when constructed with 0), 0 when none.
    uint16_t local_port() const;

protected:
    bool ImplActivate() override;
    void ImplDeactivate() override;
    void ImplOnDisconnect() override {}
    virtual void ImplRefuseConnection() {}
    virtual void ImplConnected(Fd) {}

    void BindSocket();
    void OnTimeout(Timer*);
    void OnSocketEvent(int fd, short revents);

private:
    uint16_t port_;
    std::string bind_address_;
    Fd listen_fd_;
    Timer bind_timer_;
    Event listen_event_;
};

class AcceptorNetCheckConnection : public AcceptorNet {
public:
    static constexpr unsigned kCheckPeriod = 1000;  // ms
    static constexpr int kCaCountdown = 2;
    enum CheckState { CheckIdle = 0, CheckActive = 1 };  // "CheckConnectionState Idle" / "CheckConnection"

    AcceptorNetCheckConnection() = default;
    explicit AcceptorNetCheckConnection(int port) : AcceptorNet(port) {}
    AcceptorNetCheckConnection(int port, bool trace) : AcceptorNet(port, trace) {}

    int check_state() const { return check_state_; }
    bool check_descriptor_open() const { return check_fd_.is_valid(); }

protected:
    bool ImplActivate() override;
    void ImplDeactivate() override;
    void ImplRefuseConnection() override;
    void ImplConnected(Fd fd) override;
    // A dropped connection must really end: the check descriptor shares the socket.
    void on_deactivated(::Protocol* layer, Protocol_status status) override;

    void CheckConnection();
    void OnCheckConnectionTimeout(Timer*);
    void SetupKeepAlive(bool aggressive);

private:
    Timer check_timer_;
    Fd check_fd_;
    int check_state_ = CheckIdle;
    int ca_state_countdown_ = 0;
};

}  // namespace Control
