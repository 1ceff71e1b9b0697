// The bottom layer of a message connection: one connected stream socket. Reads what
// the socket delivers into a pooled packet and passes it up; writes each outgoing
// packet completely, giving the socket at most 1000 ms in all to drain; reports the
// loss of the socket upward as an error status.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "core/event.h"
#include "core/fd.h"
#include "core/measure.h"
#include "core/packet_shortage.h"
#include "core/protocol.h"
#include "core/timer.h"

// Makes the destructor log its entry; nothing in the daemon sets it.
extern bool strm_protocol_debug;

class StrmProtocol : public Protocol {
public:
    static constexpr int kWriteTimeout = 1000;  // ms for one whole packet

    StrmProtocol();
    explicit StrmProtocol(Fd fd);
    ~StrmProtocol() override;

    // Keeps a duplicate of fd; the caller closes its own.
    void attach(Fd fd);
    // Detaches the event and closes the descriptor; nothing when none is held.
    void release();
    bool opened() const { return fd_.is_valid(); }

    void local_prepare_head(Packet& p) override;
    void local_prepare_tail(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;
    void message(Packet& p) override;

    int32_t sendbuf_space() const;
    int32_t recvbuf_space() const;
    int32_t inq_space() const;
    int32_t outq_space() const;
    int32_t free_space() const;

    const std::string& service_name() const { return service_name_; }
    void service_name(const std::string& name) { service_name_ = name; }
    void set_debug(bool on) { debug_ = on; }
    // The controller's link reads into the pool's reserved blocks.
    void draw_on_reserve(bool on) { reserve_ = on; }
    static constexpr uint32_t kNoBufferPause = 100;  // ms without reads when the pool is empty
    // The reads are measured on the socket's event, where the status dump shows them.
    const Measure& get_read_measure() const { return event_.measure(); }
    const Measure& get_write_measure() const { return write_measure_; }
    uint32_t GetOverflowCounter() const { return overflow_counter_; }

    void PutHeader(std::ostream& os) const;

private:
    void on_event(int fd, short revents);
    void do_read();
    void on_error(const std::string& text);
    void put_figures(std::ostream& os) const;
    void set_cork(bool on);
    void OnNoBufferPause();

    std::string layer_text_;
    Protocol_name_str protocol_name_;
    Fd fd_;
    bool queue_reports_free_ = false;
    bool debug_ = false;
    std::string service_name_;
    Event event_;
    Measure write_measure_;
    uint32_t overflow_counter_ = 0;
    bool receiving_ = false;
    unsigned writes_in_receive_ = 0;
    bool corked_ = false;
    bool cork_supported_ = true;
    bool reserve_ = false;
    PacketShortage shortage_;
    Timer pause_;
};
