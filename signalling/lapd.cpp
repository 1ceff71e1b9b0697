#include "signalling/lapd.h"

#include <iostream>
#include <new>

#include "core/output.h"
#include "signalling/dlogframe.h"

namespace ISDN {

LAPD::LAPD(Side::type side, unsigned int log) : side_(side), log_(log) {
    discard_queue();
}

void LAPD::PutHeader(std::ostream& os) const {
    os << "LAPD[" << linkno_ << "] (" << statetext(state) << "): ";
}

// ---- requests from layer 3 ----

void LAPD::local_activate() {
    if (log_ != 0) std::clog << ext::header(this) << "DL-ESTABLISH" << std::endl;
    switch (state) {
    case tei_unassigned:
        RC = 0;
        on_mdl_assign();
        BeginTeiAssignProcedure();
        change_state(establish_awaiting_tei);
        break;
    case assign_awaiting_tei:
        change_state(establish_awaiting_tei);
        break;
    case tei_assigned:
        establish_dl();
        l3_initiated = true;
        change_state(awaiting_establishment);
        break;
    case awaiting_establishment:
        discard_queue();
        l3_initiated = true;
        break;
    case multiple_frame_established:
    case timer_recovery:
        discard_queue();
        establish_dl();
        l3_initiated = true;
        change_state(awaiting_establishment);
        break;
    default:
        break;
    }
}

void LAPD::local_deactivate() {
    if (log_ > 1) std::clog << ext::header(this) << "DL-RELEASE" << std::endl;
    Protocol_status st = new Protocol_status_success(this, "success (deactivated locally)");
    switch (state) {
    case tei_assigned:
        on_deactivate(st);
        break;
    case awaiting_establishment:
        discard_queue();
        RC = 0;
        tx_cmd(DISC, true);
        stop_T203();
        stop_T202();
        start_T200();
        change_state(tei_assigned);
        on_deactivate(st);
        break;
    case multiple_frame_established:
    case timer_recovery:
        discard_queue();
        RC = 0;
        tx_cmd(DISC, true);
        if (state == multiple_frame_established) stop_T203();
        start_T200();
        change_state(awaiting_release);
        break;
    default:
        break;
    }
}

void LAPD::message(Packet& p) {
    take_message(p);
}

bool LAPD::take_message(Packet& p) {
    ++stats_.from_above;
    if (p.empty()) {
        ++stats_.empty_messages;
        return false;
    }
    if (out_queue_.count() > kMaxQueued) {
        if (auto line = overflow_line_.Admit())
            line << ext::header(this) << "discard outgoing message: buffer overflow";
        ++stats_.out_overflows;
        return false;
    }
    if (log_ > 2) {
        if (out_queue_.count() > k)
            std::clog << ext::header(this) << "outgoing queue size = " << out_queue_.count()
                      << " tx counter = " << stats_.from_above << std::endl;
        std::clog << ext::header(this) << "add to tx queue: " << p << std::endl;
    }
    out_queue_.put(p);
    queued_up_request = true;
    if (state == tei_unassigned) {
        // After a failed assignment the link would otherwise wait for the network forever.
        BeginTeiAssignProcedure();
        if (state == tei_unassigned) change_state(assign_awaiting_tei);
    }
    if (out_queue_.count() > kCongestedAbove) set_flow_status(FlowStatus::congested);
    local_events();
    return true;
}

// ---- frames out ----

unsigned char LAPD::address1(bool command) const {
    const bool cr = side_ == Side::user ? !command : command;
    return static_cast<unsigned char>(self_sapi * 4 + (cr ? 2 : 0));
}

bool LAPD::tx_cmd_resp(int code, bool pf, bool command) {
    Packet p;
    try {
        prepare_head(p);
        p.put8(address1(command));
        p.put8(address2());
        switch (code) {
        case RR:
        case RNR:
        case REJ:
            p.put8(static_cast<unsigned char>(code * 4 + 1));
            p.put8(static_cast<unsigned char>(VR * 2 + (pf ? 1 : 0)));
            break;
        case UI:
        case DM:
        case DISC:
        case UA:
        case SABME:
        case FRMR:
        case XID:
            p.put8(static_cast<unsigned char>(code + (pf ? Q921::kPF : 0)));
            break;
        default:
            break;
        }
    } catch (const std::bad_alloc&) {
        no_packet_for_frame();
        return false;
    }
    return xmit(p);
}

// The queued message keeps no header; each transmission puts a fresh one on a copy.
bool LAPD::tx_iframe(const Packet& message, bool p) {
    Packet frame = message;
    if (frame._headroom() < kHeader) {
        frame.clear();
        prepare_head(frame);
        frame.put(message);
    }
    unsigned char* h = frame.push(kHeader);
    h[0] = address1(true);
    h[1] = address2();
    h[2] = static_cast<unsigned char>(VS * 2);
    h[3] = static_cast<unsigned char>(VR * 2 + (p ? 1 : 0));
    return xmit(frame);
}

bool LAPD::xmit(Packet& frame) {
    if (hdlc_ == nullptr) {
        if (log_ > 3) std::clog << ext::header(this) << "no HDLC device attached!!!" << std::endl;
        return false;
    }
    if (!hdlc_->hdlc_transmit(frame)) {
        if (auto line = tx_full_line_.Admit()) line << ext::header(this) << "tx full";
        return false;
    }
    if (log_ > 2) trace("tx: ", frame);
    return true;
}

void LAPD::trace(const char* what, const Packet& frame) const {
    const bool tx = what[0] == 't';
    const int direction = (side_ == Side::user) != tx ? 1 : 0;
    dlogframe(frame.data(), static_cast<int>(frame.length()), direction, logbuf);
    std::clog << ext::header(this) << what << logbuf << std::flush;
}

// ---- frames in ----

bool LAPD::parse(const Packet& frame, Frame& f) const {
    const unsigned n = frame.length();
    if (n < 3) return false;
    const unsigned char* o = frame.data();
    if ((o[0] & 1) != 0 || (o[1] & 1) == 0) return false;
    f.sapi = o[0] >> 2;
    f.tei = o[1] >> 1;
    const bool cr = (o[0] & 2) != 0;
    f.command = side_ == Side::user ? cr : !cr;
    if (bri_ && side_ == Side::user && f.tei != self_tei && f.tei != kGroupTei) return false;
    const unsigned c = o[2];
    if ((c & 1) == 0) {
        f.kind = Frame::I;
        f.ns = c >> 1;
    } else if ((c & 3) == 1) {
        f.kind = Frame::S;
        f.control = (c >> 2) & 3;
    } else {
        f.kind = Frame::U;
        f.control = c & 0xEF;
        f.pf = (c & Q921::kPF) != 0;
    }
    if (f.kind != Frame::U) {
        if (n < 4) return false;
        f.nr = o[3] >> 1;
        f.pf = (o[3] & 1) != 0;
    }
    // Other SAPIs are not ours; SAPI 63 carries only the TEI management UI frames.
    if (f.sapi == self_sapi) return true;
    return f.sapi == kTeiSapi && f.kind == Frame::U && f.control == UI;
}

void LAPD::receive(Packet& frame) {
    // Shorter frames decode to no text: a trace line would be left open.
    if (frame.length() < 3) return;
    if (log_ > 2) trace("rx:", frame);
    Frame f;
    if (!parse(frame, f)) return;
    // The information field in place; a shared frame needs a buffer of its own.
    const unsigned header = f.kind == Frame::I ? kHeader : 3;
    if (f.kind == Frame::I || (f.kind == Frame::U && f.control == UI)) {
        try {
            frame.pull(header);
        } catch (const std::bad_alloc&) {
            ++stats_.errors;
            if (auto line = rx_pool_line_.Admit())
                line << ext::header(this) << "packet pool exhausted: received frame dropped";
            return;
        }
    }
    peer_sapi = f.sapi;
    peer_tei = f.tei;
    switch (f.kind) {
    case Frame::I:
        on_ICOM(f, frame);
        break;
    case Frame::S:
        if (f.control == RR) on_RR(f);
        else if (f.control == RNR) on_RNR(f);
        else if (f.control == REJ) on_REJ(f);
        break;
    case Frame::U:
        switch (f.control) {
        case DISC: on_DISC(f); break;
        case UI: on_UI(frame); break;
        case DM: on_DM(f); break;
        case SABME: on_SABME(f); break;
        case UA: on_UA(f); break;
        case FRMR: on_FRMR(f); break;
        default: break;
        }
        break;
    }
    local_events();
}

// ---- pending work ----

void LAPD::local_events() {
    ack_queue_refreash();
    queued_up();
    ack_pending();
    if (out_queue_.count() < kNormalBelow) set_flow_status(FlowStatus::normal);
}

void LAPD::ack_queue_refreash() {
    const unsigned outstanding = VS - VA;
    unsigned acknowledged = 0;
    Packet done;
    while (ack_queue_.count() > outstanding && ack_queue_.get(done)) ++acknowledged;
    done.clear();
    if (acknowledged != 0 && log_ > 2)
        std::clog << ext::header(this) << "acknowledge " << acknowledged << " frames" << " VS=" << VS
                  << " VA=" << VA << std::endl;
    if (log_ > 2 && out_queue_.empty()) std::clog << ext::header(this) << "outgoing queue empty." << std::endl;
    if (!retransmission_request) return;
    if (log_ != 0 && !ack_queue_.empty())
        std::clog << ext::header(this) << "retransmission " << " VS=" << VS << " VA=" << VA << std::endl;
    VS = VA;
    // Newest first to the front, so the oldest unacknowledged frame leaves first.
    Packet again;
    while (ack_queue_.get_last(&again)) {
        out_queue_.append(again);
        ++stats_.retrains;
    }
    retransmission_request = false;
}

void LAPD::queued_up() {
    while (queued_up_request) {
        queued_up_request = false;
        switch (state) {
        case multiple_frame_established: {
            if (peer_busy || VS == VA + k) {
                queued_up_request = true;
                return;
            }
            Packet msg;
            if (!out_queue_.preview(&msg)) return;
            bool sent;
            try {
                sent = tx_iframe(msg, false);
            } catch (const std::bad_alloc&) {
                drop_message();
                queued_up_request = !out_queue_.empty();
                return;
            }
            if (!sent) {
                queued_up_request = true;
                return;
            }
            out_queue_.get(msg);
            if (!ack_queue_.put(msg)) {
                std::clog << ext::header(this) << "ack queue overflow!" << std::endl;
                ++stats_.ack_overflows;
            }
            ++VS;
            acknowledge_request = false;
            if (!T200_running) {
                stop_T203();
                start_T200();
            }
            if (!out_queue_.empty()) queued_up_request = true;
            break;
        }
        case timer_recovery:
            queued_up_request = true;
            return;
        case awaiting_establishment:
            if (!l3_initiated) queued_up_request = true;
            return;
        default:
            return;
        }
    }
}

void LAPD::drop_message() {
    Packet gone;
    out_queue_.get(gone);
    ++stats_.errors;
    if (auto line = tx_pool_line_.Admit())
        line << ext::header(this) << "packet pool exhausted: outgoing message dropped";
}

void LAPD::no_packet_for_frame() {
    if (auto line = frame_pool_line_.Admit())
        line << ext::header(this) << "no packet for a frame: pool exhausted";
}

void LAPD::ack_pending() {
    if (state != multiple_frame_established && state != timer_recovery) return;
    if (acknowledge_request && tx_response(RR, false)) acknowledge_request = false;
}

void LAPD::set_flow_status(FlowStatus::Type s) {
    if (s == flow_status_) return;
    flow_status_ = s;
    if (notify_ != nullptr) notify_->OnLAPD_FlowStatusChange(this);
}

// ---- procedures ----

void LAPD::clear_exceptions() {
    peer_busy = false;
    own_busy = false;
    reject_exception = false;
    acknowledge_request = false;
}

void LAPD::establish_dl() {
    clear_exceptions();
    RC = 0;
    tx_cmd(SABME, true);
    stop_T203();
    start_T200();
}

void LAPD::retransmission(Seq nr) {
    VA = nr;
    retransmission_request = true;
    queued_up_request = true;
}

void LAPD::tx_enquiry() {
    if (log_ > 3) std::clog << ext::header(this) << "tx_enquiry, ownBusy=" << own_busy << std::endl;
    tx_cmd(own_busy ? RNR : RR, true);
    acknowledge_request = false;
    start_T200();
}

void LAPD::tx_enquiry_response() {
    if (log_ > 3) std::clog << ext::header(this) << "tx_enquiry_response" << std::endl;
    tx_response(own_busy ? RNR : RR, true);
    acknowledge_request = false;
}

void LAPD::nr_recovery() {
    on_error(512u);
    establish_dl();
    l3_initiated = false;
}

// Q.921 5.7.4: an N(R) outside V(A)..V(S) re-establishes the link.
void LAPD::nr_error() {
    ++stats_.nr_errors;
    nr_recovery();
    change_state(awaiting_establishment);
}

void LAPD::discard_queue() {
    if (log_ != 0)
        std::clog << ext::header(this) << "discard queue " << " OutData=" << out_queue_.count()
                  << " AckData=" << ack_queue_.count() << std::endl;
    out_queue_.clear();
    ack_queue_.clear();
}

void LAPD::change_state(unsigned int s) {
    if (s == state) return;
    if (s != multiple_frame_established && s != timer_recovery) idle_polls_.End();
    const bool recovery_swap = (s == multiple_frame_established && state == timer_recovery) ||
                               (s == timer_recovery && state == multiple_frame_established);
    if (log_ > 1 && !(recovery_swap && log_ <= 3))
        std::clog << "LAPD[" << linkno_ << "] : " << "change state " << ext::quoted(statetext(state)) << " -> "
                  << ext::quoted(statetext(s)) << std::endl;
    state = s;
    // Messages queued while the link was down go out once it is up.
    if (s == multiple_frame_established && !out_queue_.empty()) queued_up_request = true;
}

// ---- timers ----

void LAPD::start_T200() {
    if (T202_running) on_error("trying to start T200 while T202 running");
    if (T203_running) on_error("trying to start T200 while T203 running");
    stop_T200();
    T200_running = true;
    timer_.set(T200, &LAPD::on_T200, this);
}

void LAPD::start_T202() {
    if (T200_running) on_error("trying to start T202 while T200 running");
    if (T203_running) on_error("trying to start T202 while T203 running");
    stop_T202();
    T202_running = true;
    timer_.set(T202, &LAPD::on_T202, this);
}

void LAPD::start_T203() {
    if (T200_running) on_error("trying to start T203 while T200 running");
    if (T202_running) on_error("trying to start T203 while T202 running");
    stop_T203();
    T203_running = true;
    timer_.set(T203, &LAPD::on_T203, this);
}

void LAPD::stop_T200() {
    if (!T200_running) return;
    if (T203_running) on_error("trying to stop T200 while T203 running");
    if (T202_running) on_error("trying to stop T200 while T202 running");
    T200_running = false;
    timer_.reset();
}

void LAPD::stop_T202() {
    if (!T202_running) return;
    if (T200_running) on_error("trying to stop T202 while T200 running");
    if (T203_running) on_error("trying to stop T202 while T203 running");
    T202_running = false;
    timer_.reset();
}

void LAPD::stop_T203() {
    if (!T203_running) return;
    if (T200_running) on_error("trying to stop T203 while T200 running");
    if (T202_running) on_error("trying to stop T203 while T202 running");
    T203_running = false;
    timer_.reset();
}

void LAPD::on_T200(Timer*) {
    T200_running = false;
    ++stats_.T200_expiries;
    on_T200A();
    local_events();
}

void LAPD::on_T202(Timer*) {
    T202_running = false;
    ++stats_.T202_expiries;
    on_T202A();
    local_events();
}

void LAPD::on_T203(Timer*) {
    T203_running = false;
    ++stats_.T203_expiries;
    on_T203A();
    local_events();
}

void LAPD::on_T200A() {
    switch (state) {
    case awaiting_establishment:
        if (RC == N200) {
            discard_queue();
            on_error(64u);
            change_state(tei_assigned);
            on_deactivate(new Status(this, "link error (T200 expired N200 times)"));
        } else {
            ++RC;
            tx_cmd(SABME, true);
            start_T200();
        }
        break;
    case awaiting_release:
        if (RC == N200) {
            on_error(128u);
            change_state(tei_assigned);
            on_deactivate(new Status(this, "link error (T200 expired N200 times)"));
        } else {
            ++RC;
            tx_cmd(DISC, true);
            start_T200();
        }
        break;
    case multiple_frame_established:
        RC = 0;
        tx_enquiry();
        ++RC;
        if (log_ > 1) std::clog << ext::header(this) << "ack expired" << std::endl;
        change_state(timer_recovery);
        break;
    case timer_recovery:
        if (RC == N200) {
            if (log_ > 1) std::clog << ext::header(this) << "ack error !!!" << std::endl;
            on_error(256u);
            establish_dl();
            l3_initiated = false;
            change_state(awaiting_establishment);
        } else {
            if (log_ > 1) std::clog << ext::header(this) << "ack timeout expired RC=" << RC << std::endl;
            tx_enquiry();
            ++RC;
        }
        break;
    default:
        break;
    }
}

void LAPD::on_T203A() {
    // An idle link polls its peer every T203 for as long as it stays up.
    if (auto line = idle_polls_.Occurred(std::clog)) line << ext::header(this) << "T203.";
    if (state != multiple_frame_established) return;
    tx_enquiry();
    RC = 0;
    change_state(timer_recovery);
}

}  // namespace ISDN
