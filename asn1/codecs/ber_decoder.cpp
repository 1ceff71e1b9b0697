#include "asn1/codecs/ber_decoder.h"

#include <algorithm>
#include <cstdint>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {
unsigned ClassOf(unsigned tag) {
    return (tag >> 16) & 0xC0;
}
unsigned NumberOf(unsigned tag) {
    return tag & 0xFFFF;
}
}  // namespace

bool setID(CHOICE& choice, unsigned tagNumber, unsigned tagClass) {
    auto record = static_cast<const CHOICE::InfoType*>(choice.info());
    if (record->tags == nullptr) {
        // Automatic tags: the number is the alternative's index.
        if (tagNumber >= record->totalChoices) return false;
        return choice.select(static_cast<int>(tagNumber)) && choice.getSelection() != nullptr;
    }
    const unsigned tag = (tagClass << 16) | tagNumber;
    const unsigned* first = record->tags;
    const unsigned* last = first + record->numChoices;
    const unsigned* found = std::lower_bound(first, last, tag);
    if (found != last && *found == tag)
        return choice.select(static_cast<int>(found - first)) && choice.getSelection() != nullptr;
    if (record->numChoices > 0 && record->tags[0] == 0 && choice.select(0)) {
        // The first alternative is itself an untagged CHOICE: its alternatives share our tag space.
        if (auto inner = dynamic_cast<CHOICE*>(choice.getSelection()))
            if (setID(*inner, tagNumber, tagClass)) return true;
    }
    choice.setSelection(CHOICE::unselected_, nullptr);
    return false;
}

BERDecoder::BERDecoder(const char* begin, const char* end, CoderEnv* env)
    : Visitor(env), begin_(begin), position_(begin), end_(end) {}

unsigned BERDecoder::decodeBlock(char* destination, unsigned count) {
    const unsigned n = static_cast<unsigned>(std::min<std::size_t>(count, left()));
    std::copy(position_, position_ + n, destination);
    position_ += n;
    return n;
}

bool BERDecoder::decodeHeader(unsigned& tag, bool& primitive, unsigned& length) {
    if (atEnd()) return false;
    const unsigned identifier = decodeByte();
    primitive = (identifier & 0x20) == 0;
    unsigned number = identifier & 0x1F;
    if (number == 0x1F) {
        number = 0;
        unsigned octet;
        do {
            if (atEnd()) return false;
            octet = decodeByte();
            number = number * 128 + (octet & 0x7F);
            // Tag numbers of the info records have 16 bits; a longer one names no type of ours.
            if (number > 0xFFFF) return false;
        } while (octet & 0x80);
    }
    tag = ((identifier & 0xC0) << 16) | number;
    if (atEnd()) return false;
    const unsigned first = decodeByte();
    if (first < 0x80) {
        length = first;
        return true;
    }
    // 0x80 (indefinite) gives 0 octets; more than four keep the low 32 bits.
    length = 0;
    for (unsigned n = first & 0x7F; n > 0; --n) {
        if (atEnd()) return false;
        length = (length << 8) | decodeByte();
    }
    return true;
}

bool BERDecoder::decodeHeader(const AbstractData& value, unsigned& length) {
    const char* start = position_;
    unsigned tag;
    bool primitive;
    const bool waived = tagWaiver_;
    tagWaiver_ = false;  // a waiver covers the next header only
    if (!decodeHeader(tag, primitive, length)) {
        rollback(start);
        return fail("header cut short");
    }
    if (tag != value.getTag() && !waived) {
        rollback(start);
        return fail("unexpected tag");
    }
    return true;
}

bool BERDecoder::decodeContentsHeader(const AbstractData& value, unsigned& length) {
    if (!decodeHeader(value, length)) return false;
    if (length > left()) return fail("length beyond end of input");
    return true;
}

bool BERDecoder::decodeNumber(unsigned length, std::int64_t low, std::int64_t high, int& value,
                              bool firstSigned) {
    if (length == 0) return fail("empty number");
    // Up to four octets, or five for an unsigned 32-bit number with its leading zero.
    if (length > 5) return fail("number does not fit 32 bits");
    const unsigned first = decodeByte();
    std::int64_t number = firstSigned ? static_cast<signed char>(first) : static_cast<std::int64_t>(first);
    for (unsigned i = 1; i < length; ++i) number = number * 256 + decodeByte();
    // Outside the value's 32-bit form the number would be stored as another one.
    if (number < low || number > high) return fail("number does not fit 32 bits");
    value = static_cast<int>(static_cast<std::uint32_t>(number));
    return true;
}

bool BERDecoder::do_visit(Null& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    position_ += length;
    return true;
}

bool BERDecoder::do_visit(BOOLEAN& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    for (unsigned i = 0; i < length; ++i) value = decodeByte() != 0;
    return true;
}

