#include "core/output.h"

#include <iomanip>

namespace ext {

std::ostream& operator<<(std::ostream& os, const OutBufInHex& h) {
    std::ios_base::fmtflags saved = os.flags();
    os.fill('0');
    os << std::hex << std::uppercase << std::right;
    for (const unsigned char* p = h.begin; p < h.end; ++p) os << std::setw(2) << unsigned(*p) << ' ';
    os.fill(' ');
    os.flags(saved);
    return os;
}

std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h) {
    std::ios_base::fmtflags saved = os.flags();
    os << "0x";
    os.fill('0');
    os << std::hex << std::uppercase << std::right << std::setw(static_cast<int>(h.width)) << h.value;
    os.fill(' ');
    os.flags(saved);
    return os;
}

}  // namespace ext
