#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>

#include "hardware/e1_requests.h"
#include "hardware/sim/broadcast_device.h"

namespace Sim {

// /dev/e1-cas: the ABCD bits of the four E1 trunks. CAS is opened per trunk and
// configured per time slot; each open time slot has the bits it receives (set
// by the far end, a test here) and those it sends. A change at the far end of
// an open time slot queues one change record for every open of the device,
// which then polls readable.
class CasDevice final : public BroadcastDevice {
public:
    struct TimeSlot {
        bool open = false;
        std::uint8_t rx = 0;
        std::uint8_t tx = 0;
    };

    CasDevice();

    void IReset() override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;
    ssize_t IRead(OpenFile& file, int fd, void* buffer, std::size_t length) override;

    bool trunk_open(int trunk) const { return trunks_[trunk]; }
    const TimeSlot& timeslot(int trunk, int ts) const { return slots_[trunk][ts]; }

    // The far end sends new bits; the number of opens told of the change.
    int FarEnd(int trunk, int ts, std::uint8_t rx);
    // The next read fails with `error`.
    void FailRead(int error) { read_error_ = error; }

private:
    // 0, or the error of a trunk or time slot the request may not touch.
    int Check(int trunk, int ts, bool needOpenSlot) const;
    int OnOpenTrunk(int trunk);
    int OnCloseTrunk(int trunk);
    int OnConfigure(unsigned char* record);
    int OnSet(unsigned char* record);
    int OnGet(unsigned char* record);

    using Trunk = std::array<TimeSlot, Hardware::Cas::kTimeSlots>;
    std::array<bool, Hardware::Cas::kTrunks> trunks_{};
    std::array<Trunk, Hardware::Cas::kTrunks> slots_{};
    int read_error_ = 0;
};

}  // namespace Sim
