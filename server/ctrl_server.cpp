#include "server/ctrl_server.h"

#include <cstddef>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "asn1/coder_env.h"
#include "core/output.h"
#include "protocol/ctrl_service.h"

CtrlSrv::Server ctrlServer;

namespace CtrlSrv {

namespace {
constexpr unsigned kLoggedOctets = 64;
constexpr std::size_t kLoggedNotation = 1000;  // characters of an unencodable value
}  // namespace

Server::~Server() {
    // At exit the services may already be gone: release the connection without
    // telling them (main has normally done this already through Deactivate).
    if (link != nullptr) {
        link->UnBind();
        link->Deactivate();
        delete link;
        link = nullptr;
    }
    avgStatTimer.reset();
    services.clear();
}

void Server::Bind(Service* service) {
    services.push_back(service);
    Attach(*service, this);
}

bool Server::Activate(Control::Service* connection) {
    Deactivate();
    link = connection;
    link->service_name("server");
    link->UseReserve();
    link->Bind(this);
    return link->Activate();
}

void Server::Deactivate() {
    if (link == nullptr) return;
    link->Deactivate();
    OnDisconnect();
    link->UnBind();
    delete link;
    link = nullptr;
}

void Server::OnConnect() {
    std::clog << ext::header(this) << "controller connect." << std::endl;
    for (Service* s : services) s->OnConnect();
    SetAvgStatTimer();
}

void Server::OnDisconnect() {
    for (Service* s : services) s->OnDisconnect();
    avgStatTimer.reset();
}

void Server::OnMessage(const char* data, int length) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    LGCP::Message message;
    if (length >= 0 && ASN1::decode(data, data + length, &env, message, true)) {
        OnMessage(message);
    } else {
        std::cerr << ext::header(this) << "receive fail: decode error!" << std::endl;
        // Enough octets to recognise the message; a whole body would flood the log.
        const unsigned size = length < 0 ? 0u : static_cast<unsigned>(length);
        std::cerr << " msg: " << ext::hex(data, size < kLoggedOctets ? size : kLoggedOctets);
        if (size > kLoggedOctets) std::cerr << "... (" << size << " octets)";
        std::cerr << std::endl;
        const ASN1::DecodeFailure& failure = env.get_decodeFailure();
        if (failure.failed()) {
            std::clog << ext::header(this) << "decode stopped at " << failure.path << ", octet "
                      << failure.offset << ": " << failure.reason << std::endl;
        }
    }
    slot = -1;
}

void Server::OnMessage(const LGCP::Message& message) {
    ackState = kNoAck;
    slot = -1;
    if (message.seq_isPresent()) {
        seq = message.get_seq().getValue();
        seqPresent = true;
    } else {
        seqPresent = false;
    }
    const LGCP::PDU& pdu = message.get_pdu();
    if (!pdu.command_isSelected()) {
        Error(LGCP::ErrorCause::unexpectedMsgType);
        return;
    }
    if (message.slot_isPresent()) {
        unsigned number = message.get_slot().getValue();
        if (number > static_cast<unsigned>(kMaxSlot)) {
            Error(LGCP::ErrorCause::invalidSlot);
            return;
        }
        slot = static_cast<int>(number);
    }
    const LGCP::Command& command = pdu.get_command();
    bool claimed = false;
    for (Service* s : services) {
        if (s->OnCommand(command)) {
            claimed = true;
            break;
        }
    }
    if (!claimed) {
        Error(LGCP::ErrorCause::unexpectedMsgType);
    } else if (ackState == kNoAck) {
        std::cerr << ext::header(this) << "software error: server do NOT send ack!!!" << std::endl;
        Error(LGCP::ErrorCause::internal);
    }
}

void Server::Answer(LGCP::Message& message, AckState state) {
    AssignSeq(message);
    AssignSlot(message);
    SendMsg(message);
    ackState = state;
}

void Server::Success() {
    if (ackState != kNoAck) return;
    LGCP::Message message;
    message.set_pdu().select_response().select_success();
    Answer(message, kAckSuccess);
}

void Server::Error(LGCP::ErrorCause::NamedNumber cause) {
    // One answer per command: an error after a success or a put-off answer is dropped.
    if (ackState != kNoAck) return;
    LGCP::Message message;
    message.set_pdu().select_response().select_error(cause);
    Answer(message, kAckError);
}

int Server::delayResponse() {
    ackState = kAckSuccess;
    return seq;
}

void Server::delayedSuccess(unsigned slotNumber, unsigned seqNumber) {
    LGCP::Message message;
    message.set_seq(static_cast<int>(seqNumber));
    message.set_slot(slotNumber);
    message.set_pdu().select_response().select_success();
    SendMsg(message);
}

void Server::delayedSuccess(unsigned slotNumber) {
    LGCP::Message message;
    message.set_slot(slotNumber);
    message.set_pdu().select_response().select_success();
    SendMsg(message);
}

void Server::SendSignal(const LGCP::Signal& signal) {
    LGCP::Message message;
    AssignSlot(message);
    message.set_pdu().select_signal(signal);
    SendMsg(message);
}

void Server::SendSignal(unsigned slotNumber, const LGCP::Signal& signal) {
    LGCP::Message message;
    message.set_slot(slotNumber);
    message.set_pdu().select_signal(signal);
    SendMsg(message);
}

void Server::OfferSignal(const Service* sender, const LGCP::Signal& signal) {
    for (Service* s : services) {
        if (s != sender) s->OnSignal(signal);
    }
}

void Server::SendMsg(const LGCP::Message& message) {
    std::vector<char> buffer;
    buffer.reserve(kEncodeReserve);
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    if (!ASN1::encode(message, env, std::back_inserter(buffer))) {
        // Built apart, so a value that cannot be printed never leaves the error stream failed;
        // cut, as a value too long to encode would flood the log.
        std::ostringstream value;
        value << message;
        const std::string text = value.str();
        std::ostringstream line;
        line << ext::header(this) << "send fail: encode error!" << text.substr(0, kLoggedNotation);
        if (text.size() > kLoggedNotation) line << "... (" << text.size() << " characters)";
        std::cerr << line.str() << std::endl;
        return;
    }
    if (link == nullptr) {
        std::cerr << ext::header(this) << "send fail: Service not attached!" << std::endl;
        return;
    }
    link->Send(buffer.data(), static_cast<int>(buffer.size()));
}

void Server::AssignSeq(LGCP::Message& message) const {
    if (seqPresent) {
        message.set_seq(seq);
    } else {
        message.omit_seq();
    }
}

void Server::AssignSlot(LGCP::Message& message) const {
    if (slot != -1) {
        message.set_slot(static_cast<unsigned>(slot));
    } else {
        message.omit_slot();
    }
}

bool Server::CheckServerConnection(bool& connected) const {
    if (link == nullptr) return false;
    connected = link->IsConnected();
    return true;
}

void Server::OnHeartbeatTimeout() {
    if (link != nullptr) link->Disconnect();
}

void Server::SetAvgStatTimer() {
    avgStatTimer.set(kAvgStatPeriod, &Server::OnUpdateAvgStat, this);
}

void Server::PutHeader(std::ostream& os) const {
    if (link == nullptr) {
        os << "ctrl [null]: ";
    } else if (link->IsConnected()) {
        os << "ctrl [" << link->GetAddr() << "]: ";
    } else {
        os << "ctrl [not connected]: ";
    }
}

}  // namespace CtrlSrv
