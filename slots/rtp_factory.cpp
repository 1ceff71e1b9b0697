#include "slots/rtp_factory.h"

#include <iostream>

#include "core/output.h"

RtpFactory& RtpFactory::instance() {
    static RtpFactory factory;
    return factory;
}

void RtpFactory::PutHeader(std::ostream& os) const {
    os << "rtp"
       << "[" << requests_ << "," << created_ << "," << refused_ << "," << declined_ << "]: ";
}

int RtpFactory::PayloadType(int payload) {
    switch (payload) {
        case TERM::Payload::ptG711_Alaw:
            return 8;
        case TERM::Payload::ptG711_Ulaw:
            return 0;
        case TERM::Payload::ptG723:
            return 4;
        case TERM::Payload::ptG729:
            return 18;
        case TERM::Payload::ptG711mcc_Alaw:
            return 136;
        case TERM::Payload::ptG711mcc_Ulaw:
            return 128;
        case TERM::Payload::ptG728:
            return 15;
        default:
            return -1;
    }
}

namespace {

// A direction takes its own payload only when it is a plain G.711 law that differs
// from the channel's codec.
int DirectionType(int payload, int own, int code) {
    if (own != payload && (own == TERM::Payload::ptG711_Alaw || own == TERM::Payload::ptG711_Ulaw))
        return RtpFactory::PayloadType(own);
    return code;
}

}  // namespace

bool RtpFactory::TranslatePayloads(const LGCP::CreateRtpParams& params, int& rx, int& tx) {
    const TERM::Payload& payload = params.get_codecRTP().get_payload();
    int code = PayloadType(payload.asInt());
    if (code < 0) {
        std::string_view name = payload.getName();
        std::clog << ext::header(this) << "rtp do not created: payload ";
        if (name.data() != nullptr)
            std::clog << name;
        else
            std::clog << payload.asInt();
        std::clog << "not found" << std::endl;
        return false;
    }
    rx = DirectionType(payload.asInt(), params.get_rxPayload().asInt(), code);
    tx = DirectionType(payload.asInt(), params.get_txPayload().asInt(), code);
    return true;
}

Slot* RtpFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.rtp_isSelected()) return nullptr;
    const LGCP::CreateRtpParams& rtp = params.get_rtp();
    if (rtp.get_codecRTP().radio_isPresent()) return nullptr;
    ++requests_;
    int rx = -1;
    int tx = -1;
    if (!TranslatePayloads(rtp, rx, tx)) {
        ++refused_;
        return nullptr;
    }
    ++declined_;
    return nullptr;
}
