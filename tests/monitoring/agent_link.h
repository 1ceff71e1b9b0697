// A monitoring service on the fake control server with one agent link.
#pragma once

#include <memory>
#include <string>

#include "monitoring/monitoring_ctl.h"
#include "monitoring/snmp_agent_instance.h"
#include "tests/slots/fake_server.h"

namespace testing_monitoring {

// Binds ctl to a fresh fake server and gives it a lemzgw link to address; the link.
inline SnmpAgentInstance* AddAgentLink(MonitoringCtl& ctl, const std::string& address) {
    fake::server = fake::Server{};
    fake::server.Bind(ctl);
    auto instance = std::make_unique<SnmpAgentInstance>(SnmpAgentInstance::lemzgw, "lemzgw", address);
    SnmpAgentInstance* link = instance.get();
    instance->Bind(&ctl);
    ctl.agents().Add(std::move(instance));
    return link;
}

}  // namespace testing_monitoring
