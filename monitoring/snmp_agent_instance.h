// One link to an SNMP agent process: a TCP message connection that the connector
// keeps reconnecting, over which the daemon sends MON commands. A ping goes out when
// nothing else was sent for 5000 ms; a send that finds nothing received for more
// than 30000 ms closes the link instead.
//
// An agent that takes connections but does not keep working (a port forwarder with
// nothing behind it, a hung process, one that dies on what it is sent) is retried for
// days, so every session that ends is an occurrence of one lasting condition, carried
// by its "closed" line; a session that keeps working (it answers again 30 s after its
// first answer) ends it. Only a session that starts after an hour without the
// condition is written as it goes, its ping time-out beside the closed line that
// starts the condition; the others' connected, ping time-out and framing lines are
// counted with it. A session that keeps working after a line that said the sessions
// failed (the closed line or a reminder of it) writes its held "connected" line then,
// so that a restart reads as one; one that never keeps working writes none. Frames
// that are no answer (undecodable, of an unknown type) and bytes that break the
// framing are one lasting condition per kind, which an answer ends.
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
    void Deactivate();

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
    // A response or a signal.
    void OnAnswer();
    // A frame that is no answer, or bytes that are no frame: a lasting condition of its kind.
    void BadFrame(const char* kind, std::ostream& os, const std::string& text);
    // The session's lines are counted with the condition, not written.
    bool Held() const { return !sessionsEnded_.quiet(); }
    void SessionEnded(const Control::LinkLine& closed);
    // The last line about the sessions says they failed: the closed line, or a
    // reminder of it, written since the last "connected" line.
    bool LastSaidFailed() const {
        return sessionsEnded_.last_line_on() && sessionsEnded_.lines() != connectLineAt_;
    }
    void WriteHeldConnect();

    MonitoringAddressType type_;
    std::string name_;
    std::string serviceName_;
    std::unique_ptr<Control::ConnectorNet> link_;
    ISnmpAgentNotify* notify_ = nullptr;
    Timer pingTimer_;
    std::uint32_t lastReceive_ = 0;
    LastingCondition sessionsEnded_;
    // The session in progress:
    bool inSession_ = false;
    bool answered_ = false;
    std::uint32_t firstAnswer_ = 0;  // ms
    bool working_ = false;           // it answered again kReceiveTimeout after that
    bool timeoutWritten_ = false;
    std::string heldConnect_;  // its "connected" line, when held
    std::ostream* heldConnectOs_ = nullptr;
    std::uint32_t connectLineAt_ = 0;  // sessionsEnded_.lines() when a "connected" line was written
    LastingConditions<> badFrames_;  // by kind
    static SnmpAgentInstance* connecting_;
};
