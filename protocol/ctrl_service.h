// A component bound to the control server: it is offered the controller's commands
// in bind order, answers the one it claims through these forwarding operations, and
// sends signals that the other bound services see before the controller does.
#pragma once

#include "protocol/LGCP.h"
#include "protocol/service_host.h"

namespace CtrlSrv {

class Service {
public:
    Service() = default;
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    virtual ~Service() = default;

    virtual void OnConnect() = 0;
    // The controller left, or the process is shutting down.
    virtual void OnDisconnect() = 0;
    // True: this service owns the command and answers it (now or put off).
    virtual bool OnCommand(const LGCP::Command& command) = 0;
    // A signal another service is about to send.
    virtual void OnSignal(const LGCP::Signal&) {}

    // Answers to the command being handled; only the first answer goes out.
    void Success();
    void Error(LGCP::ErrorCause::NamedNumber cause);

    // Without a slot number the signal carries the slot of the command being handled, if any.
    void SendSignal(const LGCP::Signal& signal);
    void SendSignal(unsigned slot, const LGCP::Signal& signal);

    // Meaningful only while a command is being handled.
    int GetSlot() const;
    bool IsSlotPresent() const;
    bool IsSeqPresent() const;

    // Puts the answer off; returns the seq to repeat later (see IsSeqPresent: a command
    // without seq is answered later without one, through delayedSuccess(slot)).
    int delayResponse();
    void delayedSuccess(unsigned slot, unsigned seq);
    void delayedSuccess(unsigned slot);

    // False when unbound; else whether a controller is connected now.
    bool CheckServerConnection(bool& connected) const;

    ServiceHost* GetServer() const { return server; }

protected:
    bool CheckServer() const;

private:
    friend class ServiceHost;
    ServiceHost* server = nullptr;
};

inline void ServiceHost::Attach(Service& service, ServiceHost* host) {
    service.server = host;
}

}  // namespace CtrlSrv
