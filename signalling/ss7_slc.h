// SS7 MTP level 2 signalling link control with the basic error correction
// method: alignment and proving, then numbered message signal units kept in a
// retransmission buffer until acknowledged, negative acknowledgement and
// retransmission, and in-sequence delivery upward. One Protocol layer on top
// of a frame channel that carries one signal unit per frame (flags, stuffing
// and check bits are the channel's business).
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/clean_queue.h"
#include "core/cyclic.h"
#include "core/packet.h"
#include "core/protocol.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "hardware/hdlc.h"
#include "signalling/ss7_slc_states.h"

namespace SS7 {

class SLC : public Protocol, public HDLC::Notify {
public:
    using Seq = Cyclic<unsigned int, 127u>;
    using Indication = L2::Indication;
    using Trace = L2::Trace;
    using State = L2::State<SLC>;
    template <unsigned id, class Base = State>
    using TState = L2::TState<SLC, id, Base>;

    struct TimerVal {
        std::uint32_t ms;
        void (SLC::*handler)(Timer*);
    };
    static const TimerVal T1, T2, T3, T4n, T4e, T5, T6, T7;

    // The fields of the last received unit, for log lines.
    struct DumpPtr {
        const SLC* link;
    };
    // Each octet as a blank, "0x" and upper-case hex without leading zeros.
    struct Octets {
        const Packet& p;
    };

    static constexpr unsigned kHeader = 3;      // BSN/BIB, FSN/FIB, LI
    static constexpr unsigned kMaxLi = 63;      // LI of every longer unit
    static constexpr unsigned kTbLimit = 200;   // new MSUs the TB takes
    static constexpr unsigned kRtbLimit = 127;  // MSUs awaiting acknowledgement
    static constexpr unsigned kStatWords = 8;

    SLC();
    ~SLC() override;

    // Configuration, before activation.
    void set_linkno(unsigned int n) { linkno = n; }
    void set_slc(unsigned int n) { slc = n; }
    void set_dpc(unsigned int n) { dpc = n; }
    void set_opc(unsigned int n) { opc = n; }
    void set_emergency(bool on) { emergency = on; }
    // Not owned; the channel's receive sink is bound by whoever owns it.
    void hdlc(GenericHDLC* channel) { m_hdlc = channel; }

    unsigned get_bsn() const { return bsnt; }
    unsigned get_state_id() const { return current->get_state_id(); }
    const std::uint32_t* statistics() const;
    unsigned tb_count() const { return tb.count(); }
    // Units and MSUs lost because the packet pool was empty.
    std::uint32_t no_buffer_drops() const { return no_buffer; }

    // Layer 1 of the trunk left (false) or regained (true) its normal state.
    void OnTrunkHardStatus(bool up);

