#include "hardware/sim/spi_framers.h"

#include <cerrno>

namespace Sim {

void SpiFramers::Reset() {
    for (auto& file : registers_) file.fill(0);
    writes_.fill(0);
    absent_ = false;
}

// The register's value is the result; the record's data byte is left alone.
int SpiFramers::Read(unsigned char* record) const {
    if (absent_) return -ENODEV;
    int ch = record[0];
    if (ch >= kChannels) return -EINVAL;
    return registers_[ch][record[1]];
}

int SpiFramers::Write(const unsigned char* record) {
    if (absent_) return -ENODEV;
    int ch = record[0];
    if (ch >= kChannels) return -EINVAL;
    ++writes_[ch];
    if (record[1] != kStatusRegister) registers_[ch][record[1]] = record[2];
    return 0;
}

}  // namespace Sim
