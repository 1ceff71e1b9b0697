#pragma once

#include <cstddef>

namespace Hardware {

// Requests of the tone device as its driver defines them (PowerPC encoding;
// the direction field says read although the data flows to the driver).
// Records are zero-filled, fields in the board's byte order.
namespace Tonec {

inline constexpr const char* kPath = "/dev/dtmf";

// {u32 ts, u32 twist, u32 ratio, u32 silence, u32 noise}
inline constexpr unsigned long DTMF_CONFIGURE_DETECTOR = 0x40144202;
// {u32 ts, u32 detector id}
inline constexpr unsigned long DTMF_ENABLE_DETECTOR = 0x40084203;
// The time slot is the argument itself in this and the switch requests.
inline constexpr unsigned long DTMF_DISABLE_DETECTOR = 0x40044204;
// {u32 ts, u16 freq1, u16 freq2, u16 amp1, u16 amp2}; all zero switches it off.
inline constexpr unsigned long DTMF_DIAL = 0x400C4205;
inline constexpr unsigned long CHANNEL_LMS_ON = 0x40044206;
inline constexpr unsigned long CHANNEL_LMS_OFF = 0x40044207;
inline constexpr unsigned long DTMF_REJECTION_ENABLE = 0x40044209;
inline constexpr unsigned long DTMF_REJECTION_DISABLE = 0x4004420A;
inline constexpr unsigned long IVA_DETECTOR_ENABLE = 0x4004420B;
inline constexpr unsigned long IVA_DETECTOR_DISABLE = 0x4004420C;
// {u32 ts, i32 detection level in dB}
inline constexpr unsigned long IVA_CONFIGURE_DETECTOR = 0x4008420D;
// {u32 ts, u16 amplitude, 4 sign characters, 2 zero bytes}
inline constexpr unsigned long SELCAL_DIAL = 0x400C420E;

// Event record: {u32 code, u32 ts, u32 timestamp, u32 detector id}.
inline constexpr std::size_t kEventSize = 16;

}  // namespace Tonec
}  // namespace Hardware
