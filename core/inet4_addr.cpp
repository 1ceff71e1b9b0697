#include "core/inet4_addr.h"

#include <arpa/inet.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <ostream>

namespace INet4 {

namespace {

// atoi's reading (blanks, sign, digits, 0 without digits), but saturating instead of
// overflowing on an absurdly long number.
int PortNumber(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') negative = (*text++ == '-');
    long long value = 0;
    for (; std::isdigit(static_cast<unsigned char>(*text)); ++text) {
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) {
            value = INT_MAX + 1LL;
            break;
        }
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

}  // namespace

Addr::Addr(const std::string& text) {
    Reset();
    Assign(text);
}

void Addr::Reset() {
    std::memset(&mAddr, 0, sizeof(mAddr));
    mAddr.sin_family = AF_INET;
}

bool Addr::Assign(const char* text, int* port) {
    if (!text) return false;
    const char* colon = std::strchr(text, ':');
    std::string address;
    if (colon) {
        int value = PortNumber(colon + 1);
        mAddr.sin_port = htons(static_cast<uint16_t>(value));
        if (port) *port = value;
        address.assign(text, colon);
    } else {
        if (port) *port = -1;
        address = text;
    }
    in_addr parsed;
    if (::inet_aton(address.c_str(), &parsed) == 0) return false;
    mAddr.sin_addr = parsed;
    return true;
}

void Addr::Assign(unsigned long address) {
    mAddr.sin_addr.s_addr = static_cast<in_addr_t>(address);
}

std::string Addr::GetStrAddr() const {
    char text[INET_ADDRSTRLEN];
    if (!::inet_ntop(AF_INET, &mAddr.sin_addr, text, sizeof(text))) return std::string();
    return text;
}

std::string Addr::GetString() const {
    return GetStrAddr() + ":" + std::to_string(port());
}

void Addr::Put(std::ostream& os) const {
    os << GetString();
}

std::vector<unsigned char> Addr::GetVector() const {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&mAddr.sin_addr.s_addr);
    return std::vector<unsigned char>(bytes, bytes + 4);
}

std::ostream& operator<<(std::ostream& os, const Addr& addr) {
    addr.Put(os);
    return os;
}

}  // namespace INet4
