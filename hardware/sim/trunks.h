#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hardware/line_channels.h"
#include "hardware/sim/pcapng_writer.h"

namespace Sim {

class HalDevice;
class MccDevice;

// The board's lines: four E1 trunks of 32 time slots and eight basic-rate
// lines, each time slot a TDM channel of the switch (numbered as in
// hardware/line_channels.h). A frame the switch puts onto a line channel
// leaves the board there: to the outside end attached to that channel, to the
// other trunk of a cable, and into the channel's tap. A frame that comes in on
// a line channel is carried on it into the switch.
class Trunks {
public:
    // The far end of one line channel, outside the board.
    class FarEnd {
    public:
        virtual ~FarEnd() = default;
        virtual void OnFrame(const unsigned char* frame, std::size_t length) = 0;
    };

    // Frames pass through at most this many cross-connections and cables, so
    // that a loop of them cannot hold the board.
    static constexpr int kMaxHops = 8;

    Trunks(HalDevice& hal, MccDevice& mcc);

    // Joins two E1 trunks, both directions: what leaves on time slot s of one
    // comes in on time slot s of the other.
    bool Cable(int trunk_a, int trunk_b);
    void Uncable(int trunk);
    int cabled_to(int trunk) const { return cable_[trunk]; }

    // At most one far end per line channel; null detaches.
    void Attach(int ch, FarEnd* end);
    // Writes every frame crossing the line channel to a pcapng file (outbound:
    // leaving the board).
    bool Tap(int ch, const std::string& path, std::uint16_t link_type);
    void Untap(int ch);

    // A frame coming in from outside on line channel `ch`.
    void Arrive(int ch, const unsigned char* frame, std::size_t length, int depth = 0);
    // A frame carried on TDM channel `src`: it leaves on every line channel fed
    // from src.
    void Leave(int src, const unsigned char* frame, std::size_t length, int depth);

    std::uint32_t left(int ch) const;
    std::uint32_t arrived(int ch) const;

    void Reset();

private:
    struct Line {
        FarEnd* end = nullptr;
        std::unique_ptr<PcapngWriter> tap;
        std::uint32_t left = 0;
        std::uint32_t arrived = 0;
    };

    void Out(int ch, const unsigned char* frame, std::size_t length, int depth);
    void Rewatch();

    HalDevice& hal_;
    MccDevice& mcc_;
    std::array<int, Tdm::kE1Trunks> cable_;
    std::map<int, Line> lines_;  // by TDM channel; those with a far end, tap or count
    std::vector<int> watched_;   // line channels a frame may leave on
};

}  // namespace Sim
