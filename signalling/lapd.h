// The Q.921 data-link entity of one ISDN D channel, user or network side,
// primary rate or (after change_to_bri) the user side of a basic-rate line with
// its TEI management. It is one Protocol layer: layer-3 messages come down
// through message, frames arrive from the HDLC channel through HDLC::Notify,
// and establishment, release, data and MDL errors go up through the framework.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/clean_queue.h"
#include "core/cyclic.h"
#include "core/lasting_condition.h"
#include "core/packet.h"
#include "core/protocol.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "hardware/generic_hdlc.h"
#include "protocol/ACP.h"
#include "signalling/q921.h"

namespace ISDN {

struct Side {
    enum type { user = 0, network = 1 };
};
std::ostream& operator<<(std::ostream& os, Side::type side);

// The text of a state number; "(unknown)" for any other number.
const char* statetext(unsigned int state);

// The protocol variables, kept together so that a copy is a snapshot.
struct LAPDFullState {
    enum State : unsigned int {
        tei_unassigned = 0,
        assign_awaiting_tei = 1,
        establish_awaiting_tei = 2,
        tei_assigned = 3,
        awaiting_establishment = 4,
        awaiting_release = 5,
        multiple_frame_established = 6,
        timer_recovery = 7,
    };
    using Seq = Cyclic<unsigned int, 127u>;

    unsigned int state = tei_assigned;
    int self_tei = 0;
    int self_sapi = 0;
    int peer_tei = 0;
    int peer_sapi = 0;
    int RC = 0;
    bool peer_busy = false;
    bool own_busy = false;  // nothing sets it: every enquiry is RR
    bool reject_exception = false;
    bool l3_initiated = false;
    bool establishable = true;
    bool queued_up_request = false;
    bool retransmission_request = false;
    bool acknowledge_request = false;
    bool T200_running = false;
    bool T202_running = false;
    bool T203_running = false;
    Seq VS, VA, VR;
};
std::ostream& operator<<(std::ostream& os, const LAPDFullState& s);

class LAPD : public Protocol, private LAPDFullState, public HDLC_detail::Notify {
public:
    static constexpr unsigned int T200 = 1000;
    static constexpr unsigned int T202 = 2000;
    static constexpr unsigned int T203 = 10000;
    static constexpr int N200 = 3;
    static constexpr int N202 = 3;
    static constexpr unsigned int k = 7;
    static constexpr unsigned int kMaxQueued = 127;     // more are refused
    static constexpr unsigned int kCongestedAbove = 88;
    static constexpr unsigned int kNormalBelow = 65;
    static constexpr int kTeiSapi = Q921::kTeiSapi;
    static constexpr int kGroupTei = Q921::kGroupTei;

    struct FlowStatus {
        enum Type { normal = 0, congested = 1 };
    };

    // Counters, never reset.
    struct Stats {
        std::uint32_t T200_expiries = 0;
        std::uint32_t T202_expiries = 0;
        std::uint32_t T203_expiries = 0;
        std::uint32_t errors = 0;  // messages and frames lost to an exhausted packet pool
        std::uint32_t retrains = 0;
        std::uint32_t out_overflows = 0;
        std::uint32_t ack_overflows = 0;
        std::uint32_t from_above = 0;
        std::uint32_t in_sequence = 0;
        std::uint32_t empty_messages = 0;
        std::uint32_t out_of_sequence = 0;
        std::uint32_t nr_errors = 0;
    };

    // Hears congestion changes of the outgoing queue.
    class Notify {
    public:
        virtual ~Notify() = default;
        virtual void OnLAPD_FlowStatusChange(LAPD* lapd) = 0;
    };

    // An error or release report with the protocol variables of that moment.
    class Status : public Protocol_status_error, private LAPDFullState {
    public:
        Status(const LAPD* lapd, const std::string& text);
        void out(std::ostream& os) const override;
        const LAPDFullState& snapshot() const { return *this; }
    };

    LAPD(Side::type side, unsigned int log);
    ~LAPD() override = default;

    bool compare_name(const Protocol_name& n) const override { return protocol_name_.compare(n); }
    const Protocol_name& name() const override { return protocol_name_; }
    void local_prepare_head(Packet& p) override { p.reserve_head(kHeader); }
    void local_prepare_tail(Packet& p) override { p.reserve_tail(0); }
    void local_activate() override;    // DL-ESTABLISH request
    void local_deactivate() override;  // DL-RELEASE request
    void message(Packet& p) override;  // DL-DATA request
    // message, saying whether the link took it (false: empty, or the queue is full).
    bool take_message(Packet& p);
    void receive(Packet& frame) override;

    virtual void PutHeader(std::ostream& os) const;
    void on_hdlc_receive(Packet& frame) override { receive(frame); }
    void on_hdlc_error(Cause::Type) override {}
    void on_hdlc_ready() override { local_events(); }
    virtual void mdl_assign(unsigned char tei);
    virtual void on_mdl_assign() {}
    virtual void mdl_remove();
    virtual void on_error(unsigned int code);

