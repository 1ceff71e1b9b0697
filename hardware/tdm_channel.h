#pragma once

namespace Tdm {

// TDM channel numbers. 0..8191 are device-side channels handed out by the
// drivers; above them lie the 2048 time slots of the shared TDM bus. A
// negative number is never a channel.
inline constexpr int kDeviceChannels = 8192;
inline constexpr int kBusBase = 8192;
inline constexpr int kBuses = 16;
inline constexpr int kBusTimeSlots = 128;
inline constexpr int kBusChannels = kBuses * kBusTimeSlots;  // 2048
inline constexpr int kChannels = kBusBase + kBusChannels;    // 10240: one past the last

constexpr int BusChannel(int bus, int timeslot) {
    return kBusBase + bus * kBusTimeSlots + timeslot;
}
constexpr bool IsChannel(int ch) {
    return ch >= 0 && ch < kChannels;
}
constexpr bool IsBusChannel(int ch) {
    return ch >= kBusBase && ch < kChannels;
}

// Channel numbers of the slot model for E1 trunk time slots and ISDN BRI line
// channels.
constexpr int E1Channel(int trunk, int timeslot) {
    return trunk * 32 + timeslot;
}
constexpr int BriChannel(int line, int channel) {
    return line * 4 + channel;
}

}  // namespace Tdm
