// The control server: the one object between the controller connection and the
// bound services. It decodes each frame as an LGCP::Message, offers the command to
// the services in bind order, makes sure every command gets exactly one response,
// and sends the services' signals.
#pragma once

#include <iosfwd>
#include <vector>

#include "core/control_service.h"
#include "core/multiplexer.h"
#include "core/timer.h"
#include "protocol/LGCP.h"
#include "protocol/service_host.h"

namespace CtrlSrv {

class Service;

class Server : public Control::Notify, public ServiceHost {
public:
    static constexpr int kMaxSlot = 1023;
    static constexpr unsigned kAvgStatPeriod = 5000;  // ms
    static constexpr unsigned kEncodeReserve = 200;   // bytes

    // Response state of the command being handled.
    enum AckState { kNoAck = 0, kAckSuccess = 1, kAckError = 2 };

    Server() = default;
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    ~Server() override;

    void OnConnect() override;
    void OnDisconnect() override;
    void OnMessage(const char* data, int length) override;
    void OnMessage(const LGCP::Message& message);

    void Bind(Service* service);
    // Takes ownership of the connection and starts it; the connection's result.
    bool Activate(Control::Service* connection);
    void Deactivate();

    void Success() override;
    void Error(LGCP::ErrorCause::NamedNumber cause) override;
    int delayResponse() override;
    void delayedSuccess(unsigned slot, unsigned seq) override;
    void delayedSuccess(unsigned slot) override;

    void SendSignal(const LGCP::Signal& signal) override;
    void SendSignal(unsigned slot, const LGCP::Signal& signal) override;
    void OfferSignal(const Service* sender, const LGCP::Signal& signal) override;
    void SendMsg(const LGCP::Message& message);

    void AssignSeq(LGCP::Message& message) const;
    void AssignSlot(LGCP::Message& message) const;
    int GetSlot() const override { return slot; }
    bool IsSlotPresent() const override { return slot != -1; }
    bool IsSeqPresent() const override { return seqPresent; }
    int GetAckState() const { return ackState; }

    bool CheckServerConnection(bool& connected) const override;
    void OnHeartbeatTimeout() override;
    void SetAvgStatTimer();
    void OnUpdateAvgStat() {}

    const std::vector<Service*>& GetServices() const { return services; }
    Control::Service* GetLink() const { return link; }
    void PutHeader(std::ostream& os) const;

private:
    void Answer(LGCP::Message& message, AckState state);

    std::vector<Service*> services;
    Control::Service* link = nullptr;
    bool seqPresent = false;
    int seq = 0;
    int slot = -1;
    int ackState = kNoAck;
    Timer avgStatTimer;
};

}  // namespace CtrlSrv

// Built during static initialisation. Including core/multiplexer.h above makes the loop
// outlive it: the connection it may still hold at exit detaches from a live loop.
extern CtrlSrv::Server ctrlServer;
