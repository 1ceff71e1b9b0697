// An outgoing TCP message connection to a fixed IPv4 address and port that keeps
// reconnecting: seven quick retries after activation, then a long delay that
// depends on how the attempt failed; 10 s after an established connection is lost.
#pragma once

#include <cstdint>
#include <string>

#include "core/control_service.h"
#include "core/event.h"
#include "core/fd.h"
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
    void restart() { quick_ = kQuickRetries; }
    // The delay before the next attempt after a failure whose own delay is long_delay.
    unsigned next_delay(unsigned long_delay) {
        if (quick_ > 0) {
            --quick_;
            return kQuickDelay;
        }
        return long_delay;
    }
    int quick_retries() const { return quick_; }

private:
    int quick_ = 0;
};

class ConnectorNet : public ServiceNet {
public:
    ConnectorNet();
    // "a.b.c.d:port", without name lookup.
    explicit ConnectorNet(const std::string& address);
    ConnectorNet(const std::string& host, uint16_t port);

    int quick_retries() const { return retry_.quick_retries(); }
    bool retry_pending() const { return retry_timer_.is_running(); }

protected:
    bool ImplActivate() override;
    void ImplDeactivate() override;
    void ImplOnDisconnect() override;

    void TryConnect();
    void OnTimeout(Timer*);
    void OnSocketEvent(int fd, short revents);

private:
    void Retry(unsigned long_delay);
    INet4::Addr address() const;

    uint16_t port_ = 0;
    std::string host_;
    Fd connect_fd_;
    Timer retry_timer_;
    Event connect_event_;
    RetryRule retry_;
};

}  // namespace Control
