#pragma once


#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "hardware/sim/broadcast_device.h"

namespace Sim {

// /dev/dtmf: per time slot the DTMF detector with its id, the IVA detector,
// the DTMF rejection filter, the echo canceller and the tone generator. It
// keeps the configure records, every generator change with the loop time it
// came at, and the SELCAL requests, and queues the detector events a test
// injects for every open.
class DtmfDevice final : public BroadcastDevice {
public:
    struct Tone {
        std::uint16_t freq1 = 0, freq2 = 0, amp1 = 0, amp2 = 0;
        bool operator==(const Tone&) const = default;
        bool off() const { return *this == Tone{}; }
    };
    struct ToneChange {
        std::uint32_t ts = 0;
        std::uint32_t at = 0;  // loop clock, ms
        Tone tone;
    };
    struct Selcal {
        std::uint32_t ts = 0;
        std::uint16_t amp = 0;
        std::string signs;  // as the record carries them
    };
    struct DtmfConfig {
        std::uint32_t twist = 0, ratio = 0, silence = 0, noise = 0;
        bool operator==(const DtmfConfig&) const = default;
    };
    struct Slot {
        bool dtmf = false;
        std::uint32_t id = 0;  // of the last enable
        bool iva = false;
        bool reject = false;
        bool lms = false;
        Tone tone;
        std::optional<DtmfConfig> dtmfConfig;
        std::optional<std::int32_t> ivaLevel;
    };

    // The histories keep the latest entries only, as the simulated daemon
    // may play ring-back for hours.
    static constexpr std::size_t kHistoryLimit = 4096;

    DtmfDevice();

    void IReset() override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;

    // A time slot nothing was asked of reads as all off.
    Slot slot(std::uint32_t ts) const;
    // Any of the DTMF and IVA detectors or the rejection filter.
    bool DetectorOn(std::uint32_t ts) const;
    const std::deque<ToneChange>& tones() const { return tones_; }
    const std::deque<Selcal>& selcals() const { return selcals_; }
    void ClearHistory();

    // Queues {code, ts, timestamp, id} for every open; without an id, the one
    // the time slot's detector was last enabled with.
    bool Inject(std::uint32_t ts, std::uint32_t code, std::uint32_t timestamp);
    bool Inject(std::uint32_t ts, std::uint32_t code, std::uint32_t timestamp, std::uint32_t id);
    // A record of any length, as a broken driver would hand it over.
    bool PostRaw(const std::vector<unsigned char>& bytes);

private:
    std::map<std::uint32_t, Slot> slots_;
    std::deque<ToneChange> tones_;
    std::deque<Selcal> selcals_;
};

}  // namespace Sim
