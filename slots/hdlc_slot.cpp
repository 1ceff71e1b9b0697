#include "slots/hdlc_slot.h"

#include <cstring>
#include <iostream>

#include "config/trace_ctl.h"
#include "core/output.h"
#include "core/packet.h"

HdlcSlot::HdlcSlot(SlotFactory* factory, unsigned char address) : Slot(factory), address_(address) {
    update_.set(kUpdatePeriod, &HdlcSlot::OnUpdateTimer, this);
}

HdlcSlot::~HdlcSlot() {
    update_.reset();
    flush_.reset();
    line_.Close();
}

HdlcSlot* HdlcSlot::New(SlotFactory* factory, const LGCP::HdlcParams& params) {
    const int address = params.get_address().getValue();
    const int trunk = params.get_trunk().getValue();
    if (address < 0 || address > 0xFF) {
        std::clog << "hdlc: address " << address << " does not fit one octet" << std::endl;
        return nullptr;
    }
    auto* slot = new HdlcSlot(factory, static_cast<unsigned char>(address));
    slot->line_.channel().logLevel(static_cast<unsigned>(params.get_log().getValue()));
    const HdlcLine::Opening opening = slot->line_.Open(HdlcLine::Kind::e1, trunk, HdlcLine::primary, slot);
    if (opening != HdlcLine::Opening::opened) {
        if (opening == HdlcLine::Opening::failed)
            std::clog << "hdlc: no HDLC channel on trunk " << trunk << std::endl;
        delete slot;
        return nullptr;
    }
    return slot;
}

void HdlcSlot::PutHeader(std::ostream& os) const {
    os << "HdlcSlot[" << static_cast<unsigned>(GetNumber()) << "/*]: ";
}

bool HdlcSlot::Ioctl(const LGCP::IoctlParams& params) {
    if (!params.hdlcPackages_isSelected() || !line_.IsOpen()) return false;
    // Handled once the frames went out: a refused one makes the answer unsupported.
    bool all = true;
    for (const LGCP::HdlcPackage& package : params.get_hdlcPackages()) {
        const ASN1::OCTET_STRING& body = package.get_body();
        if (body.size() > kMaxBody || Packet::available() == 0) {
            std::clog << ext::header(this) << "frame of " << body.size() << " octets not sent" << std::endl;
            all = false;
            continue;
        }
        Packet frame;
        frame.reserve_head(0);
        frame.put8(address_);
        if (!body.empty()) std::memcpy(frame.put(static_cast<unsigned>(body.size())), body.data(), body.size());
        if (!line_.channel().hdlc_transmit(frame)) all = false;
    }
    return all;
}

bool HdlcSlot::IDestroy() {
    update_.reset();
    flush_.reset();
    received_.clear();
    received_octets_ = 0;
    line_.Close();
    return true;
}

void HdlcSlot::on_hdlc_receive(Packet& frame) {
    const Packet& f = frame;
    if (f.length() < 1 || f[0] != address_) {
        ++foreign_;
        return;
    }
    const std::size_t body = f.length() - 1;
    if (body > kMaxCarried) {
        // Alone: the frames around it still go up.
        ++too_long_;
        if (auto line = too_long_line_.Admit())
            line << ext::header(this) << "frame of " << body
                 << " octets too long for the controller: dropped";
        return;
    }
    if (received_octets_ + body + 2 > kMaxReportOctets) flushResponce();
    const char* bytes = reinterpret_cast<const char*>(f.data());
    received_.emplace_back(bytes + 1, bytes + f.length());
    received_octets_ += body + 2;
    if (traces.signalling.hdlc)
        std::clog << ext::header(this) << "frame of " << f.length() << " octets in" << std::endl;
    if (received_.size() >= kMaxReport)
        flushResponce();
    else if (!flush_.is_running())
        flush_.set(kFlushDelay, &HdlcSlot::flushResponce, this);
}

void HdlcSlot::flushResponce() {
    flush_.reset();
    if (received_.empty() || IsReleasing()) return;
    LGCP::IoctlResponse response;
    auto& list = response.select_hdlcPackages();
    for (const std::vector<char>& body : received_) {
        LGCP::HdlcPackage package;
        package.set_body(body);
        list.push_back(package);
    }
    received_.clear();
    received_octets_ = 0;
    OnIoctlResponse(response);
}

void HdlcSlot::on_hdlc_error(Cause::Type) {
    std::clog << ext::header(this) << "channel lost" << std::endl;
    if (!IsReleasing()) SendSignal(LGCP::Signal(LGCP::Signal::deactivated::id, LGCP::DeactivateCause::networkError));
}

void HdlcSlot::OnUpdateTimer() {
    update_.set(kUpdatePeriod, &HdlcSlot::OnUpdateTimer, this);
    LGCP::HdlcLinkInfo info;
    if (line_.TakeLinkInfo(info))
        OnIoctlResponse(LGCP::IoctlResponse(LGCP::IoctlResponse::hdlcLinkInfo::id, info));
}

HdlcSlotFactory& HdlcSlotFactory::instance() {
    static HdlcSlotFactory factory;
    return factory;
}

Slot* HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.hdlcParams_isSelected()) return nullptr;
    return HdlcSlot::New(this, params.get_hdlcParams());
}
