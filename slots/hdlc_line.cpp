#include "slots/hdlc_line.h"

#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "slots/line_holders.h"

int HdlcLine::LineChannel(Kind kind, int line) {
    if (kind == Kind::bri) return Tdm::BriLineChannel(line, Tdm::kBriD);
    return Tdm::TrunkTimeSlot(line, Tdm::kE1SignallingTimeSlot);
}

HdlcLine::Opening HdlcLine::Open(Kind kind, int line, Mode mode, HDLC::Notify* sink) {
    Close();
    int ch = LineChannel(kind, line);
    if (ch < 0) return Opening::failed;
    if (!LineHolders::instance().Take(ch, owner_)) return Opening::held;
    HDLC::Params p;
    p.trunk = line;
    p.timeslot = kind == Kind::bri ? Tdm::kBriD : Tdm::kE1SignallingTimeSlot;
    p.tdm = ch;
    p.tdm2 = ch;
    p.mode = mode;
    hdlc_.params(p);
    hdlc_.trunk(static_cast<unsigned>(line));
    hdlc_.bind(sink);
    if (!hdlc_.activate()) {
        hdlc_.unbind();
        LineHolders::instance().Give(ch, owner_);
        return Opening::failed;
    }
    kind_ = kind;
    line_ = line;
    line_channel_ = ch;
    return Opening::opened;
}

void HdlcLine::Close() {
    if (line_channel_ < 0) return;
    hdlc_.unbind();
    int controller = hdlc_.controller_channel();
    hdlc_.deactivate();
    // The time slot carries idle again and the controller channel hears nothing.
    HwMux& mux = HwMux::instance();
    if (LineHolders::instance().Give(line_channel_, owner_)) mux.Disconnect(line_channel_);
    if (controller >= 0) mux.Disconnect(controller);
    line_channel_ = -1;
}

bool HdlcLine::TakeLinkInfo(LGCP::HdlcLinkInfo& info) {
    const HDLC::Statistics& s = hdlc_.statistics();
    if (s == reported_) return false;
    reported_ = s;
    info.set_txSU(static_cast<int>(s.txSU));
    info.set_txDiscard(static_cast<int>(s.txDiscard));
    info.set_txError(static_cast<int>(s.txError));
    info.set_txOverflow(static_cast<int>(s.txOverflow));
    info.set_rxSU(static_cast<int>(s.rxSU));
    return true;
}
