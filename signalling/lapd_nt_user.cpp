#include "signalling/lapd_nt_user.h"

#include <iostream>

#include "core/output.h"
#include "signalling/lapd_nt.h"

namespace ISDN {

void LAPD_NT_user::assign() {
    if (check != 0 && is_assigned()) {
        if (trace()) std::clog << ext::header(this) << "checked" << std::endl;
        check = 0;
        timers[1].reset();
        return;
    }
    if (trace()) std::clog << ext::header(this) << "assigned" << std::endl;
    vr = va = vs = 0;
    state = assigned;
    tx_U(Q921::kSABME, true, true);
    busy = 0;
    check = 0;
    timers[1].reset();
    outQueue.clear();
    window.clear();
    rc = 0;
    timers[0].set(kIdlePoll, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::unassign() {
    if (trace()) std::clog << ext::header(this) << "unassigned" << std::endl;
    state = unassigned;
    timers[0].reset();
    timers[1].reset();
}

void LAPD_NT_user::checking() {
    if (!is_assigned()) return;
    if (trace()) std::clog << ext::header(this) << "checking started" << std::endl;
    check = 1;
    timers[1].set(kCheckAnswer, &LAPD_NT_user::unassign, this);
}

void LAPD_NT_user::receive(Packet& frame, bool cr) {
    if (frame.length() < 3) return;
    const Packet& f = frame;
    const bool command = !cr;
    const unsigned char c = f[2];
    if ((c & 0x01) == 0) {
        if (!command || frame.length() < 4) return;
        const unsigned char second = f[3];
        frame.pull(4);
        on_I(frame, c >> 1, second >> 1, (second & 0x01) != 0);
        return;
    }
    if ((c & 0x03) == 0x01) {
        if (frame.length() < 4) return;
        const unsigned char nr = f[3] >> 1;
        const bool pf = (f[3] & 0x01) != 0;
        if (c == Q921::kRR)
            on_RR(nr, pf, cr);
        else if (c == Q921::kRNR)
            on_RNR(nr, pf, cr);
        else if (c == Q921::kREJ)
            on_REJ(nr, pf, cr);
        return;
    }
    const unsigned char type = c & 0xEF;
    const bool pf = (c & Q921::kPF) != 0;
    switch (type) {
    case Q921::kSABME:
        if (command) on_SABME(pf);
        break;
    case Q921::kDISC:
        if (command) on_DISC(pf);
        break;
    case Q921::kDM:
        if (!command) on_DM(pf);
        break;
    case Q921::kFRMR:
        if (!command) on_FRMR(pf);
        break;
    case Q921::kXID:
        on_XID(frame, pf, cr);
        break;
    default:
        break;  // UA, UI and the rest
    }
}

bool LAPD_NT_user::message(Packet& msg) {
    if (!is_assigned()) return false;
    // Waits behind earlier messages while the terminal is busy or the window is full.
    if (outQueue.count() >= kQueueLimit) {
        Packet oldest;
        outQueue.get(oldest);
        if (trace()) {
            if (auto line = queueFullLine.Admit())
                line << ext::header(this) << "queue full, oldest message dropped";
        }
    }
    outQueue.put(msg);
    send_queued();
    return true;
}

// Every new I frame gives the terminal a full repetition interval again; the
// repetitions already spent on unanswered frames still count.
void LAPD_NT_user::send_new(const Packet& msg) {
    window.put(msg);
    tx_I(msg, vr, vs);
    vs = (vs + 1) & 0x7F;
    state = wait_answer;
    timers[0].set(kRepeat, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::send_queued() {
    Packet msg;
    while (busy == 0 && window.count() < kWindow && outQueue.get(msg)) send_new(msg);
}

void LAPD_NT_user::settle(bool advanced) {
    if (!is_assigned()) return;
    if (va == vs) {
        // All answered: the next frame starts its repetitions afresh.
        state = assigned;
        rc = 0;
        timers[0].set(kIdlePoll, &LAPD_NT_user::on_timer, this);
    } else if (advanced || state != wait_answer) {
        state = wait_answer;
        rc = 0;
        timers[0].set(kRepeat, &LAPD_NT_user::on_timer, this);
    }
}

void LAPD_NT_user::on_I(Packet& info, unsigned char ns, unsigned char nr, bool p) {
    if (trace()) std::clog << ext::header(this) << "received I frame" << std::endl;
    const bool in_sequence = ns == vr;
    if (in_sequence) {
        vr = (vr + 1) & 0x7F;
        if (p) tx_S(Q921::kRR, true, false);
    } else {
        tx_S(Q921::kREJ, p, false);
    }
    const unsigned char old_va = va;
    if (!ack_queue(nr)) {
        unassign();
    } else {
        send_queued();
        settle(va != old_va);
    }
    // Shorter than call reference and message type: counted in V(R), not passed up.
    if (!in_sequence || info.length() < 4) return;
    // Recorded even when the frame cost the TEI its link: the terminal keeps the
    // TEI, and its calls are served again once it is taken back.
    lapd->heard_call(static_cast<const Packet&>(info)[2], tei);
    lapd->send_to_layer3(info);
}

void LAPD_NT_user::on_RR(unsigned char nr, bool pf, bool cr) {
    if (trace()) std::clog << ext::header(this) << "received RR frame" << std::endl;
    if (!cr && pf) tx_S(Q921::kRR, true, false);
    const unsigned char old_va = va;
    if (!ack_queue(nr)) {
        unassign();
        return;
    }
    set_unbusy();
    settle(va != old_va);
}

void LAPD_NT_user::on_RNR(unsigned char nr, bool pf, bool cr) {
    if (trace()) std::clog << ext::header(this) << "received RNR frame" << std::endl;
    set_busy();
    if (!cr && pf) tx_S(Q921::kRR, true, false);
    const unsigned char old_va = va;
    if (!ack_queue(nr)) {
        unassign();
        return;
    }
    // A busy terminal that answers the poll is still there: polling starts over.
    settle(va != old_va || (cr && pf));
}

void LAPD_NT_user::on_REJ(unsigned char nr, bool pf, bool cr) {
    if (trace()) std::clog << ext::header(this) << "received REJ frame" << std::endl;
    if (!cr && pf) tx_S(Q921::kRR, true, false);
    // Q.921: frames before N(R) are acknowledged, the rest is sent again.
    if (!ack_queue(nr)) {
        unassign();
        return;
    }
    retransmit();
    set_unbusy();
    state = wait_answer;
    rc = 0;
    timers[0].set(kRepeat, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::on_SABME(bool pf) {
    if (trace()) std::clog << ext::header(this) << "received SABME frame" << std::endl;
    vr = va = vs = 0;
    if (pf) tx_U(Q921::kUA, true, false);
    window.clear();
    set_unbusy();
    settle(true);
}

void LAPD_NT_user::on_DM(bool) {
    if (trace()) std::clog << ext::header(this) << "received DM frame" << std::endl;
    unassign();
}

void LAPD_NT_user::on_DISC(bool pf) {
    if (trace()) std::clog << ext::header(this) << "received DISC frame" << std::endl;
    if (pf) tx_U(Q921::kUA, true, false);
    unassign();
}

void LAPD_NT_user::on_FRMR(bool) {
    if (trace()) std::clog << ext::header(this) << "received FRMR frame" << std::endl;
    unassign();
}

void LAPD_NT_user::on_XID(Packet&, bool, bool) {
    if (trace()) std::clog << ext::header(this) << "received XID frame" << std::endl;
}

void LAPD_NT_user::tx_U(unsigned char type, bool pf, bool command) {
    Packet p = lapd->new_frame();
    if (p.null()) return;
    p.put8(command ? Q921::kNetworkCommand : Q921::kNetworkResponse);
    p.put8(static_cast<unsigned char>(tei * 2 + 1));
    p.put8(static_cast<unsigned char>(type | (pf ? Q921::kPF : 0)));
    lapd->send_to_layer1(p);
}

void LAPD_NT_user::tx_S(unsigned char type, bool pf, bool command) {
    Packet p = lapd->new_frame();
    if (p.null()) return;
    p.put8(command ? Q921::kNetworkCommand : Q921::kNetworkResponse);
    p.put8(static_cast<unsigned char>(tei * 2 + 1));
    p.put8(type);
    p.put8(static_cast<unsigned char>(vr * 2 + (pf ? 1 : 0)));
    lapd->send_to_layer1(p);
}

void LAPD_NT_user::tx_I(const Packet& msg, unsigned char nr, unsigned char ns) {
    // The header goes on a copy; the kept message stays bare for a later retransmission.
    Packet frame = lapd->new_frame();
    if (frame.null()) return;
    frame.put(msg);
    frame.push8(static_cast<unsigned char>(nr * 2 + 1));  // P = 1
    frame.push8(static_cast<unsigned char>(ns * 2));
    frame.push8(static_cast<unsigned char>(tei * 2 + 1));
    frame.push8(Q921::kNetworkCommand);
    lapd->send_to_layer1(frame);
}

void LAPD_NT_user::on_timer() {
    if (state == assigned) {
        state = wait_answer;
        tx_S(Q921::kRR, true, true);
        rc = 0;
        timers[0].set(kRepeat, &LAPD_NT_user::on_timer, this);
        return;
    }
    if (state != wait_answer) return;
    if (rc >= kRepeats) {
        if (trace()) std::clog << ext::header(this) << "T200 expiried N200 times" << std::endl;
        unassign();
        return;
    }
    ++rc;
    // A busy terminal is asked for its state rather than sent frames it cannot take.
    if (vs == va || busy != 0)
        tx_S(Q921::kRR, true, true);
    else
        retransmit();
    timers[0].set(kRepeat, &LAPD_NT_user::on_timer, this);
}

void LAPD_NT_user::retransmit() {
    if (trace()) std::clog << ext::header(this) << "retransmit queue" << std::endl;
    const unsigned n = window.count();
    for (unsigned i = 0; i < n; ++i) {
        Packet msg;
        window.get(msg);
        tx_I(msg, vr, static_cast<unsigned char>((va + i) & 0x7F));
        window.put(msg);
    }
}

bool LAPD_NT_user::ack_queue(unsigned char nr) {
    if (trace()) std::clog << ext::header(this) << "ack queue" << std::endl;
    if (nr == va) return true;
    const unsigned acked = (nr - va) & 0x7F;
    // Q.921: N(R) must lie in V(A)..V(S).
    if (acked > ((vs - va) & 0x7FU)) return false;
    Packet done;
    for (unsigned i = 0; i < acked; ++i) window.get(done);
    va = nr;
    return true;
}

void LAPD_NT_user::set_busy() {
    if (busy == 0 && trace()) std::clog << ext::header(this) << "set busy" << std::endl;
    busy = 1;
}

void LAPD_NT_user::set_unbusy() {
    if (busy != 0 && trace()) std::clog << ext::header(this) << "set unbusy" << std::endl;
    busy = 0;
    send_queued();
}

void LAPD_NT_user::PutHeader(std::ostream& os) const {
    os << "LAPD_user(NT BRI)[";
    if (state == unassigned) {
        os << "unassigned]:";
        return;
    }
    os << "Tei=" << unsigned(tei) << (state == assigned ? ",assigned" : ",wait_answer");
    if (check != 0) os << ",check";
    if (busy != 0) os << ",busy";
    os << "]";
}

}  // namespace ISDN
