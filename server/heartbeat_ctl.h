// Drops a controller that stops sending commands: the connect and every command arm a
// 120 s timer, and its expiry makes the control server close the connection. Answers ping.
#pragma once

#include <iosfwd>

#include "core/timer.h"
#include "protocol/ctrl_service.h"

class HeartBeatCtl : public CtrlSrv::Service {
public:
    static constexpr unsigned kTimeout = 120000;  // ms

    static HeartBeatCtl* instance();
    // The daemon uses instance(); tests bind their own to their own server.
    HeartBeatCtl() = default;

    // From the connect on: a client that never sends must not hold the only connection.
    void OnConnect() override { ResetTimeOut(); }
    void OnDisconnect() override { timer.reset(); }
    bool OnCommand(const LGCP::Command& command) override;

    void ResetTimeOut();
    void OnHeartbeatTimeout(Timer*);
    bool IsArmed() const { return timer.is_running(); }
    void PutHeader(std::ostream& os) const;

private:
    Timer timer;
};
