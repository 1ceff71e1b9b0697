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
    link_->Deactivate();
}

void SnmpAgentInstance::OnConnect() {
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

void SnmpAgentInstance::OnMessage(const char* data, int length) {
    lastReceive_ = Mux::milliseconds();
    silent_.End();
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    MON::Message message;
    // An agent can send anything with every frame: its lines are written once a second.
    if (!ASN1::decode(data, data + length, &env, message, true)) {
        if (auto line = decodeErrorLine_.Admit(std::cerr))
            line << serviceName_ << ": receive : decode error!";
        return;
    }
    const MON::PDU& pdu = message.get_pdu();
    if (pdu.response_isSelected() || pdu.signal_isSelected()) return;
    if (auto line = unknownTypeLine_.Admit(std::cerr))
        line << serviceName_ << ": receive unknown message type";
}

void SnmpAgentInstance::Command(const MON::Command& command) {
    if (!link_->IsConnected()) return;
    if (static_cast<std::int32_t>(Mux::milliseconds() - lastReceive_) >
        static_cast<std::int32_t>(kReceiveTimeout)) {
        // An agent that takes every connection and never answers times out on each.
        if (auto line = silent_.Occurred(std::clog)) line << serviceName_ << ": ping timeout !!!";
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
