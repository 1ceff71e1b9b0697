// Builds the PSTN signalling slots: SS7 links and ISDN D channels. The trunk
// status signals of the board reach its slots through it.
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"

class PstnFactory : public SlotFactory {
public:
    static PstnFactory& instance();

    void PutHeader(std::ostream& os) const override { os << "pstn: "; }
    void SelfSignal(const LGCP::Signal& signal) override;

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;
};
