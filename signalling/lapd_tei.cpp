// The user side's TEI management on a basic-rate line, and the MDL error
// reports of the LAPD entity.
#include <cstdlib>
#include <iostream>

#include "core/output.h"
#include "signalling/lapd.h"

namespace ISDN {

using enum Q921::TeiMessage;
using Q921::kManagementEntity;

namespace {

const char* mdl_text(unsigned int code) {
    switch (code) {
    case 1: return "Supervisory (F = 1)";
    case 2: return "DM (F = 1)";
    case 4: return "UA (F = 1)";
    case 8: return "UA (F = 0)";
    case 16: return "Receipt of DM response (F = 0)";
    case 32: return "Peer initiated re-establishment - SABME";
    case 64: return "Unsuccessful retransmission (N200 times) - SABME";
    case 128: return "Unsuccessful retransmission (N200 times) - DISC";
    case 256: return "Unsuccessful retransmission (N200 times) - Status enquiry";
    case 512: return "Other - N(R) error";
    case 1024: return "Other - Receipt of FRMR response";
    case 2048: return "Other - Receipt of undefined frame";
    case 4096: return "Other - Receipt of I field not permitted";
    case 8192: return "Other - Receipt of frame with wrong size";
    case 16384: return "Other - N201 error";
    case 32768: return "Tei Assign - Tei denied";
    default: return "Other - Unknown";
    }
}

}  // namespace

void LAPD::on_error(unsigned int code) {
    on_error(mdl_text(code));
}

void LAPD::on_error(const char* text) {
    on_status(new Status(this, text));
}

void LAPD::mdl_assign(unsigned char tei) {
    if (log_ > 1) std::clog << ext::header(this) << "MDL-ASSIGN" << " (tei=" << unsigned(tei) << ")" << std::endl;
    self_tei = tei;
    if (state == establish_awaiting_tei) {
        establish_dl();
        l3_initiated = true;
        change_state(awaiting_establishment);
    } else {
        change_state(tei_assigned);
    }
}

void LAPD::mdl_remove() {
    if (auto line = tei_removed_line_.Admit()) line << ext::header(this) << "MDL-REMOVE";
    Protocol_status st = new Status(this, "error (MDL-REMOVE received)");
    switch (state) {
    case tei_assigned:
        discard_queue();
        change_state(tei_unassigned);
        break;
    case awaiting_establishment:
        discard_queue();
        stop_T200();
        change_state(tei_unassigned);
        on_deactivate(st);
        break;
    case awaiting_release:
        stop_T200();
        change_state(tei_unassigned);
        on_deactivate(st);
        break;
    case multiple_frame_established:
        discard_queue();
        stop_T200();
        stop_T203();
        change_state(tei_unassigned);
        on_deactivate(st);
        break;
    case timer_recovery:
        discard_queue();
        stop_T200();
        change_state(tei_unassigned);
        on_deactivate(st);
        break;
    default:
        break;
    }
}

void LAPD::BeginTeiAssignProcedure() {
    if (!bri_ || side_ != Side::user) return;
    change_state(assign_awaiting_tei);
    on_mdl_assign();
    Ri_ = static_cast<unsigned short>(std::rand() & 0xFFFF);
    tx_identity(Ri_, kGroupTei, identity_request);
    RC = 0;
    stop_T200();
    stop_T203();
    start_T202();
}

void LAPD::tx_identity(unsigned short ri, int ai, unsigned char type) {
    if (!bri_) return;
    Packet p;
    try {
        prepare_head(p);
        p.put8(side_ == Side::user ? 0xFC : 0xFE);
        p.put8(0xFF);
        p.put8(UI);
        p.put8(kManagementEntity);
        p.put16(ri);  // low octet first, echoed back the same way
        p.put8(type);
        p.put8(static_cast<unsigned char>(ai * 2 + 1));
    } catch (const std::bad_alloc&) {
        no_packet_for_frame();
        return;
    }
    xmit(p);
}

void LAPD::on_T202A() {
    if (state != assign_awaiting_tei && state != establish_awaiting_tei) return;
    if (RC > N202) {
        // Given up: the next DL-ESTABLISH or DL-DATA request starts over.
        RC = 0;
        change_state(tei_unassigned);
        on_deactivate(new Status(this, "link error (T202 expired N202 times)"));
        return;
    }
    Ri_ = static_cast<unsigned short>(std::rand() & 0xFFFF);
    tx_identity(Ri_, kGroupTei, identity_request);
    start_T202();
    ++RC;
}

void LAPD::on_UI(Packet& info) {
    if (!bri_ || info.empty()) return;
    if (log_ > 3) std::clog << ext::header(this) << "on_UI()" << std::endl;
    if (peer_sapi != kTeiSapi) {
        if (side_ == Side::user) {
            if (state == awaiting_establishment) change_state(tei_assigned);
            if (state == tei_assigned) local_activate();
        }
        on_message(info);
        return;
    }
    const unsigned char* o = info.data();
    if (o[0] != kManagementEntity || info.length() < 5) return;
    const unsigned short ri = static_cast<unsigned short>(o[1] | o[2] << 8);
    const unsigned type = o[3];
    const int ai = o[4] >> 1;
    if (log_ > 3) std::clog << ext::header(this) << "on_UI() type=" << type << " Ai=" << ai << std::endl;
    const bool for_us = ai == kGroupTei || ai == self_tei;
    switch (type) {
    case identity_assigned:
        if ((state == assign_awaiting_tei || state == establish_awaiting_tei) && ri == Ri_) {
            stop_T202();
            mdl_assign(static_cast<unsigned char>(ai));
            start_T200();
        }
        break;
    case identity_denied:
        if (state == assign_awaiting_tei && ri == Ri_) {
            if (auto line = tei_denied_line_.Admit()) {
                line << ext::header(this) << "ASP returned: ";
                if (ai == kGroupTei)
                    line << "All TEI's used";
                else
                    line << "TEI " << ai << " denied";
            }
            on_error(32768u);
        }
        break;
    case identity_check_request:
        if (state >= tei_assigned && state <= timer_recovery && for_us)
            tx_identity(Ri_, self_tei, identity_check_response);
        break;
    case identity_remove:
        if (for_us) {
            // An establishment that waits for a TEI still waits for the new one.
            const bool establishing = state == establish_awaiting_tei;
            mdl_remove();
            BeginTeiAssignProcedure();
            if (establishing && state == assign_awaiting_tei) change_state(establish_awaiting_tei);
        }
        break;
    default:
        break;
    }
}

}  // namespace ISDN
