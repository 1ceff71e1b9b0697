// Commands and create parameters that several slot tests send.
#pragma once

#include "protocol/LGCP.h"

namespace slot_test {

inline LGCP::Command Create(const LGCP::CreateParams& params) {
    LGCP::Command c;
    c.select_create(params);
    return c;
}

inline LGCP::Command Connect(unsigned target) {
    LGCP::Command c;
    c.select_connect(target);
    return c;
}

// A `trunk` create, or `trunk_bri` for a basic-rate line.
inline LGCP::CreateParams TrunkParams(unsigned trunk, unsigned timeslot, bool bri = false) {
    LGCP::CreateParams p;
    LGCP::TrunkParams& t = bri ? p.select_trunk_bri() : p.select_trunk();
    t.set_trunk(trunk);
    t.set_timeslot(timeslot);
    return p;
}

// An SS7 link on time slot 16 of an E1 trunk, signalling link code 0.
inline LGCP::CreateParams Ss7(int trunk, int opc, int dpc, bool emergency) {
    LGCP::CreateParams p;
    LGCP::SS7Params& s = p.select_pstn().select_ss7();
    s.set_trunk(trunk);
    s.set_slc(0);
    s.set_opc(opc);
    s.set_dpc(dpc);
    s.set_emergency(emergency);
    return p;
}

// An ISDN D channel: primary rate on an E1 trunk, or a basic-rate line.
inline LGCP::CreateParams Isdn(int trunk, bool bri, bool network) {
    LGCP::CreateParams p;
    LGCP::IsdnParams& i = p.select_pstn().select_isdn();
    i.set_type(bri ? LGCP::IsdnType::bri : LGCP::IsdnType::pri);
    i.set_trunk(trunk);
    i.set_log(0);
    if (network)
        i.set_side().select_network();
    else
        i.set_side().select_user();
    return p;
}

// A raw HDLC slot on time slot 16 of an E1 trunk.
inline LGCP::CreateParams Hdlc(int trunk, int address) {
    LGCP::CreateParams p;
    LGCP::HdlcParams& h = p.select_hdlcParams();
    h.set_trunk(trunk);
    h.set_log(0);
    h.set_address(address);
    return p;
}

}  // namespace slot_test
