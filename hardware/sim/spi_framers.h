#pragma once

#include <array>
#include <cstdint>

namespace Sim {

// The framer channels on the board's SPI bus, reached through /dev/hal: eight
// register files of 256 bytes. Register 51 is the line status, which the line
// sets (a test, here) and a write does not change. A board whose /dev/hal has
// no SPI answers every request with ENODEV.
class SpiFramers {
public:
    static constexpr int kChannels = 8;
    static constexpr int kRegisters = 256;
    static constexpr int kStatusRegister = 51;

    void Reset();

    void SetAbsent(bool absent) { absent_ = absent; }
    void SetStatus(int ch, std::uint8_t value) { registers_[ch][kStatusRegister] = value; }
    std::uint8_t Get(int ch, int reg) const { return registers_[ch][reg]; }
    // Register writes, per channel, since the last reset: what the daemon did.
    int Writes(int ch) const { return writes_[ch]; }

    // Kernel-style results on the 3-byte record {channel, register, data}.
    int Read(unsigned char* record) const;
    int Write(const unsigned char* record);

private:
    std::array<std::array<std::uint8_t, kRegisters>, kChannels> registers_{};
    std::array<int, kChannels> writes_{};
    bool absent_ = false;
};

}  // namespace Sim
