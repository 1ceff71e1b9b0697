#include "server/heartbeat_ctl.h"

#include <iostream>

HeartBeatCtl* HeartBeatCtl::instance() {
    static HeartBeatCtl heartbeat;
    return &heartbeat;
}

bool HeartBeatCtl::OnCommand(const LGCP::Command& command) {
    ResetTimeOut();
    if (!command.ping_isSelected()) return false;
    Success();
    return true;
}

void HeartBeatCtl::ResetTimeOut() {
    timer.set(kTimeout, &HeartBeatCtl::OnHeartbeatTimeout, this);
}

void HeartBeatCtl::OnHeartbeatTimeout(Timer*) {
    std::clog << "heartbeat timeout!!!" << std::endl;
    if (CheckServer()) GetServer()->OnHeartbeatTimeout();
}

void HeartBeatCtl::PutHeader(std::ostream& os) const {
    os << "heartbeat: ";
}
