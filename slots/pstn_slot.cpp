#include "slots/pstn_slot.h"

#include <cstring>
#include <iostream>
#include <new>
#include <utility>

#include "core/output.h"
#include "core/packet.h"
#include "signalling/lapd_nt.h"
#include "signalling/ss7_slc.h"
#include "slots/hdlc_layer.h"

PstnSlot::PstnSlot(SlotFactory* factory, Link link) : Slot(factory), link_(link) {
    update_.set(kUpdatePeriod, &PstnSlot::OnUpdateTimer, this);
}

PstnSlot::~PstnSlot() {
    update_.reset();
    // The channel stops reporting before the engines it reports to go.
    line_.Close();
}

PstnSlot* PstnSlot::NewSs7(SlotFactory* factory, const LGCP::SS7Params& params) {
    auto* slot = new PstnSlot(factory, Link::ss7);
    auto* slc = new SS7::SLC;
    slc->set_linkno(static_cast<unsigned>(params.get_trunk().getValue()));
    slc->set_slc(static_cast<unsigned>(params.get_slc().getValue()));
    slc->set_dpc(static_cast<unsigned>(params.get_dpc().getValue()));
    slc->set_opc(static_cast<unsigned>(params.get_opc().getValue()));
    slc->set_emergency(params.get_emergency());
    slc->hdlc(&slot->line_.channel());
    slot->stack_.add_protocol_tail(slc);
    slot->slc_ = slc;
    const HdlcLine::Opening opening =
        slot->line_.Open(HdlcLine::Kind::e1, params.get_trunk().getValue(), HdlcLine::ss7, slc);
    if (opening != HdlcLine::Opening::opened) {
        if (opening == HdlcLine::Opening::failed)
            std::clog << "pstn: no HDLC channel for SS7 on trunk " << params.get_trunk().getValue()
                      << std::endl;
        delete slot;
        return nullptr;
    }
    return slot;
}

PstnSlot* PstnSlot::NewIsdn(SlotFactory* factory, const LGCP::IsdnParams& params) {
    const bool bri = params.get_type() == LGCP::IsdnType::bri;
    const bool network = params.get_side().network_isSelected();
    const int trunk = params.get_trunk().getValue();
    const int log = params.get_log().getValue();
    const HdlcLine::Kind kind = bri ? HdlcLine::Kind::bri : HdlcLine::Kind::e1;
    const HdlcLine::Mode mode = bri ? HdlcLine::basic : HdlcLine::primary;
    PstnSlot* slot;
    HDLC::Notify* sink;
    if (bri && network) {
        slot = new PstnSlot(factory, Link::bri_network);
        auto* bottom = new HdlcLayer(slot->line_.channel());
        auto* nt = new ISDN::LAPD_NT;
        nt->set_log(static_cast<unsigned>(log));
        slot->stack_.add_protocol_tail(bottom);
        slot->stack_.add_protocol_tail(nt);
        slot->nt_ = nt;
        sink = bottom;
    } else {
        slot = new PstnSlot(factory, Link::isdn);
        auto* lapd = new ISDN::LAPD(ISDN::Side::user, 0);
        lapd->hdlc(&slot->line_.channel());
        lapd->set_side(network ? ISDN::Side::network : ISDN::Side::user);
        lapd->set_linkno(static_cast<unsigned>(trunk));
        lapd->set_log(static_cast<unsigned>(log));
        lapd->BindNotify(slot);
        if (bri) lapd->change_to_bri();
        slot->stack_.add_protocol_tail(lapd);
        slot->lapd_ = lapd;
        sink = lapd;
    }
    const HdlcLine::Opening opening = slot->line_.Open(kind, trunk, mode, sink);
    if (opening != HdlcLine::Opening::opened) {
        if (opening == HdlcLine::Opening::failed)
            std::clog << "pstn: no HDLC channel for ISDN on " << (bri ? "line " : "trunk ") << trunk
                      << std::endl;
        delete slot;
        return nullptr;
    }
    return slot;
}

void PstnSlot::PutHeader(std::ostream& os) const {
    Put(os);
    os << ": ";
}

bool PstnSlot::IActivate(const TERM::TermActivateParams&) {
    if (!line_.IsOpen()) return false;
    stack_.top()->activate();
    // LAPD ignores it during a release, whose end is then still the controller's.
    KeepPendingRelease();
    return true;
}

bool PstnSlot::IDeactivate() {
    if (!line_.IsOpen()) return false;
    release_asked_ = true;
    stack_.top()->deactivate();
    KeepPendingRelease();
    return true;
}

void PstnSlot::KeepPendingRelease() {
    if (lapd_ == nullptr || lapd_->snapshot().state != ISDN::LAPDFullState::awaiting_release)
        release_asked_ = false;
}

bool PstnSlot::IUserData(const ASN1::OCTET_STRING& data) {
    const std::size_t limit = link_ == Link::ss7 ? kMaxSs7Message : kMaxIsdnMessage;
    if (data.empty() || data.size() > limit) {
        std::clog << ext::header(this) << "user data of " << data.size() << " octets refused" << std::endl;
        return false;
    }
    if (!line_.IsOpen()) return false;
    // Refused, not answered success, when the engine does not take it: the
    // controller learns that this message will never leave.
    try {
        Packet p;
        stack_.top()->prepare_head(p);
        std::memcpy(p.put(static_cast<unsigned>(data.size())), data.data(), data.size());
        bool taken = false;
        if (slc_ != nullptr)
            taken = slc_->take_message(p);
        else if (lapd_ != nullptr)
            taken = lapd_->take_message(p);
        else if (nt_ != nullptr)
            taken = nt_->take_message(p);
        if (taken) shortage_.Served();
        return taken;
    } catch (const std::bad_alloc&) {
        if (auto line = shortage_.Refused()) line << ext::header(this) << "no packet for user data";
        return false;
    }
}

