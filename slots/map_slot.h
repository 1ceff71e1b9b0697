// Shared-bus channels: a map slot names up to one time slot of the shared TDM bus
// it transmits on and one it receives on.
#pragma once

#include <iosfwd>

#include "slots/slot.h"
#include "slots/slot_factory.h"

class MapSlot : public Slot {
public:
    MapSlot(SlotFactory* factory, int transmitter, int receiver);

    const char* GetName() const override { return "map"; }
    int GetTransmitChannel() const override { return transmitter_; }
    int GetReceiveChannel() const override { return receiver_; }
    // The bus time slots it held are disabled again.
    bool IDestroy() override;

private:
    int transmitter_;
    int receiver_;
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
