// The LAPD entity's handling of each received frame type, state by state.
#include <iostream>

#include "core/output.h"
#include "signalling/lapd.h"

namespace ISDN {

void LAPD::trace_frame(const char* name, const Frame& f, bool with_pf) const {
    if (log_ <= 3) return;
    std::clog << ext::header(this) << name << (f.command ? "command" : "response");
    if (with_pf) std::clog << " pf=" << f.pf;
    std::clog << std::endl;
}

void LAPD::on_SABME(const Frame& f) {
    trace_frame("SABME ", f, false);
    VS = VA = VR = 0;
    ack_queue_.clear();
    switch (state) {
    case tei_assigned:
        if (!establishable) {
            tx_response(DM, f.pf);
            break;
        }
        tx_response(UA, f.pf);
        clear_exceptions();
        start_T203();
        change_state(multiple_frame_established);
        on_activate();
        break;
    case awaiting_establishment:
        tx_response(UA, f.pf);  // collision: both sides asked
        break;
    case awaiting_release:
        tx_response(DM, f.pf);
        break;
    case multiple_frame_established:
    case timer_recovery:
        tx_response(UA, f.pf);
        clear_exceptions();
        on_error(32u);
        change_state(multiple_frame_established);
        on_activate();
        stop_T200();
        start_T203();
        break;
    default:
        break;
    }
}

void LAPD::on_DISC(const Frame& f) {
    trace_frame("DISC ", f, false);
    switch (state) {
    case tei_assigned:
    case awaiting_establishment:
        tx_response(DM, f.pf);
        break;
    case awaiting_release:
        tx_response(UA, f.pf);
        break;
    case multiple_frame_established:
    case timer_recovery: {
        const bool established = state == multiple_frame_established;
        discard_queue();
        tx_response(UA, f.pf);
        stop_T200();
        if (established) stop_T203();
        change_state(tei_assigned);
        on_deactivate(new Status(this, "remote error (DISC received)"));
        break;
    }
    default:
        break;
    }
}

// Only an awaited UA resets the sequence numbers: elsewhere the frames in flight stay.
void LAPD::on_UA(const Frame& f) {
    trace_frame("UA ", f, false);
    switch (state) {
    case tei_assigned:
    case multiple_frame_established:
    case timer_recovery:
        on_error(f.pf ? 4u : 8u);
        break;
    case awaiting_establishment:
        if (!f.pf) {
            on_error(8u);
            break;
        }
        VS = VA = VR = 0;
        ack_queue_.clear();
        change_state(multiple_frame_established);
        stop_T200();
        start_T203();
        on_activate();
        break;
    case awaiting_release:
        VS = VA = VR = 0;
        ack_queue_.clear();
        if (!f.pf) {
            on_error(8u);
            break;
        }
        stop_T200();
        change_state(tei_assigned);
        on_deactivate(new Protocol_status_success(this, "success (UA received)"));
        break;
    default:
        break;
    }
}

void LAPD::on_DM(const Frame& f) {
    trace_frame("DM ", f, false);
    const bool final_response = !f.command && f.pf;
    switch (state) {
    case tei_assigned:
        if (!f.command && !f.pf && establishable) {
            establish_dl();
            l3_initiated = true;
            change_state(awaiting_establishment);
        }
        break;
    case awaiting_establishment:
        if (!final_response) break;
        discard_queue();
        stop_T200();
        change_state(tei_assigned);
        on_deactivate(new Status(this, "error (DM received)"));
        break;
    case awaiting_release:
        if (!final_response) break;
        stop_T200();
        change_state(tei_assigned);
        on_deactivate(new Status(this, "error (DM received)"));
        break;
    case multiple_frame_established:
        if (final_response) {
            on_error(2u);
            break;
        }
        on_error(16u);
        establish_dl();
        l3_initiated = false;
        change_state(awaiting_establishment);
        break;
    case timer_recovery:
        on_error(final_response ? 2u : 16u);
        establish_dl();
        l3_initiated = false;
        change_state(awaiting_establishment);
        break;
    default:
        break;
    }
}

void LAPD::on_FRMR(const Frame& f) {
    trace_frame("FRMR ", f, true);
    if (state != multiple_frame_established && state != timer_recovery) return;
    on_error(1024u);
    establish_dl();
    l3_initiated = false;
    change_state(awaiting_establishment);
}

// An S frame in timer recovery: only a response with F = 1 ends the recovery.
void LAPD::s_frame_in_recovery(const Frame& f) {
    const bool rnr = f.control == RNR;
    if (f.command && f.pf) tx_enquiry_response();
    if (f.command || !f.pf) {
        if (nr_valid(f.nr)) {
            VA = f.nr;
        } else {
            if (f.control == RR && log_ > 3)
                std::clog << ext::header(this) << "receive RR with out of order N(R)" << std::endl;
            nr_error();
        }
        return;
    }
    if (!nr_valid(f.nr)) {
        nr_recovery();
        change_state(awaiting_establishment);
        ++stats_.nr_errors;
        return;
    }
    if (rnr) {
        start_T200();
    } else {
        stop_T200();
        start_T203();
    }
    retransmission(f.nr);
    change_state(multiple_frame_established);
}

// The start every S frame shares: false when it is not for the established
// states or timer recovery has taken it.
bool LAPD::s_frame_begin(const Frame& f, bool busy) {
    if (state != multiple_frame_established && state != timer_recovery) return false;
    peer_busy = busy;
    if (state == timer_recovery) {
        s_frame_in_recovery(f);
        return false;
    }
    return true;
}

// REJ and RNR: a poll is answered, a final is an MDL error; false after an N(R) error.
bool LAPD::s_frame_checked(const Frame& f) {
    if (f.pf) {
        if (f.command) tx_enquiry_response();
        else on_error(1u);
    }
    if (!nr_valid(f.nr)) {
        nr_error();
        return false;
    }
    return true;
}

void LAPD::on_RR(const Frame& f) {
    trace_frame("RR ", f, true);
    if (!s_frame_begin(f, false)) return;
    if (f.pf) {
        if (f.command)
            tx_enquiry_response();
        else if (log_ > 3)
            std::clog << ext::header(this) << "receive RR (solicited response) in MFE_EST" << std::endl;
    }
    if (!nr_valid(f.nr)) {
        if (log_ > 3) std::clog << ext::header(this) << "receive RR with out of order N(R)" << std::endl;
        nr_error();
        return;
    }
    if (f.nr == VS) {
        VA = f.nr;
        stop_T200();
        start_T203();
    } else if (f.nr != VA) {
        VA = f.nr;
        start_T200();
    }
}

void LAPD::on_REJ(const Frame& f) {
    trace_frame("REJ ", f, true);
    if (!s_frame_begin(f, false) || !s_frame_checked(f)) return;
    stop_T200();
    start_T203();
    retransmission(f.nr);
}

void LAPD::on_RNR(const Frame& f) {
    trace_frame("RNR ", f, true);
    if (!s_frame_begin(f, true) || !s_frame_checked(f)) return;
    VA = f.nr;
    stop_T203();
    start_T200();
}

void LAPD::on_ICOM(const Frame& f, Packet& info) {
    if (log_ > 3) std::clog << ext::header(this) << "I-Command" << " pf=" << f.pf << std::endl;
    if (state != multiple_frame_established && state != timer_recovery) return;
    bool deliver = false;
    // A frame out of sequence, a repeat of one already taken included, still
    // carries an acknowledgement: its N(R) is processed below like any other.
    if (f.ns != VR) {
        ++stats_.out_of_sequence;
        if (!reject_exception) {
            reject_exception = true;
            tx_response(REJ, f.pf);
            acknowledge_request = false;
        } else if (f.pf) {
            tx_response(RR, true);
            acknowledge_request = false;
        }
    } else {
        ++VR;
        reject_exception = false;
        ++stats_.in_sequence;
        if (f.pf) {
            acknowledge_request = false;
            tx_response(RR, true);
        } else {
            acknowledge_request = true;
        }
        deliver = true;
    }
    if (nr_valid(f.nr)) {
        if (!peer_busy && state == multiple_frame_established) {
            if (f.nr == VS) {
                stop_T200();
                start_T203();
            } else if (f.nr != VA) {
                start_T200();
            }
        }
        VA = f.nr;
    } else {
        nr_error();
    }
    // Last, so that whatever layer 3 does from here meets consistent variables.
    if (deliver) on_message(info);
}

}  // namespace ISDN
