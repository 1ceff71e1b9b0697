// BER decoder (definite lengths): fills a value of the value model from octets.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "asn1/per_decoder.h"
#include "asn1/visitor.h"

namespace ASN1 {

// Selects the alternative of `choice` that carries the tag (number and class bits of an
// identifier octet); an untagged CHOICE as first alternative is searched in turn.
bool setID(CHOICE& choice, unsigned tagNumber, unsigned tagClass);

class BERDecoder : public Visitor {
public:
    BERDecoder(const char* begin, const char* end, CoderEnv* env = nullptr);

    // Where and why the decoding failed (field path, octet offset, reason).
    const DecodeFailure& failure() const { return failure_; }

    unsigned decodeByte() { return static_cast<unsigned char>(*position_++); }
    bool atEnd() const { return position_ >= end_; }
    void rollback(const char* position) { position_ = position; }
    const char* position() const { return position_; }
    std::size_t left() const { return atEnd() ? 0 : static_cast<std::size_t>(end_ - position_); }
    // Copies up to `count` octets, as many as remain; returns how many.
    unsigned decodeBlock(char* destination, unsigned count);
    // One header: the tag in the info records' form, the primitive flag and the length.
    bool decodeHeader(unsigned& tag, bool& primitive, unsigned& length);
    // The header of `value`, its tag checked (or waived once); the position is restored on failure.
    bool decodeHeader(const AbstractData& value, unsigned& length);
    bool decodeChoicePreamle(CHOICE& choice, const char*& choiceEnd);

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
    VisitSeqResult visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
    bool visitUnknownExtensions(SEQUENCE& seq) override;

    // The header of `value` and a check that its contents lie within the input.
    bool decodeContentsHeader(const AbstractData& value, unsigned& length);
    // A number of 1 to 5 contents octets within [low, high], stored in its 32-bit form.
    bool decodeNumber(unsigned length, std::int64_t low, std::int64_t high, int& value, bool firstSigned);
    // The header of an open type: true with `wrapped` when it is the open type's own tag.
    bool decodeOpenHeader(const OpenData& value, bool& wrapped, unsigned& length);

    // While alive, reads stop at `end`: the end of a constructed value's contents, which its
    // components must not pass.
    class Limit {
    public:
        Limit(BERDecoder& decoder, const char* end) : decoder_(decoder), outer_(decoder.end_) {
            decoder.end_ = end;
        }
        ~Limit() { decoder_.end_ = outer_; }
        Limit(const Limit&) = delete;
        Limit& operator=(const Limit&) = delete;

    private:
        BERDecoder& decoder_;
        const char* outer_;
    };
    struct SequenceBound {
        const char* contentsEnd;
        const char* outerEnd;
    };

    bool fail(const char* reason);
    bool failIn(const char* name);
    bool failInElement(std::size_t index);
    // The octet offset of the read position, for a failure report.
    std::size_t offset() const { return static_cast<std::size_t>(std::min(position_, end_) - begin_); }

    const char* begin_;
    const char* position_;
    // The end of the input or of the innermost constructed value being decoded.
    const char* end_;
    // Each SEQUENCE being decoded, innermost last: where its contents end and the limit it replaced.
    std::vector<SequenceBound> sequenceEnds_;
    // Set when the next header carries a context tag in place of the value's own.
    bool tagWaiver_ = false;
    DecodeFailure failure_;
};

// Encoding rule 1 of the coder environment: decodes [begin, end) into `value`.
bool decodeBER(const char* begin, const char* end, AbstractData& value, CoderEnv* env = nullptr,
               DecodeFailure* failure = nullptr);

}  // namespace ASN1
