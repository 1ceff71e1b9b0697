#include <memory>

#include "hardware/driver.h"
#include "hardware/sim/board.h"
#include "hardware/sim/cas_device.h"
#include "hardware/sim/dsp_device.h"
#include "hardware/sim/dtmf_device.h"
#include "hardware/sim/hal_device.h"
#include "hardware/sim/maintenance_device.h"
#include "hardware/sim/mcc_device.h"

namespace Sim {

namespace {

// The board's devices that are modelled; any other path is missing.
Board& Assemble() {
    static Board board;
    auto hal = std::make_unique<HalDevice>();
    auto mcc = std::make_unique<MccDevice>(*hal);
    board.Add(std::move(hal));
    board.Add(std::move(mcc));
    board.Add(std::make_unique<MaintenanceDevice>());
    board.Add(std::make_unique<CasDevice>());
    board.Add(std::make_unique<DtmfDevice>());
    board.Add(std::make_unique<DspDevice>());
    return board;
}

}  // namespace

Board& board() {
    static Board& assembled = Assemble();  // one guard on the way of every request
    return assembled;
}

}  // namespace Sim

namespace Hardware {

Driver& driver() {
    return Sim::board();
}

}  // namespace Hardware
