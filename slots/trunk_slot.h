// Trunk channels: a trunk slot is one voice time slot of an E1 trunk or one
// channel of a basic-rate line, a channel of the TDM switch that the slot both
// transmits on and receives from. One factory serves each trunk and each line;
// they are made before every other factory, so that they are tried last.
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"
#include "slots/switch_slot.h"

class TrunkFactory;

class TrunkSlot : public SwitchSlot {
public:
    TrunkSlot(TrunkFactory* factory, int channel, int timeslot);
    ~TrunkSlot() override;

    const char* GetName() const override;
    int timeslot() const { return timeslot_; }
    // The line channel is disabled, when the slot still holds it, and given back.
    bool IDestroy() override;

private:
    bool bri_;
    int timeslot_;
};

class TrunkFactory : public SlotFactory {
public:
    enum class Kind { e1, bri };

    // The factories of the four E1 trunks and of the eight basic-rate lines,
    // made on the first call; later calls make nothing.
    static void CreateAll();
    // The factory of that trunk or line; null before CreateAll or for one the
    // board does not have.
    static TrunkFactory* Of(Kind kind, int trunk);

    Kind kind() const { return kind_; }
    void PutHeader(std::ostream& os) const override;

protected:
    // Takes the `trunk` (E1) or `trunk_bri` (basic-rate) alternative that names
    // this factory's trunk or line. A time slot that one of its own slots holds
    // is taken from that slot, which goes without an answer of its own.
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    TrunkFactory(Kind kind, int trunk) : kind_(kind), trunk_(trunk) {}
    // The line channel of a time slot of this trunk or line; -1, with a line,
    // when it has none.
    int LineChannel(unsigned timeslot) const;

    Kind kind_;
    int trunk_;
};
