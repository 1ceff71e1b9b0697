// BER encoder (definite lengths) and the length counter that sizes every header in advance.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "asn1/abstract_data.h"
#include "asn1/visitor.h"

namespace ASN1 {

// The minimal number of octets (1 to 4) of the two's complement form of `value`.
unsigned getIntegerDataLength(int value);
// Octets of the contents of `value` (no identifier or length octets).
unsigned getDataLength(const AbstractData& value);
// The whole encoding of `value` under `tag`: its contents alone for tag 0.
unsigned getObjectLength(const AbstractData& value, unsigned tag);
// Identifier and length octets of a header for `tag` and a contents length.
unsigned getHeaderLength(unsigned tag, unsigned length);

class BEREncoder : public ConstVisitor {
public:
    explicit BEREncoder(std::vector<char>& out) : out_(out) {
        out_.clear();
        out_.reserve(256);
    }

    void encodeByte(unsigned byte) { out_.push_back(static_cast<char>(byte & 0xFF)); }
    void encodeBlock(const char* data, std::size_t count) { out_.insert(out_.end(), data, data + count); }
    // Identifier and length octets of `value` under the pending tag (its own tag for -1).
    void encodeHeader(const AbstractData& value);

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
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;

    void encodeInteger(std::int64_t value, unsigned octets);

    std::vector<char>& out_;
    // -1: the value's own tag; 0: the next CHOICE or open type writes no header of its own.
    std::int32_t pendingTag_ = -1;
};

class DataLengthCounter : public ConstVisitor {
public:
    unsigned getDataLen() const { return length_; }
    // Header octets for `tag` (none for 0) plus the counted contents.
    unsigned getObjectLen(unsigned tag) const;

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
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;

    unsigned length_ = 0;
};

// Encoding rule 1 of the coder environment: encoded aside, copied to `out` only on success.
template <class OutputIterator>
bool encodeBER(const AbstractData& value, OutputIterator out) {
    std::vector<char> octets;
    BEREncoder encoder(octets);
    if (!value.accept(encoder)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
}

}  // namespace ASN1
