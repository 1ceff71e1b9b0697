#include "slots/switch_slot.h"

#include "hardware/hw_mux.h"

SwitchSlot::SwitchSlot(SlotFactory* factory, int transmitter, int receiver)
    : Slot(factory), transmitter_(transmitter), receiver_(receiver) {}

bool SwitchSlot::IDestroy() {
    if (transmitter_ != kNoChannel) HwMux::instance().Disable(transmitter_);
    if (receiver_ != kNoChannel) HwMux::instance().Disable(receiver_);
    return true;
}
