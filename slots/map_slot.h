// Shared-bus channels: a map slot names up to one time slot of the shared TDM bus
// it transmits on and one it receives on.
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"
#include "slots/switch_slot.h"

class MapSlot : public SwitchSlot {
public:
    using SwitchSlot::SwitchSlot;

    const char* GetName() const override { return "map"; }
};

class MapFactory : public SlotFactory {
public:
    static MapFactory& instance();

    void PutHeader(std::ostream& os) const override;

    // The switch address of a shared-bus time slot.
    static int Address(const LGCP::SharedChannel& channel);

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;
};
