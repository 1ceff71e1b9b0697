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

}  // namespace Hardware
