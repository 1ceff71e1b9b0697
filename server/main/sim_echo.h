#pragma once

#include "hardware/hdlc.h"

// A far end inside the simulation build for trying the trunk ports: when
// TAMBORIL_SIM_ECHO names a line channel (as the trunk ports name them), an
// HDLC channel wired to it sends back every frame it receives.
class SimEcho final : public HDLC::Notify {
public:
    static constexpr const char* kVariable = "TAMBORIL_SIM_ECHO";

    // False, with a line, when the variable names no line channel or the
    // channel cannot be activated.
    bool FromEnvironment();

    void on_hdlc_receive(Packet& frame) override { hdlc_.hdlc_transmit(frame); }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}

private:
    HDLC hdlc_;
};
