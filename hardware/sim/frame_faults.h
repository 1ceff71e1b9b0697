#pragma once

#include <cstdint>
#include <random>

namespace Sim {

// Faults a test arranges on one direction of a frame path: lose the k-th
// frame, lose a fraction of them, send the k-th twice. Frames are counted while
// a fault is arranged, from the last Clear; the fraction is drawn from a fixed
// seed, so a run repeats.
struct FrameFaults {
    std::uint32_t drop_nth = 0;       // 1-based; 0 none
    double drop_fraction = 0.0;       // 0..1
    std::uint32_t duplicate_nth = 0;  // 1-based; 0 none

    // How many times the next frame goes on: 0, 1 or 2.
    int Copies() {
        if (!any()) return 1;
        ++seen_;
        if (seen_ == drop_nth) return 0;
        if (drop_fraction > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) < drop_fraction)
            return 0;
        return seen_ == duplicate_nth ? 2 : 1;
    }
    bool any() const { return drop_nth != 0 || drop_fraction > 0.0 || duplicate_nth != 0; }
    void Clear() { *this = FrameFaults{}; }

private:
    std::uint32_t seen_ = 0;
    std::minstd_rand random_{20011};
};

}  // namespace Sim
