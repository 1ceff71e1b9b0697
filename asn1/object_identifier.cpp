#include "asn1/object_identifier.h"

#include <cstdint>

#include <algorithm>

#include "asn1/asn1.h"

namespace ASN1 {

constexpr AbstractData::InfoType OBJECT_IDENTIFIER::theInfo{&OBJECT_IDENTIFIER::create, 6};

AbstractData* OBJECT_IDENTIFIER::create(const void* info) {
    return new OBJECT_IDENTIFIER(info);
}

namespace {
void AppendSubidentifier(std::vector<char>& octets, std::uint64_t value) {
    int shift = 0;
    while (shift + 7 < 64 && (value >> (shift + 7)) != 0) shift += 7;
    for (; shift > 0; shift -= 7) octets.push_back(static_cast<char>(0x80 | ((value >> shift) & 0x7F)));
    octets.push_back(static_cast<char>(value & 0x7F));
}
}  // namespace

void OBJECT_IDENTIFIER::encodeCommon(std::vector<char>& out) const {
    if (arcs_.size() < 2) {
        out.clear();
        return;
    }
    std::vector<char> octets;
    octets.reserve(arcs_.size());
    // The first two arcs share one sub-identifier; 64-bit so arc 2.x with a large x cannot wrap.
    AppendSubidentifier(octets, std::uint64_t{arcs_[0]} * 40 + arcs_[1]);
    for (std::size_t i = 2; i < arcs_.size(); ++i) AppendSubidentifier(octets, arcs_[i]);
    out.insert(out.begin(), octets.begin(), octets.end());
}

bool OBJECT_IDENTIFIER::decodeCommon(const char* data, unsigned length) {
    arcs_.clear();
    if (length == 0) return true;
    arcs_.reserve(std::size_t{length} + 1);
    arcs_.push_back(0);  // placeholder for the first arc
    std::uint64_t value = 0;
    bool inside = false;
    for (unsigned i = 0; i < length; ++i) {
        const auto octet = static_cast<unsigned char>(data[i]);
        value = value * 128 + (octet & 0x7F);
        // The first sub-identifier holds two arcs: it may reach 2 * 40 + 0xFFFFFFFF.
        const std::uint64_t limit = arcs_.size() == 1 ? std::uint64_t{0xFFFFFFFF} + 80 : 0xFFFFFFFFu;
        if (value > limit) return false;
        inside = (octet & 0x80) != 0;
        if (!inside) {
            if (arcs_.size() == 1) {
                if (value < 40) {
                    arcs_[0] = 0;
                } else if (value < 80) {
                    arcs_[0] = 1;
                    value -= 40;
                } else {
                    arcs_[0] = 2;
                    value -= 80;
                }
            }
            arcs_.push_back(static_cast<unsigned>(value));
            value = 0;
        }
    }
    if (inside) return false;
    return true;
}

int OBJECT_IDENTIFIER::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const OBJECT_IDENTIFIER&>(other);
    const std::size_t common = std::min(arcs_.size(), o.arcs_.size());
    for (std::size_t i = 0; i < common; ++i)
        if (arcs_[i] != o.arcs_[i]) return static_cast<int>(arcs_[i] - o.arcs_[i]);
    return static_cast<int>(arcs_.size() - o.arcs_.size());
}

AbstractData* OBJECT_IDENTIFIER::do_clone() const {
    return CloneThroughRecord(*this);
}
bool OBJECT_IDENTIFIER::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool OBJECT_IDENTIFIER::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
