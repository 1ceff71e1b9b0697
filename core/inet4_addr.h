// An IPv4 socket address laid out exactly as sockaddr_in, so it goes to socket calls
// as it stands. Texts are "a.b.c.d" or "a.b.c.d:port"; no name lookup.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <iosfwd>
#include <string>
#include <vector>

namespace INet4 {

class Addr {
public:
    Addr() { Reset(); }
    explicit Addr(const std::string& text);
    explicit Addr(const sockaddr_in& sa) : mAddr(sa) {}
    Addr(const Addr&) = default;
    Addr& operator=(const Addr&) = default;

    // Every byte zero, family AF_INET: prints as 0.0.0.0:0.
    void Reset();
    // Parses the address and, after a ":", the port. The port is set (and reported
    // through *port) before the address is parsed; without a ":" *port gets -1 and the
    // port is kept. True when the address text was accepted.
    bool Assign(const char* text, int* port = nullptr);
    bool Assign(const std::string& text, int* port = nullptr) { return Assign(text.c_str(), port); }
    // The address field in network order, stored as it is.
    void Assign(unsigned long address);
    // Keeps the port when the text has none.
    Addr& operator=(const std::string& text) {
        Assign(text);
        return *this;
    }

    unsigned short port() const { return ntohs(mAddr.sin_port); }
    void port(unsigned short value) { mAddr.sin_port = htons(value); }

    // Address and port; the family is not compared.
    bool IsEqual(const Addr& other) const {
        return mAddr.sin_addr.s_addr == other.mAddr.sin_addr.s_addr && mAddr.sin_port == other.mAddr.sin_port;
    }
    bool operator==(const Addr& other) const { return IsEqual(other); }

    std::string GetStrAddr() const;
    std::string GetString() const;
    void Put(std::ostream& os) const;
    std::vector<unsigned char> GetVector() const;

    operator sockaddr*() { return reinterpret_cast<sockaddr*>(&mAddr); }
    operator const sockaddr*() const { return reinterpret_cast<const sockaddr*>(&mAddr); }
    const sockaddr_in& raw() const { return mAddr; }
    socklen_t size() const { return sizeof(sockaddr_in); }

private:
    sockaddr_in mAddr;
};

static_assert(sizeof(Addr) == sizeof(sockaddr_in));

std::ostream& operator<<(std::ostream& os, const Addr& addr);

}  // namespace INet4
