// OBJECT IDENTIFIER values and their contents-octet codec, shared by the BER and PER coders.
#pragma once

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class OBJECT_IDENTIFIER : public AbstractData, private detail::Allocator<OBJECT_IDENTIFIER> {
public:
    static const InfoType theInfo;

    explicit OBJECT_IDENTIFIER(const void* info = &theInfo) : AbstractData(info) {}
    OBJECT_IDENTIFIER(const OBJECT_IDENTIFIER&) = default;
    OBJECT_IDENTIFIER& operator=(const OBJECT_IDENTIFIER&) = default;

    unsigned levels() const { return static_cast<unsigned>(arcs_.size()); }
    unsigned operator[](unsigned i) const { return arcs_[i]; }
    void append(unsigned arc) { arcs_.push_back(arc); }

    // X.690 contents octets, inserted at the front of `out`; nothing for fewer than two arcs.
    void encodeCommon(std::vector<char>& out) const;
    // Replaces the arcs with those of the contents octets. Fails on a sub-identifier cut short
    // or one that does not fit 32 bits (the arcs read so far stay).
    bool decodeCommon(const char* data, unsigned length);

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    std::vector<unsigned> arcs_;
};

}  // namespace ASN1
