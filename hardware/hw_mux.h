#pragma once

#include <array>
#include <cstdint>

#include "core/dpc.h"
#include "hardware/tdm_channel.h"

// The TDM switch on /dev/hal: connects a source channel onto a destination,
// makes a channel send a constant byte, disables it, and reads the byte it
// carries. It keeps the state it wants for each shared-bus output and
// re-disables, a few outputs per pass of the loop, those that should be
// disabled, since the board may enable them again on its own.
class HwMux {
public:
    static constexpr std::uint16_t kDisabled = 0xFFFF;
    static constexpr std::uint16_t kIdle = 0xFFFE;
    static constexpr unsigned char kIdleByte = 0xD5;
    static constexpr int kRefreshPerPass = 128;

    static HwMux& instance();

    // Tests build their own; the daemon uses instance().
    HwMux();
    ~HwMux();
    HwMux(const HwMux&) = delete;
    HwMux& operator=(const HwMux&) = delete;

    // Opens the device when not yet open; a failed open is tried again by the
    // next call.
    bool IsOpened();

    bool Connect(int src, int dst);
    bool Disconnect(int ch);
    bool Disable(int ch);
    bool Write(int ch, unsigned char byte);
    // 255 when the read fails.
    int Read(int ch);

    // One refresh pass, run by the deferred call on every pass of the loop.
    void OnDPC();
    void Reset() {}

    // What the switch holds for bus output i (channel 8192 + i).
    std::uint16_t output(int i) const { return outputs_[i]; }
    bool refreshing() const { return refresh_.active(); }

private:
    // A channel whose state the switch can hold: refuses what lies outside
    // the output table's reach.
    static bool Holds(int ch) { return Tdm::IsChannel(ch); }
    void Record(int ch, std::uint16_t entry);

    int fd_ = -1;
    std::array<std::uint16_t, Tdm::kBusChannels> outputs_{};
    std::uint32_t cursor_ = 0;
    Dpc refresh_;
};