bool BERDecoder::do_visit(INTEGER& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    // A type whose lower bound is 0 or more holds its number unsigned, as the encoder writes it.
    const bool unsignedForm = value.constrained() && value.getLowerLimit() >= 0;
    const std::int64_t low = unsignedForm ? 0 : INT32_MIN;
    const std::int64_t high = unsignedForm ? UINT32_MAX : INT32_MAX;
    int number;
    if (!decodeNumber(length, low, high, number, true)) return false;
    value.setValue(number);
    return true;
}

bool BERDecoder::do_visit(ENUMERATED& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    int number;
    if (!decodeNumber(length, 0, INT32_MAX, number, false)) return false;
    value.setFromInt(number);
    return true;
}

bool BERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    const char* contents = position_;
    position_ += length;
    if (!value.decodeCommon(contents, length)) return fail("bad OBJECT IDENTIFIER arcs");
    return true;
}

bool BERDecoder::do_visit(OCTET_STRING& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    value.assign(position_, position_ + length);
    position_ += length;
    return true;
}

bool BERDecoder::do_visit(BIT_STRING& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    if (length == 0) return fail("BIT STRING without unused-bits octet");
    const unsigned unused = decodeByte();
    if (unused > 7 || (unused != 0 && length == 1)) return fail("bad unused-bits count");
    const unsigned bits = (length - 1) * 8 - unused;
    value.resize(bits);
    for (unsigned i = 0; i < bits; ++i)
        value.set(i, (static_cast<unsigned char>(position_[i / 8]) & (0x80u >> (i % 8))) != 0);
    position_ += length - 1;
    return true;
}

bool BERDecoder::do_visit(AbstractString& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    value.std::string::assign(position_, length);
    position_ += length;
    return true;
}

bool BERDecoder::do_visit(BMPString& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    if (length % 2 != 0) return fail("odd BMPString length");
    std::wstring text(length / 2, L'\0');
    for (auto& c : text) {
        const unsigned high = decodeByte();
        c = static_cast<wchar_t>((high << 8) | decodeByte());
    }
    static_cast<std::wstring&>(value) = text;
    return true;
}

bool BERDecoder::do_visit(GeneralizedTime& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    const std::string text(position_, length);
    // The text is read up to its first NUL: a NUL inside would give a shorter time.
    if (text.find('\0') != std::string::npos) return fail("NUL octet in GeneralizedTime");
    position_ += length;
    value.set(text.c_str());
    return true;
}

bool BERDecoder::do_visit(SEQUENCE_OF_Base& value) {
    unsigned length;
    if (!decodeContentsHeader(value, length)) return false;
    value.clear();
    const char* contentsEnd = position_ + length;
    Limit limit(*this, contentsEnd);
    for (std::size_t i = 0; position_ < contentsEnd; ++i) {
        AbstractData* element = value.createElement();
        if (element == nullptr) return fail("element type cannot be created");
        const char* start = position_;
        if (!element->accept(*this) || position_ == start) {
            delete element;
            return failInElement(i);
        }
        value.push_back(element);
    }
    return true;
}

bool BERDecoder::decodeChoicePreamle(CHOICE& choice, const char*& choiceEnd) {
    const char* start = position_;
    unsigned tag, length;
    bool primitive;
    if (!decodeHeader(tag, primitive, length)) return fail("header cut short");
    const char* wrapperEnd = nullptr;
    if (tagWaiver_ || choice.getTag() != 0) {
        // That header was the CHOICE's own wrapper; the alternative's follows.
        tagWaiver_ = false;
        if (length > left()) return fail("length beyond end of input");
        wrapperEnd = position_ + length;
        start = position_;
        if (!decodeHeader(tag, primitive, length)) return fail("header cut short");
    }
    if (length > left()) return fail("length beyond end of input");
    choiceEnd = position_ + length;
    if (wrapperEnd != nullptr) {
        if (choiceEnd > wrapperEnd) return fail("alternative runs past its wrapper");
        choiceEnd = wrapperEnd;
    }
    rollback(start);
    if (!setID(choice, NumberOf(tag), ClassOf(tag))) return fail("tag names no alternative");
    return true;
}

bool BERDecoder::do_visit(CHOICE& value) {
    const char* choiceEnd;
    if (!decodeChoicePreamle(value, choiceEnd)) return false;
    // The alternative's header carries its context tag, not its type's own.
    if (value.getSelectionTag() != 0) tagWaiver_ = true;
    Limit limit(*this, choiceEnd);
    if (!value.getSelection()->accept(*this)) return failIn(value.getSelectionName());
    position_ = choiceEnd;
    return true;
}

