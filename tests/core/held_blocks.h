// Empties the packet pool for a test of what happens without a buffer.
#pragma once

#include <vector>

#include "core/packet.h"

// Every block an allocation here and now can take (the reserved ones only while a
// PacketReserve is open), held until the vector goes.
inline std::vector<Packet> HoldEveryBlock() {
    std::vector<Packet> held;
    while (Packet::available() > 0) {
        held.emplace_back();
        held.back().reserve_head(0);
    }
    return held;
}
