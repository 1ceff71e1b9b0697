#pragma once

#include <array>
#include <cstdint>

#include "hardware/e1_requests.h"
#include "hardware/sim/device.h"

namespace Sim {

// /dev/maintenance: the status record of each of the four E1 framers, which a
// test writes as the line would, and the TCLK mask. A trunk's status read can
// be made to fail.
class MaintenanceDevice final : public Device {
public:
    struct Status {
        std::int32_t state = 0;  // 0 normal .. 6 disabled, as the framer reports it
        std::int32_t slips = 0;
        std::int32_t lossBF = 0;
        std::int32_t lossCarrier = 0;
        std::int32_t lossAIS = 0;
        std::int32_t lossRAI = 0;
    };

    MaintenanceDevice();

    void IReset() override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;

    void SetStatus(int trunk, const Status& status) { status_[trunk] = status; }
    const Status& status(int trunk) const { return status_[trunk]; }
    // The trunk's status reads fail with `error` until it is set back to 0.
    void FailStatus(int trunk, int error) { errors_[trunk] = error; }
    std::uint32_t tclk() const { return tclk_; }

private:
    int OnGetStatus(unsigned char* record) const;

    std::array<Status, Hardware::Maintenance::kTrunks> status_{};
    std::array<int, Hardware::Maintenance::kTrunks> errors_{};
    std::uint32_t tclk_ = 0;
};

}  // namespace Sim
