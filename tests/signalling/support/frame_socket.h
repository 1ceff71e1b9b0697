#pragma once

#include <cstdint>
#include <functional>

#include "core/event.h"
#include "core/packet.h"
#include "hardware/hdlc.h"
#include "hardware/sim/pcapng_writer.h"

// A frame channel over one end of a SOCK_SEQPACKET socket (one datagram is one
// frame), polled by the loop. It stands in for the board's HDLC channel when a
// link layer is tested against another engine or an outside peer program.
class FrameSocket final : public GenericHDLC {
public:
    // Takes the descriptor.
    explicit FrameSocket(int fd);
    ~FrameSocket() override;

    // Two connected, non-blocking ends.
    static bool Pair(int fd[2]);

    void bind(HDLC::Notify* sink) { sink_ = sink; }
    // Frames crossing in either direction are written here too.
    void tap(Sim::PcapngWriter* writer) { tap_ = writer; }
    // Returns true to lose the frame (outbound before the write, inbound before the sink).
    std::function<bool(const Packet&)> drop_tx;
    std::function<bool(const Packet&)> drop_rx;

    bool hdlc_transmit(Packet& frame) override;
    bool is_open() const override { return event_.IsActive(); }
    bool is_ready() const override { return ready_; }
    void close() { event_.Release(); }

    std::uint32_t sent() const { return sent_; }
    std::uint32_t received() const { return received_; }

private:
    void OnEvent(int fd, short revents);

    Event event_;
    HDLC::Notify* sink_ = nullptr;
    Sim::PcapngWriter* tap_ = nullptr;
    bool ready_ = true;
    std::uint32_t sent_ = 0;
    std::uint32_t received_ = 0;
};
