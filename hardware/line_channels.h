#pragma once

#include "hardware/tdm_channel.h"

namespace Tdm {

// The TDM channels of the board's lines and of its HDLC controller, in this
// program's own numbering: the drivers hand out the board's real channels by
// requests of their own. Both programs switch with this one table (the simulated
// board builds its lines from it), so it is the one place to change for a board
// whose drivers number otherwise.
//
//   E1 trunk t (0..3), time slot s (0..31)        256 + 32 t + s     (256..383)
//   basic-rate line l (0..7), channel c (B1 0, B2 1, D 2)
//                                                 512 + 4 l + c      (512..543)
//   HDLC controller channels, handed out by MCC_TIMESLOT
//                                                 1024..1279
//
// E1 signalling (SS7 and the primary-rate D channel) is carried in time slot
// 16; time slot 0 holds the frame alignment.
inline constexpr int kE1Trunks = 4;
inline constexpr int kE1TimeSlots = 32;
inline constexpr int kE1SignallingTimeSlot = 16;
inline constexpr int kE1Base = 256;

inline constexpr int kBriLines = 8;
inline constexpr int kBriB1 = 0;
inline constexpr int kBriB2 = 1;
inline constexpr int kBriD = 2;
inline constexpr int kBriChannels = 3;
inline constexpr int kBriStride = 4;
inline constexpr int kBriBase = 512;

inline constexpr int kHdlcBase = 1024;
inline constexpr int kHdlcChannels = 256;

// -1 for a trunk or time slot the board does not have.
constexpr int TrunkTimeSlot(int trunk, int timeslot) {
    if (trunk < 0 || trunk >= kE1Trunks || timeslot < 0 || timeslot >= kE1TimeSlots) return -1;
    return kE1Base + trunk * kE1TimeSlots + timeslot;
}

// -1 for a line or channel the board does not have.
constexpr int BriLineChannel(int line, int channel) {
    if (line < 0 || line >= kBriLines || channel < 0 || channel >= kBriChannels) return -1;
    return kBriBase + line * kBriStride + channel;
}

constexpr bool IsHdlcChannel(int ch) {
    return ch >= kHdlcBase && ch < kHdlcBase + kHdlcChannels;
}

// Where a TDM channel lies on the board's lines.
struct LinePlace {
    enum Kind { none, e1, bri };
    Kind kind = none;
    int line = -1;     // trunk or basic-rate line
    int channel = -1;  // time slot or line channel
};

constexpr LinePlace PlaceOf(int ch) {
    if (ch >= kE1Base && ch < kE1Base + kE1Trunks * kE1TimeSlots)
        return {LinePlace::e1, (ch - kE1Base) / kE1TimeSlots, (ch - kE1Base) % kE1TimeSlots};
    if (ch >= kBriBase && ch < kBriBase + kBriLines * kBriStride && (ch - kBriBase) % kBriStride < kBriChannels)
        return {LinePlace::bri, (ch - kBriBase) / kBriStride, (ch - kBriBase) % kBriStride};
    return {};
}

constexpr bool IsLineChannel(int ch) {
    return PlaceOf(ch).kind != LinePlace::none;
}

}  // namespace Tdm
