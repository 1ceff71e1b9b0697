#pragma once

#include <memory>
#include <string>

#include "hardware/sim/trunk_ports.h"

namespace Sim {

// The simulated board's lines as the environment of the simulation build asks
// for them (its command line is the daemon's and stays so):
//   TAMBORIL_TRUNK_DIR    directory of the trunk ports
//   TAMBORIL_TRUNK_PORTS  channels offered there, comma-separated names as
//                         TrunkPorts::Name gives them; by default time slot 16
//                         of every E1 trunk and the D channel of every
//                         basic-rate line
//   TAMBORIL_TRUNK_CABLE  trunk pairs joined by a cable, "0-1,2-3"
//   TAMBORIL_TRUNK_TAP    "<channel>=<lapd|mtp2>:<file>", comma-separated
class LineSetup {
public:
    static constexpr const char* kDir = "TAMBORIL_TRUNK_DIR";
    static constexpr const char* kPorts = "TAMBORIL_TRUNK_PORTS";
    static constexpr const char* kCable = "TAMBORIL_TRUNK_CABLE";
    static constexpr const char* kTap = "TAMBORIL_TRUNK_TAP";

    explicit LineSetup(Trunks& trunks) : trunks_(trunks) {}

    // False, with a line on the error stream naming the variable, on a value
    // that cannot be applied.
    bool FromEnvironment();

    TrunkPorts* ports() { return ports_.get(); }

private:
    bool Ports(const std::string& dir, const char* list);
    bool Cables(const std::string& list);
    bool Taps(const std::string& list);

    Trunks& trunks_;
    std::unique_ptr<TrunkPorts> ports_;
};

}  // namespace Sim
