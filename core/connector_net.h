// Outgoing message connections that keep reconnecting: seven quick retries after
// activation, then a long delay that depends on how the attempt failed; 10 s after an
// established connection is lost. The TCP one connects to a fixed IPv4 address and
// port; the reconnecting part is shared with the Unix-domain connector.
#pragma once

#include <cstdint>
#include <string>

#include "core/control_service.h"
#include "core/event.h"
#include "core/fd.h"
#include "core/lasting_condition.h"
#include "core/timer.h"

namespace Control {

// The connectors' retry schedule, shared by the TCP and Unix-domain ones.
class RetryRule {
public:
    static constexpr int kQuickRetries = 7;
    static constexpr unsigned kQuickDelay = 1000;  // ms
    static constexpr unsigned kReconnectDelay = 10000;
    static constexpr unsigned kConnectFailDelay = 20000;  // connect failed at once
    static constexpr unsigned kPollErrorDelay = 15000;    // POLLERR or POLLHUP on the attempt
    static constexpr unsigned kSocketErrorDelay = 12000;  // completed with a pending error

    // Only activation restores the quick retries.
    void restart() {
        quick_ = kQuickRetries;
        failures_ = 0;
    }
    // The delay before the next attempt after a failure whose own delay is long_delay.
    unsigned next_delay(unsigned long_delay) {
        ++failures_;
        if (quick_ > 0) {
            --quick_;
            return kQuickDelay;
        }
        return long_delay;
    }
    int quick_retries() const { return quick_; }
    // Failed attempts since activation; their lines are mostly held back.
    unsigned failures() const { return failures_; }

private:
    int quick_ = 0;
    unsigned failures_ = 0;
};

// The reconnecting part shared by the TCP and Unix-domain connectors: an attempt at
// activation, failures retried on the RetryRule schedule, a new attempt
// kReconnectDelay ms after an established connection is lost. ServiceBase is the
// family's connection (ServiceNet or ServiceUnix); the family's connector makes each
// attempt (TryConnect) and watches a pending one on the connect event.
template <class ServiceBase>
class Connector : public ServiceBase {
public:
    int quick_retries() const { return retry_.quick_retries(); }
    unsigned failed_attempts() const { return retry_.failures(); }
    bool retry_pending() const { return retry_timer_.is_running(); }

protected:
    bool ImplActivate() override {
        retry_.restart();
        TryConnect();
        return true;
    }
    void ImplDeactivate() override {
        this->Release();
        connect_fd_.close();
        retry_timer_.reset();
        connect_event_.Release();
        failures_.CloseAll();  // stopped, not ended: the peer may still be down
    }
    void ImplOnDisconnect() override {
        retry_timer_.set(RetryRule::kReconnectDelay, &Connector::OnTimeout, this);
    }

    virtual void TryConnect() = 0;
    // The next attempt after a failure whose own delay is long_delay.
    void Retry(unsigned long_delay) {
        retry_timer_.set(retry_.next_delay(long_delay), &Connector::OnTimeout, this);
    }
    void OnTimeout(Timer*) { TryConnect(); }
    // A failed attempt's line. A peer that stays down fails every attempt for as long
    // as it is down: each text (it names the address) is a lasting condition, which
    // a connection ends.
    void Failed(const std::string& text) {
        if (auto line = failures_[text].Occurred(std::cerr)) line << text;
    }
    // Before Connected, so that the count comes before the connection's own lines.
    void EndFailures() { failures_.EndAll(); }

    Fd connect_fd_;
    Event connect_event_;

private:
    Timer retry_timer_;
    RetryRule retry_;
    LastingConditions<> failures_;
};

class ConnectorNet : public Connector<ServiceNet> {
public:
    ConnectorNet();
    // "a.b.c.d:port", without name lookup.
    explicit ConnectorNet(const std::string& address);
    ConnectorNet(const std::string& host, uint16_t port);

protected:
    void TryConnect() override;
    void OnSocketEvent(int fd, short revents);

private:
    INet4::Addr address() const;

    uint16_t port_ = 0;
    std::string host_;
};

}  // namespace Control
