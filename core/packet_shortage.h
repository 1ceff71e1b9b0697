// One place that needs packet buffers, seen through an empty pool: the first
// refusal of an episode is written, the rest only counted until that place gets a
// buffer again. A pool that runs dry and recovers frame by frame would open an
// episode per frame, so at most one episode a second is written.
#pragma once

#include <cstdint>

#include "core/repeated_line.h"

class PacketShortage {
public:
    // Counts a refusal; the line for os when it opens an episode that is written.
    RepeatedLine::Line Refused(std::ostream& os = std::clog) {
        ++refused_;
        if (short_) return RepeatedLine::Line();
        short_ = true;
        return episode_line_.Admit(os);
    }
    // A buffer came: the next refusal opens a new episode.
    void Served() { short_ = false; }

    std::uint32_t refused() const { return refused_; }

private:
    bool short_ = false;
    std::uint32_t refused_ = 0;
    RepeatedLine episode_line_;
};
