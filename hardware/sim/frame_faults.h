#pragma once

#include <cstdint>
#include <random>

namespace Sim {

// Faults a test arranges on one direction of a frame path: lose the k-th
// frame, lose a fraction of them, send the k-th twice. Frames are counted from
// the last Set; the fraction is drawn from a fixed seed, so a run repeats.
struct FrameFaults {
    enum class Verdict { pass, drop, twice };

    std::uint32_t drop_nth = 0;       // 1-based; 0 none
    double drop_fraction = 0.0;       // 0..1
    std::uint32_t duplicate_nth = 0;  // 1-based; 0 none

    Verdict Next() {
        ++seen_;
        if (seen_ == drop_nth) return Verdict::drop;
        if (drop_fraction > 0.0 && std::uniform_real_distribution<double>(0.0, 1.0)(random_) < drop_fraction)
            return Verdict::drop;
        if (seen_ == duplicate_nth) return Verdict::twice;
        return Verdict::pass;
    }
    bool any() const { return drop_nth != 0 || drop_fraction > 0.0 || duplicate_nth != 0; }
    std::uint32_t seen() const { return seen_; }
    void Clear() { *this = FrameFaults{}; }

private:
    std::uint32_t seen_ = 0;
    std::minstd_rand random_{20011};
};

}  // namespace Sim
