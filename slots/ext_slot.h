// External TDM channels: an ext slot transmits on and receives from two channels of
// the switch given relative to the shared bus (address 8192 + value).
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"
#include "slots/switch_slot.h"

class ExtSlot : public SwitchSlot {
public:
    using SwitchSlot::SwitchSlot;

    const char* GetName() const override { return "ext"; }
};

class ExtFactory : public SlotFactory {
public:
    static ExtFactory& instance();

    void PutHeader(std::ostream& os) const override;

    // The switch address for a value of the create parameters; kNoChannel when the
    // value names no channel of the switch.
    static int Address(int value);

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;
};
