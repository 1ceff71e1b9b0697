#include "hardware/dtmf_tones.h"

namespace Dtmf {

const char strRep[NumTones + 1] = "0123456789*#ABCD";
const std::uint16_t freq1[NumTones] = {941, 697, 697, 697, 770, 770, 770, 852,
                                       852, 852, 941, 941, 697, 770, 852, 941};
const std::uint16_t freq2[NumTones] = {1336, 1209, 1336, 1477, 1209, 1336, 1477, 1209,
                                       1336, 1477, 1209, 1477, 1633, 1633, 1633, 1633};

TonesValidator::TonesValidator() {
    for (int i = 0; i < NumTones; ++i) tones_[{freq1[i], freq2[i]}] = strRep[i];
}

char TonesValidator::Find(std::uint16_t low, std::uint16_t high) const {
    auto it = tones_.find({low, high});
    return it == tones_.end() ? 0 : it->second;
}

const TonesValidator tonesValidator;

}  // namespace Dtmf
