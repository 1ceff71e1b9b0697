#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace Hardware {

// Driver records are arrays of 32-bit words in the board's byte order
// (big-endian), whatever the byte order of the machine building or reading
// them: the board's drivers read records in the processor's own order, which
// on the board is this one. Words are serialised with explicit shifts.
inline std::int32_t GetBoardWord(const unsigned char* record, std::size_t i) {
    const unsigned char* p = record + i * 4;
    return static_cast<std::int32_t>(std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                                     std::uint32_t{p[2]} << 8 | std::uint32_t{p[3]});
}

inline void PutBoardWord(unsigned char* record, std::size_t i, std::int32_t value) {
    auto v = static_cast<std::uint32_t>(value);
    unsigned char* p = record + i * 4;
    p[0] = static_cast<unsigned char>(v >> 24);
    p[1] = static_cast<unsigned char>(v >> 16);
    p[2] = static_cast<unsigned char>(v >> 8);
    p[3] = static_cast<unsigned char>(v);
}

// A record of N words, handed to a driver request by its data().
template <std::size_t N>
class BoardRecord {
public:
    static constexpr std::size_t kSize = N * 4;

    BoardRecord() = default;
    BoardRecord(std::initializer_list<std::int32_t> words) {
        std::size_t i = 0;
        for (std::int32_t w : words) set(i++, w);
    }

    void set(std::size_t i, std::int32_t value) { PutBoardWord(bytes_.data(), i, value); }
    std::int32_t get(std::size_t i) const { return GetBoardWord(bytes_.data(), i); }

    unsigned char* data() { return bytes_.data(); }
    const unsigned char* data() const { return bytes_.data(); }

private:
    std::array<unsigned char, kSize> bytes_{};
};

// A record of N bytes whose fields sit at byte offsets, 8, 16 or 32 bits
// wide, in the board's byte order; it starts zero-filled.
template <std::size_t N>
class ByteRecord {
public:
    static constexpr std::size_t kSize = N;

    ByteRecord() = default;
    explicit ByteRecord(const unsigned char* bytes) {
        for (std::size_t i = 0; i < N; ++i) bytes_[i] = bytes[i];
    }

    void put8(std::size_t off, std::uint8_t v) { bytes_[off] = v; }
    void put16(std::size_t off, std::uint16_t v) {
        bytes_[off] = static_cast<unsigned char>(v >> 8);
        bytes_[off + 1] = static_cast<unsigned char>(v);
    }
    void put32(std::size_t off, std::uint32_t v) {
        put16(off, static_cast<std::uint16_t>(v >> 16));
        put16(off + 2, static_cast<std::uint16_t>(v));
    }
    std::uint8_t get8(std::size_t off) const { return bytes_[off]; }
    std::uint16_t get16(std::size_t off) const {
        return static_cast<std::uint16_t>(bytes_[off] << 8 | bytes_[off + 1]);
    }
    std::uint32_t get32(std::size_t off) const {
        return std::uint32_t{get16(off)} << 16 | get16(off + 2);
    }

    unsigned char* data() { return bytes_.data(); }
    const unsigned char* data() const { return bytes_.data(); }

private:
    std::array<unsigned char, N> bytes_{};
};

}  // namespace Hardware