bool BERDecoder::decodeOpenHeader(const OpenData& value, bool& wrapped, unsigned& length) {
    const char* start = position_;
    unsigned tag;
    bool primitive;
    // A field tag in front of an untagged open type wraps it like the open type's own tag would.
    wrapped = value.getTag() != 0 || tagWaiver_;
    tagWaiver_ = false;
    if (!decodeHeader(tag, primitive, length)) return fail("header cut short");
    if (length > left()) return fail("truncated open type");
    if (!wrapped) {
        length += static_cast<unsigned>(position_ - start);
        rollback(start);
    }
    return true;
}

bool BERDecoder::do_visit(OpenData& value) {
    bool wrapped;
    unsigned length;
    if (!decodeOpenHeader(value, wrapped, length)) return false;
    if (!value.has_buf()) value.grab(new OpenData::Buffer);
    value.get_buf().assign(position_, position_ + length);
    position_ += length;
    return true;
}

bool BERDecoder::do_revisit(OpenData& value) {
    if (!value.has_buf() || !value.has_data()) return fail("open type has nothing to decode");
    const OpenData::Buffer& buf = value.get_buf();
    BERDecoder inner(buf.data(), buf.data() + buf.size(), get_env());
    if (value.get_data().accept(inner)) return true;
    failure_ = inner.failure();
    return false;
}

bool BERDecoder::do_visit(TypeConstrainedOpenData& value) {
    bool wrapped;
    unsigned length;
    if (!value.has_data()) return fail("open type has no value to fill");
    if (!decodeOpenHeader(value, wrapped, length)) return false;
    const char* contentsEnd = position_ + length;
    Limit limit(*this, contentsEnd);
    if (!value.get_data().accept(*this)) return false;
    position_ = contentsEnd;
    return true;
}

VisitSeqResult BERDecoder::preVisitExtensionRoots(SEQUENCE& seq) {
    unsigned length;
    if (!decodeContentsHeader(seq, length)) return FAIL;
    // The fields must not read past the SEQUENCE's own length, whatever the outer lengths allow.
    sequenceEnds_.push_back({position_ + length, end_});
    end_ = position_ + length;
    return CONTINUE;
}

VisitSeqResult BERDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
    const bool optional = optionalId != -1;
    if (atEnd()) {
        if (optional) return CONTINUE;
        fail("mandatory field missing");
        return failIn(seq.getFieldName(index)), FAIL;
    }

    const char* start = position_;
    unsigned tag, length;
    bool primitive;
    if (!decodeHeader(tag, primitive, length)) return fail("header cut short"), FAIL;
    rollback(start);
    const unsigned fieldTag = seq.getFieldTag(index);
    // Not this field's tag: it is absent (or, leniently, a missing mandatory field).
    if (fieldTag != 0 && fieldTag != tag) return CONTINUE;

    AbstractData* field =
        optional ? seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index))
                 : seq.getField(static_cast<unsigned>(index));
    if (field == nullptr) {
        if (!optional) return fail("field cannot be created"), FAIL;
        seq.removeOptionalField(static_cast<unsigned>(optionalId));
        return CONTINUE;
    }
    if (seq.tagMode() != 2) tagWaiver_ = true;

    const std::size_t depth = sequenceEnds_.size();
    const char* limit = end_;
    const DecodeFailure before = failure_;
    if (field->accept(*this)) return CONTINUE;
    // A SEQUENCE that failed inside the field left its bound behind.
    tagWaiver_ = false;
    sequenceEnds_.resize(depth);
    end_ = limit;
    if (optional) {
        seq.removeOptionalField(static_cast<unsigned>(optionalId));
        if (fieldTag == 0) {
            // An untagged CHOICE or open type that did not match: skipped.
            rollback(start);
            failure_ = before;
            return CONTINUE;
        }
    }
    return failIn(seq.getFieldName(index)), FAIL;
}

VisitSeqResult BERDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
    return visitExtensionRoot(seq, index, optionalId);
}

bool BERDecoder::visitUnknownExtensions(SEQUENCE&) {
    // Whatever was not decoded (unknown extensions among it) is skipped.
    position_ = sequenceEnds_.back().contentsEnd;
    end_ = sequenceEnds_.back().outerEnd;
    sequenceEnds_.pop_back();
    return true;
}

bool BERDecoder::fail(const char* reason) {
    return failure_.Fail(reason, offset());
}

bool BERDecoder::failIn(const char* name) {
    return failure_.FailIn(name, offset());
}

bool BERDecoder::failInElement(std::size_t index) {
    return failure_.FailInElement(index, offset());
}

bool decodeBER(const char* begin, const char* end, AbstractData& value, CoderEnv* env,
               DecodeFailure* failure) {
    BERDecoder decoder(begin, end, env);
    const bool ok = value.accept(decoder);
    if (!ok && failure != nullptr) {
        *failure = decoder.failure();
        if (!failure->failed()) failure->reason = "undecodable";
    }
    return ok;
}

}  // namespace ASN1
