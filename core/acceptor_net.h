// Listeners for message connections: one client served at a time, further clients
// accepted and closed at once; the listener itself is shared with the Unix-domain
// acceptor. The checking TCP variant watches the served client once a second and
// drops a connection whose TCP state has gone bad.
#pragma once

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>
#include <iostream>
#include <string>
#include <utility>

#include "core/accept_pause.h"
#include "core/control_service.h"
#include "core/errno_text.h"
#include "core/event.h"
#include "core/fd.h"
#include "core/lasting_condition.h"
#include "core/timer.h"

namespace Control {

// The listener shared by the TCP and Unix-domain acceptors: it binds (retrying every
// kBindRetry ms while that fails), listens with a backlog of 1 and serves one client
// at a time; further clients are accepted and closed at once. ServiceBase is the
// family's connection (ServiceNet or ServiceUnix), whose Peer names a client; the
// family's acceptor makes, binds and accepts on its own kind of socket.
template <class ServiceBase>
class Acceptor : public ServiceBase {
public:
    using Peer = typename ServiceBase::Peer;
    static constexpr unsigned kBindRetry = 5000;  // ms

protected:
    explicit Acceptor(const char* event_name) : accept_pause_(listen_event_) {
        listen_event_.Bind(event_name, &Acceptor::OnSocketEvent, this);
    }

    bool ImplActivate() override;
    void ImplDeactivate() override;
    // The client that held the place is gone: the next attempt is served.
    void ImplOnDisconnect() override { refusals_.EndAll(); }
    virtual void ImplRefuseConnection() {}
    virtual void ImplConnected(Fd) {}
    // The refusal at hand was traced and started its host's condition after a quiet
    // hour: what it sets off is traced too. Later ones are stood for by its counts.
    bool refusal_news() const { return refusal_news_; }

    // The family's socket calls, each returning what the system call returned (errno
    // kept): a new socket with its options set, binding it to the acceptor's address
    // (0 when bound), and taking the next waiting client, named in `peer`.
    virtual int ISocket() = 0;
    virtual int IBind(int fd) = 0;
    virtual int IAccept(int fd, Peer& peer) = 0;

    void BindSocket();
    void OnTimeout(Timer*);
    void OnSocketEvent(int fd, short revents);

    Fd listen_fd_;

private:
    Timer bind_timer_;
    LastingConditions<> bind_failures_;
    // A second controller retries for as long as the first one stays: its refusals
    // are one lasting condition per host.
    LastingConditions<> refusals_;
    bool refusal_news_ = false;
    Event listen_event_;
    AcceptPause accept_pause_;
};

class AcceptorNet : public Acceptor<ServiceNet> {
public:
    AcceptorNet() : AcceptorNet(0) {}
    explicit AcceptorNet(int port);
    AcceptorNet(int port, bool trace);

    // Listens on one local address instead of all of them (tests keep to loopback).
    void bind_address(const std::string& dotted_quad) { bind_address_ = dotted_quad; }
    // The port actually bound (the ephemeral one when constructed with 0), 0 when none.
    uint16_t local_port() const;

protected:
    int ISocket() override;
    int IBind(int fd) override;
    int IAccept(int fd, INet4::Addr& peer) override;

private:
    uint16_t port_;
    std::string bind_address_;
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
    // This check's trace lines are written: a refused host's news started it.
    bool check_traced_ = false;
};

template <class ServiceBase>
bool Acceptor<ServiceBase>::ImplActivate() {
    // errno is read before the assignment: closing an empty Fd sets it to EBADF.
    Fd fd(ISocket());
    if (!fd.is_valid()) {
        if (this->trace()) std::cerr << "can't create socket:" << Errno() << std::endl;
        return false;
    }
    listen_fd_ = std::move(fd);
    BindSocket();
    return true;
}

template <class ServiceBase>
void Acceptor<ServiceBase>::BindSocket() {
    if (IBind(listen_fd_.lowlevel_fd()) != 0) {
        // A port that another program holds stays taken for as long as it runs.
        if (this->trace()) {
            const Errno error;
            const std::string text = "can't bind to socket: \"" + error.text() + "\"  waiting...";
            if (auto line = bind_failures_[text].Occurred(std::cerr)) line << text;
        }
        bind_timer_.set(kBindRetry, &Acceptor::OnTimeout, this);
        return;
    }
    bind_failures_.EndAll();
    if (::listen(listen_fd_.lowlevel_fd(), 1) != 0) {
        if (this->trace()) std::cerr << "can't listen socket: " << Errno() << std::endl;
        this->Deactivate();
        return;
    }
    if (!listen_fd_.NonBlock()) {
        if (this->trace()) std::cerr << "can't set socket to non block mode: " << Errno() << std::endl;
        this->Deactivate();
        return;
    }
    listen_event_.Schedule(listen_fd_, POLLIN);
}

template <class ServiceBase>
void Acceptor<ServiceBase>::OnTimeout(Timer*) {
    BindSocket();
}

template <class ServiceBase>
void Acceptor<ServiceBase>::ImplDeactivate() {
    bind_timer_.reset();
    // Stopped, not ended: the port may still be taken, the host still retrying.
    bind_failures_.CloseAll();
    refusals_.CloseAll();
    accept_pause_.Reset();
    listen_event_.Release();
    listen_fd_.close();
}

template <class ServiceBase>
void Acceptor<ServiceBase>::OnSocketEvent(int fd, short revents) {
    if (!accept_pause_.ClientsWaiting(revents, "listener [", this->service_name(), "] ")) return;
    for (;;) {
        Peer peer{};
        Fd client(IAccept(fd, peer));
        if (!client.is_valid()) {
            accept_pause_.OnAcceptError(errno, this->trace() ? &std::cerr : nullptr);
            return;  // no more waiting clients, or none that can be taken now
        }
        accept_pause_.OnAccepted();
        if (this->GetState() == State::Connected || this->GetState() == State::Deactivating) {
            // While the last connection is still being closed nothing may take its place.
            refusal_news_ = false;
            if (this->trace()) {
                LastingCondition& refused = refusals_[ServiceBase::HostOf(peer)];
                refusal_news_ = refused.quiet();
                if (auto line = refused.Occurred(std::cerr)) line << "refuse connection from " << peer;
            }
            if (this->GetState() == State::Connected) ImplRefuseConnection();
            continue;
        }
        refusals_.End(ServiceBase::HostOf(peer));
        if (!client.NonBlock()) {
            if (this->trace()) std::cerr << "can't set socket to non block mode: " << Errno() << std::endl;
            continue;
        }
        if (this->trace()) std::cout << "new connection from " << peer << std::endl;
        this->Connected(client, peer);
        ImplConnected(client);
        // Deactivate() from a notice stops the loop here.
        if (!listen_event_.IsActive()) return;
    }
}

}  // namespace Control
