#include "protocol/ctrl_service.h"

#include <iostream>

namespace CtrlSrv {

bool Service::CheckServer() const {
    if (server != nullptr) return true;
    std::cerr << "CtrlSrv::Service error! service not connected to server." << std::endl;
    return false;
}

void Service::Success() {
    if (CheckServer()) server->Success();
}

void Service::Error(LGCP::ErrorCause::NamedNumber cause) {
    if (CheckServer()) server->Error(cause);
}

void Service::SendSignal(const LGCP::Signal& signal) {
    if (!CheckServer()) return;
    server->OfferSignal(this, signal);
    server->SendSignal(signal);
}

void Service::SendSignal(unsigned slot, const LGCP::Signal& signal) {
    if (!CheckServer()) return;
    server->OfferSignal(this, signal);
    server->SendSignal(slot, signal);
}

int Service::GetSlot() const {
    return CheckServer() ? server->GetSlot() : -1;
}

bool Service::IsSlotPresent() const {
    return CheckServer() && server->IsSlotPresent();
}

bool Service::IsSeqPresent() const {
    return CheckServer() && server->IsSeqPresent();
}

int Service::delayResponse() {
    return CheckServer() ? server->delayResponse() : -1;
}

void Service::delayedSuccess(unsigned slot, unsigned seq) {
    if (CheckServer()) server->delayedSuccess(slot, seq);
}

void Service::delayedSuccess(unsigned slot) {
    if (CheckServer()) server->delayedSuccess(slot);
}

bool Service::CheckServerConnection(bool& connected) const {
    return server != nullptr && server->CheckServerConnection(connected);
}

}  // namespace CtrlSrv
