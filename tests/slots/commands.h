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

}  // namespace slot_test
