#pragma once


#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <vector>

#include "hardware/sim/broadcast_device.h"

namespace Sim {

// /dev/dsp: per time slot the features switched on by bit with their ids,
// the last configure record of each kind and the tone filters configured on;
// the driver version it answers (or the error the request fails with); and
// the events a test injects, queued for every open.
class DspDevice final : public BroadcastDevice {
public:
    using Params = std::array<unsigned char, 12>;  // of a configure record
    struct Feature {
        bool on = false;
        std::uint32_t id = 0;  // of the last enable
    };
    struct Slot {
        std::map<std::uint32_t, Feature> features;  // by bit
        std::map<std::uint32_t, Params> configs;    // by kind
        std::map<std::uint16_t, bool> toneFilters;  // by frequency: configured enabled
    };

    DspDevice();

    void IReset() override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;

    // The version request answers `version`; a negative value fails it with
    // that errno. Version 2 after a reset.
    void SetVersion(int version) { version_ = version; }

    Feature feature(std::uint32_t ts, std::uint32_t bit) const;
    std::optional<Params> config(std::uint32_t ts, std::uint32_t kind) const;
    // Any feature bit or tone filter on.
    bool AnyOn(std::uint32_t ts) const;

    // Queues {ts, id, type, d0, d1, d2} for every open; without an id, the
    // current id of the feature whose bit is the type (0 for the others).
    bool Inject(std::uint32_t ts, std::uint32_t type, std::uint32_t d0, std::uint32_t d1 = 0, std::uint32_t d2 = 0);
    bool InjectWithId(std::uint32_t ts, std::uint32_t id, std::uint32_t type, std::uint32_t d0,
                      std::uint32_t d1 = 0, std::uint32_t d2 = 0);
    // A record of any length, as a broken driver would hand it over.
    bool PostRaw(const std::vector<unsigned char>& bytes);

private:
    int OnConfigure(Slot& slot, const unsigned char* record);

    std::map<std::uint32_t, Slot> slots_;
    int version_ = 2;
};

}  // namespace Sim
