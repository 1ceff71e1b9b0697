#include "slots/auth_record.h"

#include <cstring>

namespace AuthRecord {

namespace {

constexpr size_t kUserAt = 12;
constexpr size_t kPasswordAt = 76;
constexpr size_t kTextField = 64;

std::string Text(const uint8_t* field) {
    const void* nul = std::memchr(field, 0, kTextField);
    const size_t n =
        nul != nullptr ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - field) : kTextField;
    return std::string(reinterpret_cast<const char*>(field), n);
}

uint64_t Split64(const uint8_t* record, unsigned upper) {
    return (static_cast<uint64_t>(Word(record, upper)) << 32) | Word(record, upper + 1);
}

void PutAddress(uint8_t* record, unsigned index, uint32_t address) {
    uint8_t* p = record + 4 * index;
    p[0] = static_cast<uint8_t>(address >> 24);
    p[1] = static_cast<uint8_t>(address >> 16);
    p[2] = static_cast<uint8_t>(address >> 8);
    p[3] = static_cast<uint8_t>(address);
}

Bytes Record(uint32_t size, Type type, uint32_t session) {
    Bytes record(size, 0);
    PutWord(record.data(), 0, size);
    PutWord(record.data(), 1, type);
    PutWord(record.data(), 2, session);
    return record;
}

}  // namespace

uint32_t Word(const uint8_t* record, unsigned index) {
    uint32_t value;
    std::memcpy(&value, record + 4 * index, sizeof value);
    return value;
}

void PutWord(uint8_t* record, unsigned index, uint32_t value) {
    std::memcpy(record + 4 * index, &value, sizeof value);
}

bool DecodeLogin(const uint8_t* record, size_t length, Login& login) {
    if (length != kLoginSize) return false;
    login.session = Word(record, 2);
    login.user = Text(record + kUserAt);
    login.password = Text(record + kPasswordAt);
    return true;
}

bool DecodeAccounting(const uint8_t* record, size_t length, Accounting& accounting) {
    if (length != kAccountingSize) return false;
    accounting.session = Word(record, 2);
    accounting.octets_out = Split64(record, 6);
    accounting.octets_in = Split64(record, 8);
    accounting.packets_out = Split64(record, 10);
    accounting.packets_in = Split64(record, 12);
    accounting.time = Word(record, 14);
    return true;
}

Bytes EncodeAccept(uint32_t session) {
    Bytes record = Record(kAcceptSize, kAccept, session);
    PutWord(record.data(), 3, 1);
    return record;
}

Bytes EncodeAddress(uint32_t session, const Address& address) {
    Bytes record = Record(kAddressSize, kAddress, session);
    PutAddress(record.data(), 4, address.remote);
    PutAddress(record.data(), 5, address.netmask);
    PutAddress(record.data(), 6, address.gateway);
    PutAddress(record.data(), 7, address.dns);
    PutWord(record.data(), 8, address.mtu);
    return record;
}

uint8_t* Stream::space() {
    if (begin_ != 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
        end_ -= begin_;
        begin_ = 0;
    }
    return buffer_.data() + end_;
}

Stream::Result Stream::Next(const uint8_t*& record, uint32_t& length) {
    const size_t held = end_ - begin_;
    if (held < 4) return kMore;
    length = Word(buffer_.data() + begin_, 0);
    if (length < kHeaderSize || length > kMaxSize) return kBadLength;
    if (held < length) return kMore;
    record = buffer_.data() + begin_;
    begin_ += length;
    return kRecord;
}

}  // namespace AuthRecord
