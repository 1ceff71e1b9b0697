// What a bound service asks of the control server it is bound to: the answer to the
// command being handled, signals shown to the other services and then sent, and the
// put-off answer of a slot's destroy. The control server implements it; the services
// below the server know only this.
#pragma once

#include "protocol/LGCP.h"

namespace CtrlSrv {

class Service;

class ServiceHost {
public:
    virtual void Success() = 0;
    virtual void Error(LGCP::ErrorCause::NamedNumber cause) = 0;
    virtual int delayResponse() = 0;
    virtual void delayedSuccess(unsigned slot, unsigned seq) = 0;
    virtual void delayedSuccess(unsigned slot) = 0;

    // Shows the signal to every bound service but the sender, in bind order.
    virtual void OfferSignal(const Service* sender, const LGCP::Signal& signal) = 0;
    virtual void SendSignal(const LGCP::Signal& signal) = 0;
    virtual void SendSignal(unsigned slot, const LGCP::Signal& signal) = 0;

    virtual int GetSlot() const = 0;
    virtual bool IsSlotPresent() const = 0;
    virtual bool IsSeqPresent() const = 0;
    virtual bool CheckServerConnection(bool& connected) const = 0;
    // Drops the controller that stopped sending.
    virtual void OnHeartbeatTimeout() = 0;

protected:
    ~ServiceHost() = default;
    // Binding cannot be undone: a service keeps its host.
    static void Attach(Service& service, ServiceHost* host);
};

}  // namespace CtrlSrv
