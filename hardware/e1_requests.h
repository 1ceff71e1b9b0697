#pragma once

#include <cstddef>
#include <cstdint>

#include "hardware/board_record.h"

namespace Hardware {

// /dev/maintenance: the E1 framers' status and the TCLK mask.
namespace Maintenance {

// The path GetMaintenance() gives.
inline constexpr const char* kPath = "/dev/maintenance";
inline constexpr int kTrunks = 4;

// Twenty words; word 0 the trunk (in), the counters and the state out.
inline constexpr unsigned long E1_GET_STATUS = 0xC0504D03;
inline constexpr std::size_t kStatusWords = 20;
inline constexpr std::size_t kTrunkWord = 0;
inline constexpr std::size_t kSlipsWord = 9;
inline constexpr std::size_t kLossBFWord = 10;
inline constexpr std::size_t kLossCarrierWord = 11;
inline constexpr std::size_t kLossAISWord = 12;
inline constexpr std::size_t kLossRAIWord = 13;
inline constexpr std::size_t kStateWord = 19;

// The argument is the mask itself, not a pointer to it.
inline constexpr unsigned long E1_SET_TCLK = 0xC0044D0B;

}  // namespace Maintenance

// /dev/e1-cas: the ABCD bits of the E1 trunks' time slots.
namespace Cas {

inline constexpr const char* kPath = "/dev/e1-cas";
inline constexpr int kTrunks = 4;
inline constexpr int kTimeSlots = 32;
// Time slot 0 carries framing and 16 the multiframe of the bits themselves.
inline constexpr int kFramingSlot = 0;
inline constexpr int kSignallingSlot = 16;

// The argument of these two is the trunk number itself.
inline constexpr unsigned long CAS_OPEN_TRUNK = 0x80044300;
inline constexpr unsigned long CAS_CLOSE_TRUNK = 0x80044301;
inline constexpr unsigned long CAS_SET = 0xC00C4302;
inline constexpr unsigned long CAS_GET = 0xC00C4303;
inline constexpr unsigned long CAS_CONFIGURE = 0xC0104304;

// `cas_channel`, 12 bytes: path, time slot, rx, tx and two bytes of padding.
// Also the change record a read of the device delivers.
inline constexpr std::size_t kChannelSize = 12;
// `cas_channel_config`, 16 bytes: a `cas_channel` and the close flag.
inline constexpr std::size_t kConfigSize = 16;

struct Channel {
    std::int32_t path = 0;
    std::int32_t timeslot = 0;
    std::uint8_t rx = 0;
    std::uint8_t tx = 0;
};

inline void PutChannel(unsigned char* record, const Channel& c) {
    PutBoardWord(record, 0, c.path);
    PutBoardWord(record, 1, c.timeslot);
    record[8] = c.rx;
    record[9] = c.tx;
    record[10] = 0;
    record[11] = 0;
}

inline Channel GetChannel(const unsigned char* record) {
    return Channel{GetBoardWord(record, 0), GetBoardWord(record, 1), record[8], record[9]};
}

inline void PutConfig(unsigned char* record, const Channel& c, bool close) {
    PutChannel(record, c);
    PutBoardWord(record, 3, close ? 1 : 0);
}

inline bool GetConfigClose(const unsigned char* record) {
    return GetBoardWord(record, 3) != 0;
}

}  // namespace Cas
}  // namespace Hardware
