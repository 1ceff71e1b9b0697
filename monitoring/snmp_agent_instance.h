// One link to an SNMP agent process: a TCP message connection that the connector
// keeps reconnecting, over which the daemon sends MON commands. A ping goes out when
// nothing else was sent for 5000 ms; a send that finds nothing received for more
// than 30000 ms closes the link instead.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "config/ini_reader.h"
#include "core/connector_net.h"
#include "core/control_service.h"
#include "core/lasting_condition.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "protocol/MON.h"

class ISnmpAgentNotify {
public:
    virtual ~ISnmpAgentNotify() = default;
    // An agent of this kind name connected and wants the whole monitoring state.
    virtual void OnSnmpAgentConnect(const std::string& name) = 0;
};

class SnmpAgentInstance : public Control::Notify {
public:
    // The agent kinds of the key "name"; they are bits of the item masks.
    enum MonitoringAddressType : int { lemzgw = 1, vaku = 2, lemzgw_mb = 4 };
    // The name table of the key "name".
    static const IniFile::Symbol<MonitoringAddressType> monitoringAddressTypes[];

    static constexpr unsigned kPingPeriod = 5000;       // ms
    static constexpr unsigned kReceiveTimeout = 30000;  // ms

    SnmpAgentInstance(MonitoringAddressType type, const std::string& name, const std::string& address);
    ~SnmpAgentInstance() override;
    SnmpAgentInstance(const SnmpAgentInstance&) = delete;
    SnmpAgentInstance& operator=(const SnmpAgentInstance&) = delete;

    void Bind(ISnmpAgentNotify* notify) { notify_ = notify; }
    bool Activate() { return link_->Activate(); }
    void Deactivate() { link_->Deactivate(); }

    void OnConnect() override;
    void OnDisconnect() override;
    void OnMessage(const char* data, int length) override;

    void Command(const MON::Command& command);
    void OnPingTimer(Timer*);

    // The agent whose connect notice is being delivered, null otherwise: what is sent
    // during the notice is that agent's replay of the monitoring state.
    static SnmpAgentInstance* connecting() { return connecting_; }

    MonitoringAddressType type() const { return type_; }
    const std::string& name() const { return name_; }
    bool IsConnected() const { return link_->IsConnected(); }
    const Control::Service& link() const { return *link_; }

private:
    MonitoringAddressType type_;
    std::string name_;
    std::string serviceName_;
    std::unique_ptr<Control::ConnectorNet> link_;
    ISnmpAgentNotify* notify_ = nullptr;
    Timer pingTimer_;
    std::uint32_t lastReceive_ = 0;
    LastingCondition silent_;  // links dropped for want of an answer
    RepeatedLine decodeErrorLine_;
    RepeatedLine unknownTypeLine_;
    static SnmpAgentInstance* connecting_;
};
