// TPKT framing (RFC 1006) over a byte stream: 3, 0, a big-endian length of the whole
// frame (4..65535), then the body. Reassembles frames from pieces of any size, skips
// what cannot start a frame, and drops a frame that stays incomplete for 3000 ms.
#pragma once

#include <cstdint>
#include <string>

#include "core/packet.h"
#include "core/packet_shortage.h"
#include "core/protocol.h"
#include "core/timer.h"

// Who takes the lines of bytes that break the framing, which a peer can repeat with
// every read, to write or hold back. kind is the line without its numbers.
class TpktFramingLog {
public:
    virtual ~TpktFramingLog() = default;
    virtual void ITpktFraming(const char* kind, const std::string& line) = 0;
};

class Tpkt_protocol : public Protocol {
public:
    static constexpr unsigned kHeaderSize = 4;
    static constexpr unsigned kMaxBody = 0xFFFF - kHeaderSize;  // 65531
    static constexpr unsigned kFrameTimeout = 3000;             // ms after the last piece

    enum State { idle = 0, wait_r = 1, len_1 = 2, len_2 = 3, body = 4, ignore = 5 };

    Tpkt_protocol();

    void local_prepare_head(Packet& p) override;
    void local_prepare_tail(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;
    // Frames one message. A body that does not fit the length field is refused with a
    // log line rather than sent with a wrapped length.
    void message(Packet& p) override;
    void receive(Packet& piece) override;
    void on_deactivate(Protocol_status status) override;

    void reset();
    void next_state(State s) { state_ = s; }
    void on_timeout(Timer*);

    // The controller's link reassembles its frames in the pool's reserved blocks.
    void draw_on_reserve(bool on) { reserve_ = on; }
    // Without a log the framing lines go to std::clog.
    void framing_log(TpktFramingLog* log) { framing_log_ = log; }
    const PacketShortage& shortage() const { return shortage_; }

    State state() const { return state_; }
    bool frame_pending() const { return frame_timer_.is_running(); }

private:
    // Each handler takes bytes from the front of the piece and returns how many.
    unsigned receive_idle(const unsigned char* p, unsigned n);
    unsigned receive_wait_r(const unsigned char* p, unsigned n);
    unsigned receive_len_1(const unsigned char* p, unsigned n);
    unsigned receive_len_2(const unsigned char* p, unsigned n);
    unsigned receive_body(const unsigned char* p, unsigned n);
    unsigned receive_ignore(const unsigned char* p, unsigned n);
    void deliver();
    void EndSkippedRun();
    void Framing(const char* kind, const std::string& line);

    Protocol_name_str protocol_name_;
    Timer frame_timer_;
    State state_ = idle;
    uint32_t remaining_ = 0;
    Packet body_;
    unsigned generation_ = 0;  // counts resets
    uint64_t skipped_ = 0;     // bytes of the current run that could not start a frame
    bool reserve_ = false;
    PacketShortage shortage_;
    TpktFramingLog* framing_log_ = nullptr;
};
