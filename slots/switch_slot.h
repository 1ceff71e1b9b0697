// A slot that is only a pair of channels of the TDM switch: the one it transmits on
// and the one it receives on, either of which may be absent. Ext and map slots are
// such pairs; they differ in how the create names the channels.
#pragma once

#include "slots/slot.h"

class SwitchSlot : public Slot {
public:
    SwitchSlot(SlotFactory* factory, int transmitter, int receiver);

    int GetTransmitChannel() const override { return transmitter_; }
    int GetReceiveChannel() const override { return receiver_; }
    // The switch channels it held are disabled again.
    bool IDestroy() override;

private:
    int transmitter_;
    int receiver_;
};
