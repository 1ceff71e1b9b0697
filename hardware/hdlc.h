#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/event.h"
#include "core/fd.h"
#include "core/packet.h"
#include "core/packet_shortage.h"
#include "hardware/generic_hdlc.h"

// One channel of the board's multi-channel HDLC controller on /dev/mcc/ctl.
// Activation allocates a controller channel, learns the TDM channel that
// carries it and wires that both ways through the TDM switch; from then on
// every frame read goes to the bound sink, and hdlc_transmit writes one frame
// per write call.
class HDLC final : public GenericHDLC {
public:
    using Notify = HDLC_detail::Notify;

    struct Params {
        std::int32_t trunk = 0;     // set by the owning slot; not used here
        std::int32_t timeslot = 0;  // shown in the log header
        std::int32_t tdm = -1;      // received from; transmitted onto in modes 0 and 1
        std::int32_t tdm2 = -1;     // transmitted onto in mode 2
        std::int32_t mode = 0;      // 0 SS7, 1 ISDN primary rate or raw, 2 ISDN basic rate
    };

    // In the order of the control protocol's HDLC link information.
    struct Statistics {
        std::uint32_t txSU = 0;
        std::uint32_t txDiscard = 0;
        std::uint32_t txError = 0;
        std::uint32_t txOverflow = 0;  // never counted by the channel
        std::uint32_t rxSU = 0;

        bool operator==(const Statistics&) const = default;
    };

    HDLC();
    ~HDLC() override;
    HDLC(const HDLC&) = delete;
    HDLC& operator=(const HDLC&) = delete;

    void params(const Params& p) { params_ = p; }
    const Params& params() const { return params_; }
    void trunk(unsigned t) { trunk_ = t; }
    void logLevel(unsigned level) { log_level_ = level; }

    void bind(Notify* sink);
    void unbind();

    bool activate();
    void deactivate();

    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return event_.IsActive(); }
    bool is_ready() const override { return ready_; }

    const Statistics& statistics() const { return statistics_; }
    // Frames lost on reading because the packet pool was empty.
    std::uint32_t rx_dropped() const { return shortage_.refused(); }
    // The TDM channel of the last activated controller channel; -1 before any.
    int controller_channel() const { return controller_channel_; }

    void PutHeader(std::ostream& os) const;

private:
    void on_event(int fd, short revents);
    // The frames waiting, to the sink; false when not one was read.
    bool do_read();
    bool read_one(int fd);
    void read_error(const char* what, int error);
    bool open_controller(Fd& fd);

    bool ready_ = false;
    Params params_;
    Statistics statistics_;
    Event event_;
    unsigned log_level_ = 0;
    unsigned trunk_ = 0;
    Notify* sink_;
    int controller_channel_ = -1;
    // Counts activations, so a pass that outlives the descriptor it served stops.
    std::uint32_t generation_ = 0;
    PacketShortage shortage_;
};
