// Which slot holds each line channel of the board (an E1 trunk time slot, a
// basic-rate line channel). A line channel carries one slot at a time: the
// signalling, raw HDLC and trunk slots take theirs here before they touch the
// switch, and only the holder may put the channel back to idle or disable it.
#pragma once

#include <array>
#include <iosfwd>

#include "hardware/line_channels.h"

class Slot;

class LineHolders {
public:
    static LineHolders& instance();

    // The slot that holds line channel `ch`; null when none does.
    const Slot* Holder(int ch) const;
    // Takes `ch` for `slot`. False, with a line naming the holder, when another
    // slot holds it, and false for a channel that is no line channel; true when
    // `slot` holds it already.
    bool Take(int ch, const Slot& slot);
    // Gives `ch` back; false, changing nothing, when `slot` does not hold it.
    bool Give(int ch, const Slot& slot);

    // "trunk 0 time slot 16", "basic-rate line 3 channel D".
    static void PutPlace(std::ostream& os, int ch);

private:
    // Index of a line channel in the table; -1 for another channel.
    static int Index(int ch);

    // Plain pointers, nothing to destroy: slots that hold channels may be
    // deleted at exit after this table's own static lifetime.
    std::array<const Slot*, Tdm::kE1Trunks * Tdm::kE1TimeSlots + Tdm::kBriLines * Tdm::kBriStride> holders_{};
};
