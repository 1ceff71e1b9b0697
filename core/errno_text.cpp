#include "core/errno_text.h"

#include <cstring>
#include <ostream>

std::string Errno::text() const {
    char buffer[128];
    // GNU strerror_r returns a pointer that may or may not be the buffer.
    return ::strerror_r(mValue, buffer, sizeof(buffer));
}

void Errno::Put(std::ostream& os) const {
    os << text();
}

std::ostream& operator<<(std::ostream& os, const Errno& e) {
    e.Put(os);
    return os;
}
