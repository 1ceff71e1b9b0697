#include "monitoring/snmp_agent_instance.h"

#include <iostream>
#include <iterator>
#include <vector>

#include "asn1/coder_env.h"
#include "core/clock.h"

const IniFile::Symbol<SnmpAgentInstance::MonitoringAddressType> SnmpAgentInstance::monitoringAddressTypes[] =
    {{"lemzgw", lemzgw}, {"lemzgw.mb", lemzgw_mb}, {"vaku", vaku}, {nullptr, lemzgw}};

SnmpAgentInstance* SnmpAgentInstance::connecting_ = nullptr;

SnmpAgentInstance::SnmpAgentInstance(MonitoringAddressType type, const std::string& name,
                                     const std::string& address)
    : type_(type), name_(name), link_(std::make_unique<Control::ConnectorNet>(address)) {
    serviceName_ = "snmpagent." + name + " " + address;
    link_->service_name(serviceName_);
    link_->Bind(this);
}

SnmpAgentInstance::~SnmpAgentInstance() {
    link_->UnBind();
    Deactivate();
}

void SnmpAgentInstance::Deactivate() {
    // A session cut short by the stop is one more that ended, with what it held.
    if (inSession_ && !working_ && Held()) sessionsEnded_.Counted(std::cerr);
    inSession_ = false;
    heldConnect_.clear();
    link_->Deactivate();
}

void SnmpAgentInstance::OnConnect() {
    answered_ = false;
    working_ = false;
    timeoutWritten_ = false;
    lastReceive_ = Mux::milliseconds();
    pingTimer_.set(kPingPeriod, &SnmpAgentInstance::OnPingTimer, this);
    if (notify_ == nullptr) return;
    SnmpAgentInstance* outer = connecting_;
    connecting_ = this;
    notify_->OnSnmpAgentConnect(name_);
    connecting_ = outer;
}

void SnmpAgentInstance::OnDisconnect() {
    pingTimer_.reset();
}

void SnmpAgentInstance::ILinkLine(const Control::LinkLine& line) {
    using Control::LinkLine;
    switch (line.type) {
        case LinkLine::Connected:
            inSession_ = true;
            heldConnect_.clear();
            if (!Held()) {
                Control::Write(line);
                connectLineAt_ = sessionsEnded_.lines();
                return;
            }
            heldConnect_ = line.text;
            heldConnectOs_ = &line.os;
            return;
        case LinkLine::Closed:
            SessionEnded(line);
            return;
        case LinkLine::Framing:
            BadFrame(line.kind, line.os, line.text);
            return;
    }
}

void SnmpAgentInstance::SessionEnded(const Control::LinkLine& closed) {
    const bool news = sessionsEnded_.quiet();
    if (auto line = sessionsEnded_.Occurred(closed.os)) line << closed.text;
    if (news && timeoutWritten_) sessionsEnded_.DetailWritten();
    inSession_ = false;
    heldConnect_.clear();
}

void SnmpAgentInstance::WriteHeldConnect() {
    if (heldConnect_.empty()) return;
    *heldConnectOs_ << heldConnect_ << std::endl;
    heldConnect_.clear();
    connectLineAt_ = sessionsEnded_.lines();
}

void SnmpAgentInstance::OnAnswer() {
    badFrames_.EndAll();
    const std::uint32_t now = Mux::milliseconds();
    if (!answered_) {
        answered_ = true;
        firstAnswer_ = now;
        return;
    }
    if (working_ || now - firstAnswer_ < kReceiveTimeout) return;
    working_ = true;
    // A restart reads as one: the session that works follows the line of those that failed.
    if (LastSaidFailed()) WriteHeldConnect();
    sessionsEnded_.End();
}

void SnmpAgentInstance::BadFrame(const char* kind, std::ostream& os, const std::string& text) {
    LastingCondition& condition = badFrames_[kind];
    if (auto line = Held() ? condition.Counted(os) : condition.Occurred(os)) line << text;
}

void SnmpAgentInstance::OnMessage(const char* data, int length) {
    // Any frame is a sign of life; only answers show that the agent works.
    lastReceive_ = Mux::milliseconds();
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    MON::Message message;
    if (!ASN1::decode(data, data + length, &env, message, true)) {
        BadFrame("decode error", std::cerr, serviceName_ + ": receive : decode error!");
        return;
    }
    const MON::PDU& pdu = message.get_pdu();
    if (pdu.response_isSelected() || pdu.signal_isSelected()) {
        OnAnswer();
        return;
    }
    BadFrame("unknown message type", std::cerr, serviceName_ + ": receive unknown message type");
}

void SnmpAgentInstance::Command(const MON::Command& command) {
    if (!link_->IsConnected()) return;
    if (static_cast<std::int32_t>(Mux::milliseconds() - lastReceive_) >
        static_cast<std::int32_t>(kReceiveTimeout)) {
        if (!Held()) {
            std::clog << serviceName_ << ": ping timeout !!!" << std::endl;
            timeoutWritten_ = true;
        }
        pingTimer_.reset();
        link_->Disconnect();
        return;
    }
    MON::Message message;
    message.set_pdu().select_command(command);
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::vector<char> buffer;
    buffer.reserve(200);
    if (!ASN1::encode(message, env, std::back_inserter(buffer))) {
        std::clog << serviceName_ << ": encode MON message fail!!!" << std::endl;
        return;
    }
    link_->Send(buffer.data(), static_cast<int>(buffer.size()));
    pingTimer_.set(kPingPeriod, &SnmpAgentInstance::OnPingTimer, this);
}

void SnmpAgentInstance::OnPingTimer(Timer*) {
    Command(MON::Command(MON::Command::ping::id, ASN1::Null()));
}
