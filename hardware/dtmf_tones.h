// The DTMF tone pairs and the characters they stand for.
#pragma once

#include <cstdint>
#include <map>
#include <utility>

namespace Dtmf {

inline constexpr int NumTones = 16;

// Character n has low frequency freq1[n] and high frequency freq2[n], in Hz.
extern const char strRep[NumTones + 1];
extern const std::uint16_t freq1[NumTones];
extern const std::uint16_t freq2[NumTones];

class TonesValidator {
public:
    TonesValidator();

    // The character of a (low, high) pair; 0 when the pair is no DTMF tone.
    char Find(std::uint16_t low, std::uint16_t high) const;
    std::size_t size() const { return tones_.size(); }

private:
    std::map<std::pair<std::uint16_t, std::uint16_t>, char> tones_;
};

extern const TonesValidator tonesValidator;

}  // namespace Dtmf
