#pragma once

#include <cstddef>

namespace Hardware {

// Request numbers of /dev/hal as the board's drivers define them (PowerPC
// encoding: direction in bits 29..31, record size in bits 16..28). They are
// written out rather than built with this machine's ioctl macros, whose
// encoding differs.
namespace Hal {

inline constexpr const char* kPath = "/dev/hal";

// TDM switch; records of 32-bit words.
inline constexpr unsigned long MUX_CONNECT = 0x80084D02;  // write {dst, src}
inline constexpr unsigned long MUX_DISABLE = 0x80044D03;  // write {channel}
inline constexpr unsigned long MUX_WRITE = 0xC0084D04;    // read/write {channel, byte}
inline constexpr unsigned long MUX_READ = 0xC0084D05;     // read/write {channel, byte}

// Clock source of the TDM bus; a record of one word, the source number.
inline constexpr unsigned long HW_CLOCK_SELECT = 0x80044301;

// Registers of the framer channels on the SPI bus; records of three bytes
// {channel, register, data}. A read's value is the request's result.
inline constexpr unsigned long SPI_READ = 0xC0034203;
inline constexpr unsigned long SPI_WRITE = 0xC0034204;
inline constexpr std::size_t kSpiRecordSize = 3;

}  // namespace Hal
}  // namespace Hardware
