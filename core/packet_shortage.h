// One place that needs packet buffers, seen through an empty pool: the first
// refusal of an episode is written, the rest only counted until that place gets a
// buffer again.
#pragma once

#include <cstdint>

class PacketShortage {
public:
    // Counts a refusal; true when it opens an episode and the caller writes its line.
    bool Refused() {
        ++refused_;
        const bool first = !short_;
        short_ = true;
        return first;
    }
    // A buffer came: the next refusal opens a new episode.
    void Served() { short_ = false; }

    std::uint32_t refused() const { return refused_; }

private:
    bool short_ = false;
    std::uint32_t refused_ = 0;
};
