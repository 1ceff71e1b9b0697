// A stand-in for the control server behind CtrlSrv::Service: the test sets the
// command being handled and reads back every answer and signal, in order. Include
// it from exactly one source of a test program.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"

namespace fake {

struct Sent {
    enum Kind { success, error, signal } kind;
    std::optional<unsigned> slot;
    std::optional<int> seq;
    int cause = -1;      // error
    LGCP::Signal value;  // signal
};

struct Server {
    // The command being handled.
    int slot = -1;
    bool seqPresent = false;
    int seq = 0;
    int ackState = 0;
    bool connected = true;
    bool bound = true;
    std::vector<Sent> sent;
    // Signals are shown to these before they go out, as the real server does.
    std::vector<CtrlSrv::Service*> services;

    // Starts a command on `slot` (-1: none).
    void Begin(int command_slot, std::optional<int> command_seq = std::nullopt) {
        slot = command_slot;
        seqPresent = command_seq.has_value();
        if (command_seq) seq = *command_seq;
        ackState = 0;
    }
    void End() { slot = -1; }
    std::vector<Sent> Take() {
        std::vector<Sent> out;
        out.swap(sent);
        return out;
    }
    Sent Answer(int cause) const {
        Sent s{cause < 0 ? Sent::success : Sent::error, {}, {}, cause, {}};
        if (slot != -1) s.slot = static_cast<unsigned>(slot);
        if (seqPresent) s.seq = seq;
        return s;
    }
};

inline Server server;

}  // namespace fake

namespace CtrlSrv {

bool Service::CheckServer() const {
    return fake::server.bound;
}
void Service::Success() {
    if (!CheckServer() || fake::server.ackState != 0) return;
    fake::server.sent.push_back(fake::server.Answer(-1));
    fake::server.ackState = 1;
}
void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
    if (!CheckServer() || fake::server.ackState == 2) return;
    fake::server.sent.push_back(fake::server.Answer(cause));
    fake::server.ackState = 2;
}
void Service::SendSignal(const LGCP::Signal& signal) {
    if (!CheckServer()) return;
    for (Service* s : fake::server.services)
        if (s != this) s->OnSignal(signal);
    fake::Sent s{fake::Sent::signal, {}, {}, -1, signal};
    if (fake::server.slot != -1) s.slot = static_cast<unsigned>(fake::server.slot);
    fake::server.sent.push_back(s);
}
void Service::SendSignal(unsigned slot, const LGCP::Signal& signal) {
    if (!CheckServer()) return;
    for (Service* s : fake::server.services)
        if (s != this) s->OnSignal(signal);
    fake::server.sent.push_back({fake::Sent::signal, slot, {}, -1, signal});
}
int Service::GetSlot() const {
    return CheckServer() ? fake::server.slot : -1;
}
bool Service::IsSlotPresent() const {
    return CheckServer() && fake::server.slot != -1;
}
bool Service::IsSeqPresent() const {
    return CheckServer() && fake::server.seqPresent;
}
int Service::delayResponse() {
    if (!CheckServer()) return -1;
    fake::server.ackState = 1;
    return fake::server.seq;
}
void Service::delayedSuccess(unsigned slot, unsigned seq) {
    if (!CheckServer()) return;
    fake::server.sent.push_back({fake::Sent::success, slot, static_cast<int>(seq), -1, {}});
}
void Service::delayedSuccess(unsigned slot) {
    if (!CheckServer()) return;
    fake::server.sent.push_back({fake::Sent::success, slot, {}, -1, {}});
}
bool Service::CheckServerConnection(bool& connected) const {
    if (!CheckServer()) return false;
    connected = fake::server.connected;
    return true;
}

}  // namespace CtrlSrv