bool PstnSlot::Ioctl(const LGCP::IoctlParams& params) {
    if (slc_ == nullptr) return false;
    if (params.ss7RqBSN_isSelected()) {
        OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::ss7BSN::id, static_cast<int>(slc_->get_bsn())));
        return true;
    }
    if (params.ss7Log_isSelected()) {
        const LGCP::SS7L2Log& log = params.get_ss7Log();
        SS7::SLC::Trace& t = slc_->trace;
        t.state = log.get_state();
        t.raw_receive = log.get_raw_receive();
        t.raw_transmit = log.get_raw_transmit();
        t.mtp_transmit = log.get_mtp_transmit();
        t.mtp_receive = log.get_mtp_receive();
        t.mtp_activate = log.get_mtp_activate();
        t.timers = log.get_timers();
        t.msu_processing = log.get_msu_processing();
        return true;
    }
    return false;
}

bool PstnSlot::IDestroy() {
    update_.reset();
    // The far end hears the link go (DISC, SIOS) before the channel closes.
    if (line_.IsOpen()) stack_.top()->deactivate();
    line_.Close();
    return true;
}

void PstnSlot::OnTrunkStatus(ACP::TrunkType::NamedNumber type, int trunk, int status) {
    const bool e1 = type == ACP::TrunkType::e1;
    if (e1 != (line_.kind() == HdlcLine::Kind::e1) || trunk != line_.line()) return;
    if (status == last_status_) return;
    last_status_ = status;
    if (slc_ != nullptr) slc_->OnTrunkHardStatus(status == ACP::TrunkState::normal);
}

void PstnSlot::OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) {
    if (IsReleasing()) return;
    const bool congested = lapd->GetFlowStatus() == ISDN::LAPD::FlowStatus::congested;
    OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::isdnLinkStatus::id,
                                        congested ? LGCP::IsdnLinkStatus::congested : LGCP::IsdnLinkStatus::normal));
}

void PstnSlot::OnUpdateTimer() {
    update_.set(kUpdatePeriod, &PstnSlot::OnUpdateTimer, this);
    if (slc_ != nullptr) UpdateSS7_Statistics();
    if (lapd_ != nullptr) UpdateIsdn_Statistics();
    UpdateHdlc_Statistics();
}

void PstnSlot::UpdateSS7_Statistics() {
    const std::uint32_t* s = slc_->statistics();
    ACP::SS7LinkInfo info;
    info.set_msuTxCount(static_cast<int>(s[0]));
    info.set_msuRxCount(static_cast<int>(s[1]));
    info.set_octetsTx(static_cast<int>(s[2]));
    info.set_octetsRx(static_cast<int>(s[3]));
    info.set_overflowCntr(static_cast<int>(s[4]));
    info.set_rtbSize(static_cast<int>(s[5]));
    info.set_repeatCntr(static_cast<int>(s[6]));
    info.set_badSeqCntr(static_cast<int>(s[7]));
    info.set_ss7state(static_cast<ACP::SS7State::NamedNumber>(slc_->get_state_id()));
    info.set_speedRx(0);
    info.set_speedTx(0);
    OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::ss7LinkInfo::id, info));
}

void PstnSlot::UpdateIsdn_Statistics() {
    ACP::IsdnLinkInfo info;
    if (lapd_->GetInfo(info) == 1)
        OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::isdnLinkInfo::id, info));
}

void PstnSlot::UpdateHdlc_Statistics() {
    LGCP::HdlcLinkInfo info;
    if (line_.TakeLinkInfo(info))
        OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::hdlcLinkInfo::id, info));
}

void PstnSlot::SendDeactivated() {
    SendSignal(LGCP::Signal(LGCP::Signal::deactivated::id, LGCP::DeactivateCause::networkError));
}

// ---- what the engine reports through the protocol list ----

void PstnSlot::Stack::on_activated(Protocol* p) {
    if (p != top() || slot_.IsReleasing()) return;
    slot_.SendSignal(LGCP::Signal(LGCP::Signal::activated::id, ASN1::Null()));
}

void PstnSlot::Stack::on_deactivated(Protocol*, Protocol_status status) {
    // Every end of a LAPD release reports, so the record goes with its one report.
    const bool asked = std::exchange(slot_.release_asked_, false);
    if (slot_.IsReleasing()) return;
    // One the controller asked for is written every time and costs the far end's
    // budget nothing; an SS7 link, and LAPD ended by DM or T200, report it as an error.
    if (status->success() || asked)
        std::clog << ext::header(&slot_) << "link down: " << *status << std::endl;
    else if (auto line = slot_.down_lines_[status->message()].Admit())
        line << ext::header(&slot_) << "link down: " << *status;
    // A success is answered by the controller's own command. A failure, which a far
    // end can cause with every frame, is signalled each time.
    if (!status->success()) slot_.SendDeactivated();
}

void PstnSlot::Stack::on_message(Packet& p) {
    if (slot_.IsReleasing() || p.empty()) return;
    if (p.length() > kMaxCarried) {
        ++slot_.too_long_;
        if (auto line = slot_.too_long_line_.Admit())
            line << ext::header(&slot_) << "message of " << p.length()
                 << " octets too long for the controller: dropped";
        return;
    }
    const char* bytes = reinterpret_cast<const char*>(static_cast<const Packet&>(p).data());
    slot_.SendSignal(LGCP::Signal(LGCP::Signal::userData::id, std::vector<char>(bytes, bytes + p.length())));
}

void PstnSlot::Stack::on_status(Protocol_status status) {
    if (auto line = slot_.status_lines_[status->message()].Admit())
        line << ext::header(&slot_) << "link status: " << *status;
}
