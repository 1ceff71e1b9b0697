#pragma once

#include <array>
#include <cstdint>

#include "hardware/sim/device.h"
#include "hardware/sim/spi_framers.h"
#include "hardware/tdm_channel.h"

namespace Sim {

// /dev/hal: the TDM switch memory. Every channel, device-side or shared bus,
// is disabled, sends a constant byte, or takes its data from a source channel.
// A disabled channel carries nothing and reads as 0xFF (the idle line). What is
// written on a channel is read back from it, unless the channel is broken: it
// then reads back every bit inverted. The same device selects the bus clock
// source and reaches the SPI framers' registers.
class HalDevice final : public Device {
public:
    enum class Mode : std::uint8_t { disabled, constant, source };

    HalDevice();

    void IReset() override;
    int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) override;

    Mode mode(int ch) const { return ports_[ch].mode; }
    // The constant byte or the source channel, by mode.
    int value(int ch) const { return ports_[ch].value; }
    // The byte the channel carries now, following its sources.
    int Carried(int ch) const;
    // Whether what channel src carries reaches channel dst: dst takes its data
    // from src directly or through shared-bus channels. A device-side channel
    // met on the way ends the path, since what it carries comes from its own
    // device, not from its source.
    bool Feeds(int src, int dst) const;

    // What the board does on its own, behind the daemon's back: an output is
    // enabled again, sending `byte`.
    void Drive(int ch, int byte) { ports_[ch] = {Mode::constant, byte}; }
    // A channel that does not loop back what it carries (or loops it again).
    void Break(int ch, bool broken = true) { broken_[ch] = broken; }

    // The selected clock source, -1 until one is selected.
    int clock() const { return clock_; }
    SpiFramers& spi() { return spi_; }

private:
    struct Port {
        Mode mode = Mode::disabled;
        int value = 0;
    };

    int OnConnect(unsigned char* record);
    int OnDisable(unsigned char* record);
    int OnWrite(unsigned char* record);
    int OnRead(unsigned char* record);
    int OnClockSelect(unsigned char* record);

    std::array<Port, Tdm::kChannels> ports_;
    std::array<bool, Tdm::kChannels> broken_{};
    int clock_ = -1;
    SpiFramers spi_;
};

}  // namespace Sim
