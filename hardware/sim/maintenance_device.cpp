#include "hardware/sim/maintenance_device.h"

#include <cerrno>
#include <cstdint>

#include "hardware/board_record.h"

namespace Sim {

namespace M = Hardware::Maintenance;
using Hardware::GetBoardWord;
using Hardware::PutBoardWord;

MaintenanceDevice::MaintenanceDevice() : Device(M::kPath) {}

void MaintenanceDevice::IReset() {
    status_.fill(Status{});
    errors_.fill(0);
    tclk_ = 0;
}

int MaintenanceDevice::IIoctl(OpenFile&, unsigned long request, void* record, std::size_t) {
    switch (request) {
        case M::E1_GET_STATUS:
            return OnGetStatus(static_cast<unsigned char*>(record));
        case M::E1_SET_TCLK:
            tclk_ = static_cast<std::uint32_t>(Hardware::GetBoardWord(static_cast<unsigned char*>(record), 0));
            return 0;
        default:
            return -ENOTTY;
    }
}

// The trunk in word 0; the words the framer fills, the others left as they came.
int MaintenanceDevice::OnGetStatus(unsigned char* record) const {
    int trunk = GetBoardWord(record, M::kTrunkWord);
    if (trunk < 0 || trunk >= M::kTrunks) return -EINVAL;
    if (errors_[trunk] != 0) return -errors_[trunk];
    const Status& s = status_[trunk];
    PutBoardWord(record, M::kSlipsWord, s.slips);
    PutBoardWord(record, M::kLossBFWord, s.lossBF);
    PutBoardWord(record, M::kLossCarrierWord, s.lossCarrier);
    PutBoardWord(record, M::kLossAISWord, s.lossAIS);
    PutBoardWord(record, M::kLossRAIWord, s.lossRAI);
    PutBoardWord(record, M::kStateWord, s.state);
    return 0;
}

}  // namespace Sim
