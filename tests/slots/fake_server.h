// A stand-in for the control server behind CtrlSrv::Service: the test binds its
// services, sets the command being handled and reads back every answer and signal,
// in order.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
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

class Server final : public CtrlSrv::ServiceHost {
public:
    // The command being handled.
    int slot = -1;
    bool seqPresent = false;
    int seq = 0;
    int ackState = 0;
    bool connected = true;
    std::vector<Sent> sent;

    // Signals are shown to the other bound services before they go out, as the real
    // server does.
    void Bind(CtrlSrv::Service& service) {
        Attach(service, this);
        if (std::find(services_.begin(), services_.end(), &service) == services_.end())
            services_.push_back(&service);
    }

    // Starts a command on `slot` (-1: none).
    void Begin(int command_slot, std::optional<int> command_seq = std::nullopt) {
        slot = command_slot;
        seqPresent = command_seq.has_value();
        if (command_seq) seq = *command_seq;
        ackState = 0;
    }
    void End() { slot = -1; }
    std::vector<Sent> Take() { return std::exchange(sent, {}); }
    Sent Answer(int cause) const {
        Sent s{cause < 0 ? Sent::success : Sent::error, {}, {}, cause, {}};
        if (slot != -1) s.slot = static_cast<unsigned>(slot);
        if (seqPresent) s.seq = seq;
        return s;
    }

    void Success() override {
        if (ackState != 0) return;
        sent.push_back(Answer(-1));
        ackState = 1;
    }
    void Error(LGCP::ErrorCause::NamedNumber cause) override {
        if (ackState == 2) return;
        sent.push_back(Answer(cause));
        ackState = 2;
    }
    int delayResponse() override {
        ackState = 1;
        return seq;
    }
    void delayedSuccess(unsigned to, unsigned with) override {
        sent.push_back({Sent::success, to, static_cast<int>(with), -1, {}});
    }
    void delayedSuccess(unsigned to) override { sent.push_back({Sent::success, to, {}, -1, {}}); }
    void OfferSignal(const CtrlSrv::Service* sender, const LGCP::Signal& signal) override {
        for (CtrlSrv::Service* s : services_)
            if (s != sender) s->OnSignal(signal);
    }
    void SendSignal(const LGCP::Signal& signal) override {
        Sent s{Sent::signal, {}, {}, -1, signal};
        if (slot != -1) s.slot = static_cast<unsigned>(slot);
        sent.push_back(s);
    }
    void SendSignal(unsigned to, const LGCP::Signal& signal) override {
        sent.push_back({Sent::signal, to, {}, -1, signal});
    }
    int GetSlot() const override { return slot; }
    bool IsSlotPresent() const override { return slot != -1; }
    bool IsSeqPresent() const override { return seqPresent; }
    bool CheckServerConnection(bool& is) const override {
        is = connected;
        return true;
    }
    void OnHeartbeatTimeout() override {}  // no heartbeat among these services

private:
    std::vector<CtrlSrv::Service*> services_;
};

inline Server server;

}  // namespace fake
