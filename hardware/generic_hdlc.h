#pragma once

#include "core/packet.h"

// A channel that carries whole HDLC frames: the board's HDLC controller
// channel, or a slot that writes frames to a descriptor of its own. The link
// layers send through it and never own it.
class GenericHDLC {
public:
    virtual ~GenericHDLC() = default;
    // False when the frame did not leave (inactive channel, full, failed); the
    // frame is not kept.
    virtual bool hdlc_transmit(Packet& frame) = 0;
    virtual bool is_open() const = 0;
    virtual bool is_ready() const = 0;
};

namespace HDLC_detail {

// What a frame channel reports to the layer bound to it.
class Notify {
public:
    struct Cause {
        enum Type { read_error = 0 };
    };

    virtual ~Notify() = default;
    virtual void on_hdlc_receive(Packet& frame) = 0;
    virtual void on_hdlc_error(Cause::Type cause) = 0;
    // The channel takes frames again after refusing one as full.
    virtual void on_hdlc_ready() = 0;
};

}  // namespace HDLC_detail
