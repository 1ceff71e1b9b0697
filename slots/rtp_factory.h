// The plain RTP channel factory: takes a create whose `rtp` alternative carries RTP
// parameters without `radio`. It translates the payloads into the driver's payload
// type numbers; the RTP channels themselves are not on this board build yet, so a
// create with good payloads is declined after the check.
#pragma once

#include <iosfwd>

#include "protocol/TERM.h"
#include "slots/slot_factory.h"

class RtpFactory : public SlotFactory {
public:
    static RtpFactory& instance();

    void PutHeader(std::ostream& os) const override;

    // The RTP payload type number of a payload value; -1 when there is none.
    static int PayloadType(int payload);

    // Receive and transmit payload type numbers of a create; false (and the log
    // line) when the payload cannot be served.
    bool TranslatePayloads(const LGCP::CreateRtpParams& params, int& rx, int& tx);

    unsigned requests() const { return requests_; }
    unsigned refused() const { return refused_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned requests_ = 0;
    unsigned created_ = 0;
    unsigned refused_ = 0;
    unsigned declined_ = 0;
};