    void set_side(Side::type s) { side_ = s; }
    void set_linkno(unsigned int n) { linkno_ = n; }
    void set_log(unsigned int l) { log_ = l; }
    void hdlc(GenericHDLC* h) { hdlc_ = h; }
    void BindNotify(Notify* n) { notify_ = n; }
    void change_to_bri() { bri_ = true; }
    FlowStatus::Type GetFlowStatus() const { return flow_status_; }

    // Fills info; 1 when it differs from the previous call's record, else 0.
    int GetInfo(ACP::IsdnLinkInfo& info) const;
    Protocol_status status() const;
    void show_stat() const;
    const Stats& stats() const { return stats_; }
    LAPDFullState snapshot() const { return *this; }
    unsigned int queued() const { return out_queue_.count(); }
    unsigned int unacknowledged() const { return ack_queue_.count(); }

    void on_error(const char* text);
    void BeginTeiAssignProcedure();

private:
    static constexpr unsigned int kHeader = Q921::kHeader;
    // S frames by their two type bits, U frames by their control octet.
    enum Code { RR = 0, RNR = 1, REJ = 2, UI = Q921::kUI, DM = Q921::kDM, DISC = Q921::kDISC, UA = Q921::kUA,
                SABME = Q921::kSABME, FRMR = Q921::kFRMR, XID = Q921::kXID };

    // A received frame taken apart; filled before anything in the entity changes.
    struct Frame {
        enum Kind { I, S, U } kind = U;
        int sapi = 0;
        int tei = 0;
        bool command = false;
        bool pf = false;
        unsigned int control = 0;  // S: RR/RNR/REJ (0..3); U: control & 0xEF
        unsigned int ns = 0;
        unsigned int nr = 0;
    };
    bool parse(const Packet& frame, Frame& f) const;

    // Sending.
    bool xmit(Packet& frame);
    bool tx_cmd_resp(int code, bool pf, bool command);
    bool tx_cmd(int code, bool p) { return tx_cmd_resp(code, p, true); }
    bool tx_response(int code, bool f) { return tx_cmd_resp(code, f, false); }
    bool tx_iframe(const Packet& message, bool p);
    void tx_identity(unsigned short ri, int ai, unsigned char type);
    unsigned char address1(bool command) const;
    unsigned char address2() const { return static_cast<unsigned char>(self_tei * 2 + 1); }
    void trace(const char* what, const Packet& frame) const;

    // Procedures.
    void establish_dl();
    void clear_exceptions();
    void retransmission(Seq nr);
    void tx_enquiry();
    void tx_enquiry_response();
    void nr_recovery();
    void nr_error();
    bool nr_valid(Seq nr) const { return (VA <= nr) <= VS; }
    void discard_queue();
    void change_state(unsigned int s);
    void set_flow_status(FlowStatus::Type s);
    // The oldest queued message, lost to an exhausted packet pool.
    void drop_message();
    void no_packet_for_frame();

    // Pending work, run after every event.
    void local_events();
    void ack_queue_refreash();
    void queued_up();
    void ack_pending();

    // Received frames, by type.
    void on_SABME(const Frame& f);
    void on_DISC(const Frame& f);
    void on_UA(const Frame& f);
    void on_DM(const Frame& f);
    void on_FRMR(const Frame& f);
    void on_RR(const Frame& f);
    void on_REJ(const Frame& f);
    void on_RNR(const Frame& f);
    void on_ICOM(const Frame& f, Packet& info);
    void on_UI(Packet& info);
    void s_frame_in_recovery(const Frame& f);
    bool s_frame_begin(const Frame& f, bool busy);
    bool s_frame_checked(const Frame& f);
    void trace_frame(const char* name, const Frame& f, bool with_pf) const;

    // One timer carries T200, T202 or T203.
    void start_T200();
    void start_T202();
    void start_T203();
    void stop_T200();
    void stop_T202();
    void stop_T203();
    void on_T200(Timer*);
    void on_T202(Timer*);
    void on_T203(Timer*);
    void on_T200A();
    void on_T202A();
    void on_T203A();

    void fill_info(ACP::IsdnLinkInfo& info) const;

    Side::type side_;
    Stats stats_;
    Notify* notify_ = nullptr;
    FlowStatus::Type flow_status_ = FlowStatus::normal;
    mutable ACP::IsdnLinkInfo last_info_;
    unsigned int linkno_ = 0;
    unsigned int log_;
    bool bri_ = false;
    unsigned short Ri_ = 0;
    Timer timer_;
    CleanQueue<Packet, 135> out_queue_;
    CleanQueue<Packet, k> ack_queue_;
    Protocol_name_str protocol_name_{"ISDN::LAPD"};
    GenericHDLC* hdlc_ = nullptr;
    // Lines that a refusing channel, an empty pool, a flooding controller or a
    // far end's TEI management would otherwise repeat for every frame or message.
    RepeatedLine tx_full_line_;
    RepeatedLine overflow_line_;
    RepeatedLine rx_pool_line_;
    RepeatedLine tx_pool_line_;
    RepeatedLine frame_pool_line_;
    RepeatedLine tei_denied_line_;
    RepeatedLine tei_removed_line_;
    LastingCondition idle_polls_;  // T203 expiries of an established link
};

std::ostream& operator<<(std::ostream& os, const LAPD::Stats& s);

}  // namespace ISDN
