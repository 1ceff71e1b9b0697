#include "asn1/codecs/ber_encoder.h"

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

constexpr std::int32_t kOwnTag = -1;

unsigned TagNumber(unsigned tag) {
    return tag & 0xFFFF;
}
unsigned TagClass(unsigned tag) {
    return (tag >> 16) & 0xC0;
}

unsigned TagNumberOctets(unsigned number) {
    if (number < 31) return 1;
    unsigned octets = 1;
    for (unsigned n = number; n != 0; n >>= 7) ++octets;
    return octets;
}

unsigned LengthOctets(unsigned length) {
    if (length < 128) return 1;
    unsigned octets = 1;
    for (unsigned n = length; n != 0; n >>= 8) ++octets;
    return octets;
}

// The contents of an INTEGER as a 64-bit number and its octet count. A type whose lower bound
// is 0 or more holds an unsigned number: 2^31 and above get a leading zero octet instead of
// turning negative.
unsigned IntegerContents(const INTEGER& value, std::int64_t& number) {
    if (value.constrained() && value.getLowerLimit() >= 0 && value.getValue() < 0) {
        number = static_cast<unsigned>(value.getValue());
        return 5;
    }
    number = value.getValue();
    return getIntegerDataLength(value.getValue());
}

// Wrappers (a tagged CHOICE or open type) are explicit tags and so always constructed.
bool IsConstructed(const AbstractData& value) {
    if (dynamic_cast<const CHOICE*>(&value) != nullptr || dynamic_cast<const OpenData*>(&value) != nullptr)
        return true;
    PrimitiveChecker checker;
    return !value.accept(checker);
}

unsigned BitStringContents(const BIT_STRING& value) {
    return 1 + (value.size() + 7) / 8;
}

}  // namespace

unsigned getIntegerDataLength(int value) {
    int shift = 23;
    for (; shift > 0; shift -= 8) {
        const unsigned nine = static_cast<unsigned>(value >> shift) & 0x1FF;
        if (value >= 0 ? nine != 0 : nine != 0x1FF) break;
    }
    return static_cast<unsigned>(shift + 9) / 8;
}

unsigned getDataLength(const AbstractData& value) {
    DataLengthCounter counter;
    value.accept(counter);
    return counter.getDataLen();
}

unsigned getHeaderLength(unsigned tag, unsigned length) {
    return TagNumberOctets(TagNumber(tag)) + LengthOctets(length);
}

unsigned getObjectLength(const AbstractData& value, unsigned tag) {
    const unsigned length = getDataLength(value);
    return tag == 0 ? length : getHeaderLength(tag, length) + length;
}

// ---- encoder ----

void BEREncoder::encodeHeader(const AbstractData& value) {
    const unsigned tag = pendingTag_ == kOwnTag ? value.getTag() : static_cast<unsigned>(pendingTag_);
    const unsigned number = TagNumber(tag);
    unsigned identifier = TagClass(tag) | (IsConstructed(value) ? 0x20 : 0);
    if (number < 31) {
        encodeByte(identifier | number);
    } else {
        encodeByte(identifier | 0x1F);
        int shift = 0;
        while ((number >> (shift + 7)) != 0) shift += 7;
        for (; shift > 0; shift -= 7) encodeByte(0x80 | ((number >> shift) & 0x7F));
        encodeByte(number & 0x7F);
    }
    const unsigned length = getDataLength(value);
    if (length < 128) {
        encodeByte(length);
        return;
    }
    const unsigned octets = LengthOctets(length) - 1;
    encodeByte(0x80 | octets);
    for (unsigned i = octets; i > 0; --i) encodeByte(length >> (8 * (i - 1)));
}

void BEREncoder::encodeInteger(std::int64_t value, unsigned octets) {
    for (unsigned i = octets; i > 0; --i) encodeByte(static_cast<unsigned>(value >> (8 * (i - 1))));
}

bool BEREncoder::do_visit(const Null& value) {
    encodeHeader(value);
    return true;
}

bool BEREncoder::do_visit(const BOOLEAN& value) {
    encodeHeader(value);
    encodeByte(value ? 0xFF : 0x00);
    return true;
}

bool BEREncoder::do_visit(const INTEGER& value) {
    encodeHeader(value);
    std::int64_t number;
    const unsigned octets = IntegerContents(value, number);
    encodeInteger(number, octets);
    return true;
}

bool BEREncoder::do_visit(const ENUMERATED& value) {
    encodeHeader(value);
    encodeInteger(value.asInt(), getIntegerDataLength(value.asInt()));
    return true;
}

bool BEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    encodeHeader(value);
    std::vector<char> arcs;
    value.encodeCommon(arcs);
    encodeBlock(arcs.data(), arcs.size());
    return true;
}

bool BEREncoder::do_visit(const BIT_STRING& value) {
    encodeHeader(value);
    encodeByte((8 - value.size() % 8) % 8);
    const std::size_t octets = (value.size() + 7) / 8;
    const std::vector<char>& data = value.getData();
    for (std::size_t i = 0; i < octets; ++i)
        encodeByte(i < data.size() ? static_cast<unsigned char>(data[i]) : 0);
    return true;
}

