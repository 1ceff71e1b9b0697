#include "server/main/sim_echo.h"

#include <cstdlib>
#include <iostream>

#include "core/output.h"
#include "hardware/sim/trunk_ports.h"

bool SimEcho::FromEnvironment() {
    const char* name = std::getenv(kVariable);
    if (name == nullptr || *name == '\0') return true;
    int ch = Sim::TrunkPorts::Parse(name);
    if (ch < 0) {
        std::cerr << "sim: " << kVariable << ": " << ext::quoted(name) << " is no line channel" << std::endl;
        return false;
    }
    Tdm::LinePlace place = Tdm::PlaceOf(ch);
    HDLC::Params params;
    params.trunk = place.line;
    params.timeslot = place.channel;
    params.tdm = ch;
    params.mode = place.kind == Tdm::LinePlace::bri ? 1 : 0;
    hdlc_.params(params);
    hdlc_.trunk(static_cast<unsigned>(place.line));
    hdlc_.bind(this);
    if (!hdlc_.activate()) return false;
    std::clog << "sim: echo on " << name << std::endl;
    return true;
}
