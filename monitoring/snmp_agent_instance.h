// One link to an SNMP agent process: a TCP message connection that the connector
// keeps reconnecting, over which the daemon sends MON commands. A ping goes out when
// nothing else was sent for 5000 ms; a send that finds nothing received for more
// than 30000 ms closes the link instead.
//
// An agent that takes connections but never answers (a port forwarder with nothing
// behind it, a hung process) is retried for days, so its sessions that end before
// their first answer are one lasting condition, counted in their "closed" line; while
// it lasts, a session's other lines are held back, and the first answer writes the
// count and then the held "connected" line. Frames that are no answer (undecodable,
// of an unknown type) are one lasting condition per kind, and so are bytes that break
// the framing while no session failed; an answer ends them.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "config/ini_reader.h"
#include "core/connector_net.h"
#include "core/control_service.h"
#include "core/lasting_condition.h"
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
    void ILinkLine(const Control::LinkLine& line) override;

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
    // A response or a signal: the agent works.
    void OnAnswer();
    // A frame that is no answer, written as a lasting condition of its kind.
    void BadFrame(const char* kind, std::ostream& os, const std::string& text);

    MonitoringAddressType type_;
    std::string name_;
    std::string serviceName_;
    std::unique_ptr<Control::ConnectorNet> link_;
    ISnmpAgentNotify* notify_ = nullptr;
    Timer pingTimer_;
    std::uint32_t lastReceive_ = 0;
    bool answered_ = false;        // in this session
    LastingCondition unanswered_;  // sessions closed before an answer
    std::string heldConnect_;      // the "connected" line of a session held back
    std::ostream* heldConnectOs_ = nullptr;
    LastingConditions<> badFrames_;  // by kind
    static SnmpAgentInstance* connecting_;
};
