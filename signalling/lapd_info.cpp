// What a LAPD entity tells about itself: the controller's link-information
// record, the statistics and state texts, and the status objects it reports.
#include <iostream>

#include "signalling/lapd.h"

namespace ISDN {

std::ostream& operator<<(std::ostream& os, Side::type side) {
    return os << (side == Side::network ? "network" : "user");
}

const char* statetext(unsigned int state) {
    static const char* const texts[] = {
        "TEI unassigned",         "Assign awaiting TEI",    "Establish awaiting TEI",
        "TEI assigned",           "Awaiting establishment", "Awaiting release",
        "Multiple frame established", "Timer recovery",
    };
    return state < 8 ? texts[state] : "(unknown)";
}

std::ostream& operator<<(std::ostream& os, const LAPDFullState& s) {
    auto running = [](bool on) { return on ? "running" : "stopped"; };
    os << "\n   - state: " << statetext(s.state);
    os << "\n   - self: TEI=" << s.self_tei << ", SAPI=" << s.self_sapi << ", busy=" << s.own_busy;
    os << "\n   - peer: TEI=" << s.peer_tei << ", SAPI=" << s.peer_sapi << ", busy=" << s.peer_busy;
    os << "\n   - counters: VS=" << unsigned(s.VS) << ", VA=" << unsigned(s.VA) << ", VR=" << unsigned(s.VR)
       << ", RC=" << s.RC;
    os << "\n   - internal signals: AckRQ=" << s.acknowledge_request << ", RetrRQ=" << s.retransmission_request
       << ", QueuedUp=" << s.queued_up_request;
    os << "\n   - flags: L3Initiated=" << s.l3_initiated << ", Establishable=" << s.establishable
       << ", RejectException=" << s.reject_exception;
    os << "\n   - timers: T200 " << running(s.T200_running) << ", T202 " << running(s.T202_running) << ", T203 "
       << running(s.T203_running);
    return os;
}

std::ostream& operator<<(std::ostream& os, const LAPD::Stats& s) {
    os << "\n   - timers expire count: T200: " << s.T200_expiries << ", T202: " << s.T202_expiries
       << ", T203: " << s.T203_expiries;
    os << "\n   - errors: " << s.errors << ", retrains: " << s.retrains;
    os << "\n   - queue overflows: out: " << s.out_overflows << ", ack: " << s.ack_overflows;
    return os;
}

LAPD::Status::Status(const LAPD* lapd, const std::string& text)
    : Protocol_status_error(lapd, text), LAPDFullState(*lapd) {}

void LAPD::Status::out(std::ostream& os) const {
    os << message() << snapshot();
}

Protocol_status LAPD::status() const {
    return new Status(this, "current status");
}

void LAPD::show_stat() const {
    std::cout << " - current state: " << statetext(state) << std::endl;
    std::cout << " - statistics: " << stats_ << std::endl;
}

void LAPD::fill_info(ACP::IsdnLinkInfo& info) const {
    info.set_side(side_ == Side::network ? ACP::IsdnSide::network : ACP::IsdnSide::user);
    info.set_msuTxCount(static_cast<int>(stats_.from_above));
    info.set_msuRxCount(static_cast<int>(stats_.in_sequence));
    info.set_mT200(static_cast<int>(stats_.T200_expiries));
    info.set_mT203(static_cast<int>(stats_.T203_expiries));
    info.set_errors(static_cast<int>(stats_.errors));
    info.set_retrains(static_cast<int>(stats_.retrains));
    info.set_rejected(static_cast<int>(stats_.out_of_sequence));
    info.set_badconfirm(static_cast<int>(stats_.nr_errors));
    info.set_outOverflows(static_cast<int>(stats_.out_overflows));
    info.set_ackOverflows(static_cast<int>(stats_.ack_overflows));
    info.set_lapdState(static_cast<ACP::LAPDState::NamedNumber>(state));
    info.set_rc(RC);
    info.set_peerBusy(peer_busy);
    info.set_ownBusy(own_busy);
    info.set_rejException(reject_exception);
    info.set_ackPending(false);
    info.set_l3Initiated(l3_initiated);
    info.set_establishable(establishable);
    info.set_queuedUpRQ(queued_up_request);
    info.set_retrRQ(retransmission_request);
    info.set_ackRQ(acknowledge_request);
    info.set_t200run(T200_running);
    info.set_t203run(T203_running);
    info.set_vs(static_cast<int>(unsigned(VS)));
    info.set_va(static_cast<int>(unsigned(VA)));
    info.set_vr(static_cast<int>(unsigned(VR)));
    info.set_queueOut(static_cast<int>(out_queue_.count()));
    info.set_queueAck(static_cast<int>(ack_queue_.count()));
}

int LAPD::GetInfo(ACP::IsdnLinkInfo& info) const {
    fill_info(info);
    if (info == last_info_) return 0;
    last_info_ = info;
    return 1;
}

}  // namespace ISDN
