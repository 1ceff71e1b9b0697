#include "asn1/octet_string.h"

#include <algorithm>

#include "asn1/asn1.h"

namespace ASN1 {

constexpr ConstrainedObject::InfoType OCTET_STRING::theInfo{
    {&OCTET_STRING::create, 4}, Unconstrained, 0, 0xFFFFFFFFu};
constexpr ConstrainedObject::InfoType BIT_STRING::theInfo{
    {&BIT_STRING::create, 3}, Unconstrained, 0, 0xFFFFFFFFu};

AbstractData* OCTET_STRING::create(const void* info) {
    return new OCTET_STRING(info);
}

int OCTET_STRING::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const OCTET_STRING&>(other);
    return lexicographic_compare_bytes(begin(), end(), o.begin(), o.end());
}

AbstractData* OCTET_STRING::do_clone() const {
    return CloneThroughRecord(*this);
}
bool OCTET_STRING::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool OCTET_STRING::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

AbstractData* BIT_STRING::create(const void* info) {
    return new BIT_STRING(info);
}

void BIT_STRING::resize(unsigned bits) {
    bits_ = bits;
    data_.resize((static_cast<std::size_t>(bits) + 7) / 8, 0);
    // Bits past the end stay clear so equal strings have equal bytes.
    if (bits % 8 != 0) data_.back() = static_cast<char>(data_.back() & (0xFF00 >> (bits % 8)));
}

bool BIT_STRING::operator[](unsigned i) const {
    if (i >= bits_) return false;
    return (static_cast<unsigned char>(data_[i / 8]) & (0x80u >> (i % 8))) != 0;
}

void BIT_STRING::set(unsigned i, bool value) {
    if (i >= bits_) return;
    auto& byte = data_[i / 8];
    const unsigned mask = 0x80u >> (i % 8);
    byte = static_cast<char>(value ? (byte | mask) : (byte & ~mask));
}

int BIT_STRING::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const BIT_STRING&>(other);
    const std::size_t common = std::min(data_.size(), o.data_.size());
    for (std::size_t i = 0; i < common; ++i) {
        int a = static_cast<unsigned char>(data_[i]);
        int b = static_cast<unsigned char>(o.data_[i]);
        if (a != b) return a - b;
    }
    return static_cast<int>(bits_ - o.bits_);
}

AbstractData* BIT_STRING::do_clone() const {
    return CloneThroughRecord(*this);
}
bool BIT_STRING::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool BIT_STRING::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
