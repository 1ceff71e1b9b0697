#pragma once

#include <cstddef>
#include <cstdint>

namespace Hardware {

// Requests and records of the DSP processing device as its driver defines
// them (PowerPC encoding; the direction field says read although the data
// flows to the driver). Fields are in the board's byte order.
namespace Dsproc {

inline constexpr const char* kPath = "/dev/dsp";

// {u32 ts, u32 kind, 12 bytes of parameters by kind}, zero-filled.
inline constexpr unsigned long CONFIGURE = 0x40146401;
// {u32 ts, u32 detector id, u32 mask}
inline constexpr unsigned long ENABLE = 0x400C6402;
// {u32 ts, u32 0, u32 mask}
inline constexpr unsigned long DISABLE = 0x400C6403;
// Null argument; the result is the driver's interface version.
inline constexpr unsigned long VERSION = 0x40046404;

inline constexpr std::size_t kConfigureSize = 20;

// Feature bits: the kind of a configure request, the mask of a switch request
// and, for the detecting ones, the type of an event.
enum Feature : std::uint32_t {
    VAD = 1,
    SD = 2,
    MUTE_RX = 4,
    MUTE_TX = 8,
    BSS = 16,
    DELAYS = 32,
    RX_GAIN = 64,
    NG = 128,
    TONE_FILTER = 256,
};
// Event type of the flags report.
inline constexpr std::uint32_t FLAGS = 512;

// Event record: {u32 ts, u32 detector id, u32 type, u32 d0, u32 d1, u32 d2}.
inline constexpr std::size_t kEventSize = 24;

// Bits of the flags report (d0 flags, d1 which of them are valid).
inline constexpr std::uint32_t kFlagVoiceRx = 1;
inline constexpr std::uint32_t kFlagVoiceTx = 2;
inline constexpr std::uint32_t kFlagSelcal = 4;

}  // namespace Dsproc
}  // namespace Hardware

// The data words of an event record as the driver names them.
struct dsproc_bss_event {
    float score = 0;
};
struct dsproc_tone_event {
    std::uint32_t freq = 0;
    std::uint32_t presence = 0;  // non-zero: present
};
struct dsproc_flags_event {
    std::uint32_t flags = 0;
    std::uint32_t mask = 0;  // flag bits that the report carries
};
