// The bottom layer of a protocol stack whose upper layer has no channel of its
// own (the basic-rate network side): frames handed down go out on the HDLC
// channel, frames received come up to the layer above.
#pragma once

#include "core/protocol.h"
#include "hardware/generic_hdlc.h"

class HdlcLayer : public Protocol, public HDLC_detail::Notify {
public:
    explicit HdlcLayer(GenericHDLC& channel) : channel_(channel) {}

    const Protocol_name& name() const override { return name_; }
    bool compare_name(const Protocol_name& other) const override { return name_.compare(other); }

    // A frame from above.
    void message(Packet& frame) override { channel_.hdlc_transmit(frame); }

    void on_hdlc_receive(Packet& frame) override { on_message(frame); }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override {}

private:
    GenericHDLC& channel_;
    Protocol_name_str name_{"HDLC"};
};