    // Protocol
    void local_prepare_head(Packet& p) override;
    void local_prepare_tail(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;
    void message(Packet& msu) override;
    // message, saying whether the MSU was taken (false: not in service, TB full).
    bool take_message(Packet& msu);
    void receive(Packet& su) override;
    void protocol_info(std::ostream& os) const override;
    const Protocol_name& name() const override { return protocol_name; }
    bool compare_name(const Protocol_name& other) const override { return protocol_name.compare(other); }

    // HDLC::Notify
    void on_hdlc_receive(Packet& frame) override { receive(frame); }
    void on_hdlc_error(HDLC::Notify::Cause::Type cause) override;
    void on_hdlc_ready() override;

    void PutHeader(std::ostream& os) const;
    void PutShortInfo(std::ostream& os) const;
    std::ostream& dump_fields(std::ostream& os) const;

    Trace trace;

private:
    template <class, unsigned, class>
    friend class L2::TState;

    // The only change of state; runs leave and entry also for the same state.
    void next_state(State& to);
    void set(const TimerVal& t);

    void on_T1(Timer*);
    void on_T2(Timer*);
    void on_T3(Timer*);
    void on_T4(Timer*);
    void on_T5(Timer*);
    void on_T6(Timer*);
    void on_T7(Timer*);

    // State handlers; the generic ones do nothing.
    void on_enter(State&) {}
    void on_enter(TState<0>&);
    void on_enter(TState<1>&);
    void on_enter(TState<2>&);
    void on_enter(TState<3>&);
    void on_enter(TState<4, TState<3>>&);
    void on_enter(TState<5>&);
    void on_leave(State&) {}
    void on_leave(TState<1>&);
    void on_leave(TState<2>&);
    void on_leave(TState<3>&);
    void on_leave(TState<4, TState<3>>&);
    void on_leave(TState<5>&);
    void fisu(State&) {}
    void fisu(TState<3>&);
    void fisu(TState<5>&);
    void lssu(State&, Indication) {}
    void lssu(TState<0>&, Indication status);
    void lssu(TState<1>&, Indication status);
    void lssu(TState<2>&, Indication status);
    void lssu(TState<3>&, Indication status);
    void lssu(TState<5>&, Indication status);
    void msu(State&, Packet&) {}
    void msu(TState<3>&, Packet& su);
    void msu(TState<5>&, Packet& su);
    bool message(State&, Packet&) { return false; }
    bool message(TState<5>&, Packet& msu);

    // Send and receive paths.
    bool new_unit(Packet& p);
    bool send(Packet su);
    void send_fisu();
    void send_lssu(Indication status);
    void reset();
    void process_tb();
    // False when the link left worked on the way.
    bool process_bsnr();
    void retransmit();
    void acknowledge();
    void negative_acknowledge();
    // The FIB of a FISU or MSU differs from the one expected (steps 2 to 4).
    void unexpected_fib();
    bool in_worked() const { return current == &s_worked; }
    // Counts and reports a unit that found no buffer on its way out.
    void no_buffer_to_send();

    // Fields of the last received unit.
    Seq bsnr;
    bool bibr = false;
    Seq fsnr;
    bool fibr = false;
    std::uint32_t li = 0;
    // What this side sends.
    Seq bsnt;
    bool bibt = false;
    Seq fsnt;
    bool fibt = false;
    // Expected values, copied before each FISU or MSU.
    Seq fsnx;
    bool fibx = false;
    bool bibx = false;
    bool nack_pending = false;
    bool bad_bsn = false;
    bool bad_fib = false;

    Packet rtb[128];
    Seq rtb_head;
    Seq rtb_last{127};
    std::uint32_t rtb_count = 0;
    CleanQueue<Packet, 327> tb;

    std::uint32_t linkno = 0;
    Timer timer;

    TState<0> s_idle;
    TState<1> s_not_aligned;
    TState<2> s_aligned;
    TState<3> s_proving;
    TState<4, TState<3>> s_aligned_ready;
    TState<5> s_worked;
    State* current = &s_idle;

    bool emergency = false;
    Protocol_name_str protocol_name{"MTP/L2"};
    std::uint32_t slc = 0;
    std::uint32_t dpc = 0;
    std::uint32_t opc = 0;
    mutable std::uint32_t stats[kStatWords] = {};
    GenericHDLC* m_hdlc = nullptr;
    std::uint32_t no_buffer = 0;

    // Lines that a bad or flooding far end (or controller) would repeat for every unit.
    RepeatedLine too_small_line;
    RepeatedLine bad_length_line;
    RepeatedLine rx_no_buffer_line;
    RepeatedLine tx_no_buffer_line;
    RepeatedLine too_long_line;
    RepeatedLine hdlc_error_line;
    RepeatedLine msu_dropped_line;
    RepeatedLine short_msu_line;
    RepeatedLine tb_full_line;
    RepeatedLine lssu_in_service_line;
    RepeatedLine tb_discard_line;
    RepeatedLine ready_line;
};

std::ostream& operator<<(std::ostream& os, const SLC::DumpPtr& d);
std::ostream& operator<<(std::ostream& os, const SLC::Octets& o);

}  // namespace SS7