bool BEREncoder::do_visit(const OCTET_STRING& value) {
    encodeHeader(value);
    encodeBlock(value.data(), value.std::vector<char>::size());
    return true;
}

bool BEREncoder::do_visit(const AbstractString& value) {
    encodeHeader(value);
    encodeBlock(value.data(), value.std::string::size());
    return true;
}

bool BEREncoder::do_visit(const BMPString& value) {
    encodeHeader(value);
    for (wchar_t c : static_cast<const std::wstring&>(value)) {
        encodeByte(static_cast<unsigned>(c) >> 8);
        encodeByte(static_cast<unsigned>(c));
    }
    return true;
}

bool BEREncoder::do_visit(const GeneralizedTime& value) {
    encodeHeader(value);
    const std::string text = value.get();
    encodeBlock(text.data(), text.size());
    return true;
}

bool BEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
    encodeHeader(value);
    for (const AbstractData* element : value) {
        pendingTag_ = kOwnTag;
        if (element == nullptr || !element->accept(*this)) return false;
    }
    return true;
}

bool BEREncoder::preVisitExtensionRoots(const SEQUENCE& seq) {
    encodeHeader(seq);
    return true;
}

bool BEREncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    if (field == nullptr) return false;
    pendingTag_ = static_cast<std::int32_t>(seq.getFieldTag(index));
    return field->accept(*this);
}

bool BEREncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}

bool BEREncoder::do_visit(const CHOICE& value) {
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) return false;
    if (pendingTag_ != 0 && (pendingTag_ != kOwnTag || value.getTag() != 0)) encodeHeader(value);
    pendingTag_ = static_cast<std::int32_t>(value.getSelectionTag());
    return value.getSelection()->accept(*this);
}

bool BEREncoder::do_visit(const OpenData& value) {
    if (value.isEmpty()) return false;
    if (pendingTag_ == kOwnTag) pendingTag_ = static_cast<std::int32_t>(value.getTag());
    if (pendingTag_ != 0) encodeHeader(value);
    pendingTag_ = kOwnTag;
    if (value.has_data()) return value.get_data().accept(*this);
    encodeBlock(value.get_buf().data(), value.get_buf().size());
    return true;
}

// ---- length counter ----

unsigned DataLengthCounter::getObjectLen(unsigned tag) const {
    return tag == 0 ? length_ : getHeaderLength(tag, length_) + length_;
}

bool DataLengthCounter::do_visit(const Null&) {
    return true;
}
bool DataLengthCounter::do_visit(const BOOLEAN&) {
    length_ += 1;
    return true;
}
bool DataLengthCounter::do_visit(const INTEGER& value) {
    std::int64_t number;
    length_ += IntegerContents(value, number);
    return true;
}
bool DataLengthCounter::do_visit(const ENUMERATED& value) {
    length_ += getIntegerDataLength(value.asInt());
    return true;
}
bool DataLengthCounter::do_visit(const OBJECT_IDENTIFIER& value) {
    std::vector<char> arcs;
    value.encodeCommon(arcs);
    length_ += static_cast<unsigned>(arcs.size());
    return true;
}
bool DataLengthCounter::do_visit(const BIT_STRING& value) {
    length_ += BitStringContents(value);
    return true;
}
bool DataLengthCounter::do_visit(const OCTET_STRING& value) {
    length_ += static_cast<unsigned>(value.std::vector<char>::size());
    return true;
}
bool DataLengthCounter::do_visit(const AbstractString& value) {
    length_ += static_cast<unsigned>(value.std::string::size());
    return true;
}
bool DataLengthCounter::do_visit(const BMPString& value) {
    length_ += 2 * static_cast<unsigned>(value.std::wstring::size());
    return true;
}
bool DataLengthCounter::do_visit(const GeneralizedTime& value) {
    length_ += static_cast<unsigned>(value.get().size());
    return true;
}
bool DataLengthCounter::do_visit(const SEQUENCE_OF_Base& value) {
    for (const AbstractData* element : value)
        if (element != nullptr) length_ += getObjectLength(*element, element->getTag());
    return true;
}
bool DataLengthCounter::preVisitExtensionRoots(const SEQUENCE&) {
    return true;
}
bool DataLengthCounter::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    if (field != nullptr) length_ += getObjectLength(*field, seq.getFieldTag(index));
    return true;
}
bool DataLengthCounter::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}
bool DataLengthCounter::do_visit(const CHOICE& value) {
    if (value.currentSelection() >= 0 && value.getSelection() != nullptr)
        length_ += getObjectLength(*value.getSelection(), value.getSelectionTag());
    return true;
}
bool DataLengthCounter::do_visit(const OpenData& value) {
    if (value.has_data())
        length_ += getObjectLength(value.get_data(), value.get_data().getTag());
    else if (value.has_buf())
        length_ += static_cast<unsigned>(value.get_buf().size());
    return true;
}

}  // namespace ASN1
