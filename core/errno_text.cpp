#include "core/errno_text.h"

#include <cstring>
#include <ostream>

void Errno::Put(std::ostream& os) const {
    char buffer[128];
    // GNU strerror_r returns a pointer that may or may not be the buffer.
    os << ::strerror_r(mValue, buffer, sizeof(buffer));
}

std::ostream& operator<<(std::ostream& os, const Errno& e) {
    e.Put(os);
    return os;
}
