#include "radio/rtp_ext_factories.h"

#include <ostream>

RadioKind RadioKindOf(const LGCP::CreateParams& params) {
    if (!params.rtp_isSelected()) return RadioKind::none;
    const TERM::RtpParams& rtp = params.get_rtp().get_codecRTP();
    if (!rtp.radio_isPresent()) return RadioKind::none;
    const TERM::RadioStatus& status = rtp.get_radio().get_status();
    if (status.lemz_isSelected()) return RadioKind::lemz;
    if (status.ed_137_isSelected()) return RadioKind::ed137;
    return RadioKind::none;
}

void RtpExtFactory::PutHeader(std::ostream& os) const {
    os << "rtp ext " << name_ << "[" << requests_ << "," << created_ << "," << failed_ << "," << declined_
       << "]: ";
}

Slot* RtpExtFactory::INewSlot(const LGCP::CreateParams& params) {
    if (RadioKindOf(params) != kind_) return nullptr;
    ++requests_;
    ++declined_;
    return nullptr;
}

RtpLEMZFactory& RtpLEMZFactory::instance() {
    static RtpLEMZFactory factory;
    return factory;
}

RtpED137Factory& RtpED137Factory::instance() {
    static RtpED137Factory factory;
    return factory;
}
