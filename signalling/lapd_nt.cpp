#include "signalling/lapd_nt.h"

#include <algorithm>
#include <iostream>
#include <iterator>
#include <new>

#include "core/output.h"

namespace ISDN {

namespace {
constexpr unsigned char kManagementAddress = 0xFE;  // SAPI 63, C/R 1
constexpr unsigned char kSetup = 0x05;
}  // namespace

LAPD_NT::LAPD_NT() {
    for (LAPD_NT_user& u : users) u.set_lapd(this);
    forget_all_calls();
}

LAPD_NT::~LAPD_NT() {
    checkTimer.reset();
}

void LAPD_NT::set_log(unsigned int level) {
    log = level;
    for (LAPD_NT_user& u : users) u.set_log(level);
}

void LAPD_NT::local_prepare_head(Packet& p) {
    p.reserve_head(Q921::kHeader);
}

void LAPD_NT::local_prepare_tail(Packet& p) {
    p.reserve_tail(0);
}

void LAPD_NT::local_activate() {
    if (trace()) std::clog << ext::header(this) << "activate" << std::endl;
    check_all_Tei();
    on_activate();
}

void LAPD_NT::local_deactivate() {
    if (trace()) std::clog << ext::header(this) << "deactivate" << std::endl;
    checkTimer.reset();
    for (LAPD_NT_user& u : users) u.unassign();
    forget_all_calls();
    // The layers below stop too, as with every layer of the stack.
    on_deactivate(new Protocol_status_success(this, "success (deactivated locally)"));
}

Packet LAPD_NT::new_frame() {
    Packet p;
    try {
        prepare_head(p);
        shortage_.Served();
    } catch (const std::bad_alloc&) {
        p.clear();
        if (auto line = shortage_.Refused())
            line << ext::header(this) << "packet pool exhausted: frames not sent";
    }
    return p;
}

void LAPD_NT::message(Packet& msg) {
    take_message(msg);
}

bool LAPD_NT::take_message(Packet& msg) {
    if (msg.length() < 4) return false;  // call reference and message type are needed
    if (static_cast<const Packet&>(msg)[3] == kSetup) {
        // A new call is offered to every terminal at once.
        Packet frame = msg;
        if (frame._headroom() < 3) {
            frame = new_frame();
            frame.put(msg);
        }
        frame.push8(Q921::kUI);
        frame.push8(Q921::kGroupTei * 2 + 1);
        frame.push8(Q921::kNetworkCommand);
        transmit(frame);
        return true;
    }
    const unsigned char tei = callerTei[static_cast<const Packet&>(msg)[2] & 0x7F];
    LAPD_NT_user* u = tei == kNoTei ? nullptr : find_Tei(tei);
    return u != nullptr && u->message(msg);
}

void LAPD_NT::receive(Packet& frame) {
    if (frame.length() <= 2) return;
    const Packet& f = frame;  // reads leave a shared buffer shared
    const unsigned char a0 = f[0], a1 = f[1];
    if ((a0 & 0x01) != 0 || (a1 & 0x01) == 0) return;
    const bool cr = (a0 & 0x02) != 0;
    const unsigned char sapi = a0 >> 2;
    const unsigned char tei = a1 >> 1;

    if (tei == Q921::kGroupTei) {
        if (f[2] != Q921::kUI) return;
        frame.pull(3);
        if (sapi == Q921::kTeiSapi)
            on_tei_procedure(frame);
        else
            send_to_layer3(frame);
        return;
    }
    if (LAPD_NT_user* u = find_Tei(tei)) {
        u->receive(frame, cr);
        return;
    }
    // A terminal that kept its TEI from an earlier assignment is taken back.
    if (LAPD_NT_user* u = find_free_Tei(tei)) {
        if (trace())
            std::clog << ext::header(this) << "Warning:recieved packet with unassigned TEI=" << unsigned(tei)
                      << std::endl;
        u->assign();
        u->receive(frame, cr);
        return;
    }
    if (auto line = traced(unknownTeiLine))
        line << ext::header(this) << "recieved packet with unassigned TEI=" << unsigned(tei) << ",removed";
    remove_twice(tei);
}

RepeatedLine::Line LAPD_NT::traced(RepeatedLine& line) {
    if (!trace()) return RepeatedLine::Line();
    return line.Admit();
}

void LAPD_NT::on_tei_procedure(Packet& frame) {
    const Packet& p = frame;
    if (p.length() < 5 || p[0] != Q921::kManagementEntity) return;
    const unsigned short ri = static_cast<unsigned short>(p[1] | (p[2] << 8));
    const unsigned char type = p[3];
    const unsigned char ai = p[4] >> 1;

    switch (type) {
    case identity_request:
        if (ai < kFirstAutoTei) {
            if (auto line = traced(ignoredLine))
                line << ext::header(this) << "recieved identity request with wrong Ai=" << unsigned(ai)
                     << ",ignored";
        } else if (ai != Q921::kGroupTei) {
            if (auto line = traced(deniedLine))
                line << ext::header(this) << "recieved identity request with wrong Ai=" << unsigned(ai)
                     << ",denied";
            tx_identity(ri, ai, identity_denied);
        } else if (LAPD_NT_user* u = find_free_Tei(Q921::kGroupTei)) {
            if (trace())
                std::clog << ext::header(this) << "recieved identity request,TEI assigned:" << unsigned(u->get_Tei())
                          << std::endl;
            forget_calls(u->get_Tei());
            tx_identity(ri, u->get_Tei(), identity_assigned);
            u->assign();
        } else {
            if (auto line = traced(allUsedLine))
                line << ext::header(this) << "recieved identity request, but all TEI values is ussigned";
            tx_identity(ri, Q921::kGroupTei, identity_denied);
        }
        break;

    case identity_check_response: {
        if (ai == Q921::kGroupTei) {
            if (auto line = traced(wrongAiLine))
                line << ext::header(this) << "recieved check response with wrong Ai=" << unsigned(ai)
                     << ",removed";
            remove_twice(ai);
            break;
        }
        LAPD_NT_user* u = find_Tei(ai);
        if (u != nullptr && !u->is_check()) {
            if (ri == u->get_ri()) break;  // the same answer again
            // A second terminal answers for this TEI.
            if (auto line = traced(duplicateLine))
                line << ext::header(this) << "recieved check response with dublicated Ai=" << unsigned(ai)
                     << ",removed";
            u->unassign();
            remove_twice(ai);
            break;
        }
        if (u == nullptr && (u = find_free_Tei(ai)) == nullptr) {
            if (auto line = traced(wrongAiLine))
                line << ext::header(this) << "recieved check response with wrong Ai=" << unsigned(ai)
                     << ",removed";
            remove_twice(ai);
            break;
        }
        if (trace()) std::clog << ext::header(this) << "TEI " << unsigned(ai) << " checked" << std::endl;
        u->assign();
        u->set_ri(ri);
        break;
    }

    case identity_verify:
        if (trace()) std::clog << ext::header(this) << "recieved verify request" << std::endl;
        check_all_Tei();
        break;

    default:
        break;
    }
}

void LAPD_NT::check_all_Tei() {
    if (trace()) std::clog << ext::header(this) << "Checking Tei values...." << std::endl;
    checkTimer.reset();
    for (LAPD_NT_user& u : users) u.checking();
    tx_identity(0, Q921::kGroupTei, identity_check_request);
    checkTimer.set(kCheckCycle, &LAPD_NT::check_all_Tei, this);
}

void LAPD_NT::tx_identity(unsigned short ri, int ai, unsigned char type) {
    Packet p = new_frame();
    if (p.null()) return;
    p.put8(kManagementAddress);
    p.put8(Q921::kGroupTei * 2 + 1);
    p.put8(Q921::kUI);
    p.put8(Q921::kManagementEntity);
    p.put16(ri);  // low octet first: the octets go back as they came
    p.put8(type);
    p.put8(static_cast<unsigned char>(ai * 2 + 1));
    transmit(p);
}

void LAPD_NT::remove_twice(unsigned char ai) {
    tx_identity(0, ai, identity_remove);
    tx_identity(0, ai, identity_remove);
    if (ai != Q921::kGroupTei) {
        forget_calls(ai);
        return;
    }
    // Every terminal drops its TEI: entries kept here would hold user places and
    // take messages for calls that no terminal has any more.
    for (LAPD_NT_user& u : users)
        if (u.is_assigned()) u.unassign();
    forget_all_calls();
}

void LAPD_NT::forget_calls(unsigned char tei) {
    for (unsigned char& caller : callerTei)
        if (caller == tei) caller = kNoTei;
}

void LAPD_NT::forget_all_calls() {
    std::fill(std::begin(callerTei), std::end(callerTei), kNoTei);
}

LAPD_NT_user* LAPD_NT::find_Tei(unsigned char t) {
    for (LAPD_NT_user& u : users)
        if (u.is_assigned() && u.get_Tei() == t) return &u;
    return nullptr;
}

LAPD_NT_user* LAPD_NT::find_free_Tei(unsigned char t) {
    LAPD_NT_user* free = nullptr;
    for (LAPD_NT_user& u : users)
        if (!u.is_assigned()) {
            free = &u;
            break;
        }
    if (free == nullptr) return nullptr;
    if (t != Q921::kGroupTei) {
        free->set_Tei(t);
        return free;
    }
    for (unsigned tei = kFirstAutoTei; tei <= kLastAutoTei; ++tei)
        if (find_Tei(static_cast<unsigned char>(tei)) == nullptr) {
            free->set_Tei(static_cast<unsigned char>(tei));
            return free;
        }
    return nullptr;
}

void LAPD_NT::PutHeader(std::ostream& os) const {
    os << "LAPD(NT BRI):";
}

}  // namespace ISDN
