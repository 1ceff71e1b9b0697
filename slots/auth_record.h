// The records exchanged with the PPP authentication peer (portslave) on the modem
// factory's socket: 32-bit words in the host's byte order, word 0 the record's length
// in bytes, word 1 its type, word 2 the session number. What is read from the peer
// is gathered here and taken apart field by field; what is sent is built here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace AuthRecord {

enum Type : uint32_t { kLogin = 1, kAccept = 2, kAddress = 3, kAccounting = 4 };

constexpr uint32_t kHeaderSize = 12;
constexpr uint32_t kLoginSize = 140;
constexpr uint32_t kAcceptSize = 16;
constexpr uint32_t kAddressSize = 36;
constexpr uint32_t kAccountingSize = 64;
// Longer than any record the peer has a reason to send; a length word beyond it
// means the stream has lost its framing.
constexpr uint32_t kMaxSize = 4096;

using Bytes = std::vector<uint8_t>;

// Word `index` of a record, read in the host's order.
uint32_t Word(const uint8_t* record, unsigned index);
void PutWord(uint8_t* record, unsigned index, uint32_t value);

// Type 1: the user's name and password, each cut at its NUL or its field's end.
struct Login {
    uint32_t session = 0;
    std::string user;
    std::string password;
};
// False when the record is not a login request of the right size.
bool DecodeLogin(const uint8_t* record, size_t length, Login& login);

// Type 4: the session's counters when it ends.
struct Accounting {
    uint32_t session = 0;
    uint64_t octets_out = 0;
    uint64_t octets_in = 0;
    uint64_t packets_out = 0;
    uint64_t packets_in = 0;
    uint32_t time = 0;
};
bool DecodeAccounting(const uint8_t* record, size_t length, Accounting& accounting);

// Type 3: the IP parameters of the session. Addresses are held as numbers
// (192.168.0.1 is 0xC0A80001) and go out in network byte order.
struct Address {
    uint32_t remote = 0;
    uint32_t netmask = 0;
    uint32_t gateway = 0;
    uint32_t dns = 0;
    uint32_t mtu = 0;
};

// Type 2, word 3 = 1: the peer may let the user in.
Bytes EncodeAccept(uint32_t session);
Bytes EncodeAddress(uint32_t session, const Address& address);

// The records of one connection as they arrive, split across reads or several in
// one: at most one record's worth of bytes is held, so a peer cannot make it grow.
class Stream {
public:
    enum Result { kRecord, kMore, kBadLength };

    // Where the next read goes and how much it may bring, asked in either order;
    // the room is never 0 after Next() gave kMore.
    uint8_t* space();
    size_t room() const { return buffer_.size() - (end_ - begin_); }
    void Filled(size_t count) { end_ += count; }

    // The next whole record (valid until the next space()), or kMore, or kBadLength
    // when the length word (in `length`) is below the header or above kMaxSize.
    Result Next(const uint8_t*& record, uint32_t& length);

private:
    std::array<uint8_t, kMaxSize> buffer_{};
    size_t begin_ = 0;
    size_t end_ = 0;
};

}  // namespace AuthRecord
