// Aligned PER encoder: turns a value of the value model into octets for the control links.
#pragma once

#include <cstdint>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class ConstrainedObject;

class PEREncoder : public ConstVisitor {
public:
    // Empties `out` and reserves room for a typical message.
    PEREncoder(std::vector<char>& out, bool aligned);

    bool aligned() const { return aligned_; }

    // Bit-level output; bits are written most significant first, fill bits are 0.
    void byteAlign();
    void encodeSingleBit(bool bit);
    void encodeMultiBit(unsigned value, unsigned n);
    void encodeByte(unsigned value);
    void encodeBlock(const char* data, unsigned n);
    void encodeBitMap(const std::vector<char>& bits, unsigned n);

    void encodeSmallUnsigned(unsigned n);
    bool encodeUnsigned(unsigned value, unsigned lower, unsigned upper);
    bool encodeLength(unsigned length, unsigned lower, unsigned upper);
    // Writes the extension bit of an extensible constraint; true when `value` is then to be
    // encoded as unconstrained.
    bool encodeConstraint(const ConstrainedObject& object, unsigned value);
    bool encodeConstrainedLength(const ConstrainedObject& object, unsigned length);
    // The open-type wrapper: the value's own encoding, preceded by its octet count.
    bool encodeAnyType(const AbstractData* value);

private:
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const ENUMERATED& value) override;
    bool do_visit(const OBJECT_IDENTIFIER& value) override;
    bool do_visit(const BIT_STRING& value) override;
    bool do_visit(const OCTET_STRING& value) override;
    bool do_visit(const AbstractString& value) override;
    bool do_visit(const BMPString& value) override;
    bool do_visit(const CHOICE& value) override;
    bool do_visit(const OpenData& value) override;
    bool do_visit(const GeneralizedTime& value) override;
    bool do_visit(const SEQUENCE_OF_Base& value) override;
    bool preVisitExtensionRoots(const SEQUENCE& seq) override;
    bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
    bool preVisitExtensions(const SEQUENCE& seq) override;
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;

    // Encodes a general length and its octets, or the empty open type for no octets.
    bool encodeOpenOctets(const char* data, unsigned n);

    std::vector<char>& out_;
    std::uint16_t freeBits_ = 8;
    bool aligned_;
};

}  // namespace ASN1
