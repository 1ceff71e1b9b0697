#pragma once

namespace Hardware {

// Requests of the multi-channel HDLC controller on /dev/mcc/ctl (PowerPC
// encoding, written out as the board's driver defines them). Every open of the
// device is one controller channel; one read or write is one whole frame.
namespace Mcc {

inline constexpr const char* kPath = "/dev/mcc/ctl";

// {mode code, 512, 0, 1, 4}: five 32-bit words the driver reads.
inline constexpr unsigned long MCC_ALLOCATE = 0x40144D00;
// No argument; the result is the TDM channel that carries the controller channel.
inline constexpr unsigned long MCC_TIMESLOT = 0x20004D02;

// MCC_ALLOCATE's first word for the channel's mode 0 (SS7), 1 (primary rate
// or raw) and 2 (basic rate).
inline constexpr int kModeCodes[3] = {3, 0, 1};

}  // namespace Mcc
}  // namespace Hardware
