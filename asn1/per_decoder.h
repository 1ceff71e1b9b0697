// Aligned PER decoder: reads the octets of one message into a value of the value model.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class ConstrainedObject;
class CoderEnv;

// Largest decoded size of a string (octets, bits or characters) and largest element count of a
// SEQUENCE OF or extension bitmap: what a message from outside may make us allocate.
constexpr unsigned MaximumStringSize = 16384;
constexpr unsigned MaximumArraySize = 128;

// Where a decoding failed, for the caller's log line: the field path from the top-level value
// ("pdu.command.userData", "[3]" for an element), the octet offset of the read position, and
// what went wrong.
struct DecodeFailure {
    std::string path;
    std::size_t offset = 0;
    const char* reason = nullptr;

    bool failed() const { return reason != nullptr; }

    // The first failure is the one kept; each returns false for the decoder to pass on.
    bool Fail(const char* why, std::size_t at);
    // Prefixes the path with the field (or element) whose decoding failed at `at`.
    bool FailIn(const char* name, std::size_t at);
    bool FailInElement(std::size_t index, std::size_t at);
};

class PERDecoder : public Visitor {
public:
    struct memento_type {
        memento_type(const char* position = nullptr, unsigned bits = 8) : position(position), bits(bits) {}
        const char* position;
        unsigned bits;
    };

    PERDecoder(const char* begin, const char* end, CoderEnv* env, bool aligned);

    const DecodeFailure& failure() const { return failure_; }

    // Read state.
    bool atEnd() const { return position_ >= end_; }
    bool aligned() const { return aligned_; }
    std::size_t getBitsLeft() const;
    void byteAlign();
    void setPosition(const char* position);
    void rollback(const memento_type& memento);
    memento_type memento() const { return memento_type(position_, unreadBits_); }

    // Primitive reads. The int results are 0 for success and -1 for failure.
    bool decodeSingleBit();
    bool decodeMultiBit(unsigned n, unsigned& value);
    bool decodeBitMap(std::vector<char>& bits, unsigned n);
    unsigned decodeBlock(char* dst, unsigned n);
    bool decodeSmallUnsigned(unsigned& value);
    int decodeUnsigned(unsigned lower, unsigned upper, unsigned& value);
    int decodeLength(unsigned lower, unsigned upper, unsigned& length);
    int decodeConstrainedLength(const ConstrainedObject& object, unsigned& length);

private:
    bool do_visit(Null& value) override;
    bool do_visit(BOOLEAN& value) override;
    bool do_visit(INTEGER& value) override;
    bool do_visit(ENUMERATED& value) override;
    bool do_visit(OBJECT_IDENTIFIER& value) override;
    bool do_visit(OCTET_STRING& value) override;
    bool do_visit(BIT_STRING& value) override;
    bool do_visit(AbstractString& value) override;
    bool do_visit(BMPString& value) override;
    bool do_visit(CHOICE& value) override;
    bool do_visit(SEQUENCE_OF_Base& value) override;
    bool do_visit(OpenData& value) override;
    bool do_revisit(OpenData& value) override;
    bool do_visit(TypeConstrainedOpenData& value) override;
    bool do_visit(GeneralizedTime& value) override;
    VisitSeqResult preVisitExtensionRoots(SEQUENCE& seq) override;
    VisitSeqResult visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) override;
    VisitSeqResult preVisitExtensions(SEQUENCE& seq) override;
    VisitSeqResult visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
    bool visitUnknownExtensions(SEQUENCE& seq) override;

    // Records the first failure with the current offset; always false.
    bool fail(const char* reason);
    // Adds one step to the path of a failure that a component reported.
    bool failIn(const char* name);
    bool failInElement(std::size_t index);
    // The octet offset of the read position, for a failure report.
    std::size_t offset() const { return static_cast<std::size_t>(std::min(position_, end_) - begin_); }
    // Reads a general length and checks that that many octets follow.
    bool decodeOpenLength(unsigned& octets);
    // Decodes `value` from exactly the next `octets` octets and moves past them.
    bool decodeOpen(AbstractData& value, unsigned octets);
    // Refuses a size larger than the input could still hold, before anything is allocated.
    bool fits(std::uint64_t bits) const { return bits <= getBitsLeft(); }

    const char* begin_;
    const char* position_;
    const char* end_;
    std::uint16_t unreadBits_ = 8;
    bool aligned_;
    DecodeFailure failure_;
    // Count of unknown extension additions announced, per SEQUENCE whose additions are being read.
    std::vector<unsigned> unknownExtensions_;
};

}  // namespace ASN1
