#pragma once

#include <cstddef>
#include <vector>

#include "core/packet.h"
#include "hardware/sim/board.h"
#include "hardware/sim/trunks.h"

namespace line_test {

using Bytes = std::vector<unsigned char>;

// A packet holding exactly these bytes, without head room.
inline Packet PacketOf(const Bytes& bytes) {
    Packet p;
    p.reserve_head(0);
    for (unsigned char b : bytes) p.put8(b);
    return p;
}

// The board as at power-on, once per test program: its devices keep state
// between the tests of one program otherwise.
inline void ResetBoardOnce() {
    static bool fresh = [] {
        Sim::board().Reset();
        return true;
    }();
    (void)fresh;
}

// The outside end of a line channel: keeps every frame the board put on it.
struct RecordingFarEnd : Sim::Trunks::FarEnd {
    void OnFrame(const unsigned char* frame, std::size_t length) override { frames.emplace_back(frame, frame + length); }
    std::vector<Bytes> frames;
};

}  // namespace line_test
