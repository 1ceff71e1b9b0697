#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "hardware/sim/device.h"
#include "hardware/sim/frame_faults.h"
#include "hardware/sim/trunks.h"

namespace Sim {

class HalDevice;

// /dev/mcc/ctl: the multi-channel HDLC controller. Every open is one controller
// channel; MCC_ALLOCATE records its words and MCC_TIMESLOT hands it a TDM
// channel of the controller's range. One datagram on the descriptor is one
// frame. A frame written leaves on every channel the switch memory feeds from
// the controller channel's TDM channel; a frame carried on a TDM channel
// reaches every controller channel fed from it. The board's lines (Trunks)
// hang off the same switch.
class MccDevice final : public Device {
public:
    struct Channel {
        OpenFile* file = nullptr;
        std::array<std::int32_t, 5> allocate{};  // MCC_ALLOCATE's words
        bool allocated = false;
        int tdm = -1;
        // Faults: towards the switch (frames the daemon writes) and towards the
        // daemon. A stalled channel takes no frame off its descriptor, so the
        // writer's queue fills and its writes meet EAGAIN. A read error fails
        // the next read with that errno.
        FrameFaults tx, rx;
        bool stalled = false;
        int read_error = 0;
        std::uint32_t written = 0;    // frames taken from the daemon
        std::uint32_t delivered = 0;  // frames queued for the daemon
        std::uint32_t overflow = 0;   // frames lost on a full queue towards the daemon
    };

    explicit MccDevice(HalDevice& hal);

    void IReset() override;
    void IOpen(OpenFile& file) override;
    void IRelease(OpenFile& file) override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;
    ssize_t IRead(OpenFile& file, int fd, void* buffer, std::size_t length) override;
    ssize_t IWriteFrom(OpenFile& file, int fd, const void* buffer, std::size_t length) override;

    // A frame carried on TDM channel `src`, from a line or a controller channel.
    void Switch(int src, const unsigned char* frame, std::size_t length, int depth = 0);

    // The open controller channel on a TDM channel, or null.
    Channel* channel(int tdm);
    std::vector<Channel*> channels();
    // Takes the frames a stalled channel holds, and goes on taking them.
    void Drain(Channel& channel);

    Trunks& trunks() { return trunks_; }
    HalDevice& hal() { return hal_; }

private:
    void Transmit(Channel& from, const unsigned char* frame, std::size_t length);
    void Receive(Channel& to, const unsigned char* frame, std::size_t length);
    int OnTimeSlot(Channel& channel);

    HalDevice& hal_;
    Trunks trunks_;
    std::map<const OpenFile*, std::unique_ptr<Channel>> channels_;
    std::vector<bool> taken_;  // TDM channels of the controller's range in use
};

// The simulated board's lines.
Trunks& trunks();

}  // namespace Sim
