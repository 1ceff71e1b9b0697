#include "core/dpc.h"

#include "core/multiplexer.h"

Dpc::~Dpc() {
    Deactivate();
    delete handler_;
}

void Dpc::Bind(DpcHandler* handler) {
    ReplaceHandler(handler_, handler);
}

void Dpc::Activate() {
    if (active_) return;
    multiplexer.attach(this);
    active_ = true;
}

void Dpc::Deactivate() {
    if (!active_) return;
    multiplexer.dettach(this);
    active_ = false;
}
