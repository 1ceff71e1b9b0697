#include "slots/hdlc_layer.h"

void HdlcLayer::message(Packet& frame) {
    if (!channel_.hdlc_transmit(frame)) ++refused_;
}
