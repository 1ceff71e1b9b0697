#include "asn1/per_decoder.h"

#include "asn1/asn1.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ASN1 {

namespace {

constexpr unsigned kGeneralUpper = 2147483647u;

}  // namespace

PERDecoder::PERDecoder(const char* begin, const char* end, CoderEnv* env, bool aligned)
    : Visitor(env), begin_(begin), position_(begin), end_(end < begin ? begin : end), aligned_(aligned) {}

std::size_t PERDecoder::getBitsLeft() const {
    if (position_ >= end_) return 0;
    return static_cast<std::size_t>(end_ - position_) * 8 + unreadBits_ - 8;
}

void PERDecoder::byteAlign() {
    if (unreadBits_ != 8) {
        ++position_;
        unreadBits_ = 8;
    }
}

void PERDecoder::setPosition(const char* position) {
    position_ = position > end_ ? end_ : position;
    unreadBits_ = 8;
}

void PERDecoder::rollback(const memento_type& memento) {
    if (memento.position == nullptr) return;
    position_ = memento.position > end_ ? end_ : memento.position;
    unreadBits_ = static_cast<std::uint16_t>(position_ == memento.position ? memento.bits : 8);
}

bool PERDecoder::decodeSingleBit() {
    if (position_ >= end_) return false;  // a missing bit reads as 0
    --unreadBits_;
    bool bit = (static_cast<unsigned char>(*position_) >> unreadBits_) & 1;
    if (unreadBits_ == 0) {
        ++position_;
        unreadBits_ = 8;
    }
    return bit;
}

bool PERDecoder::decodeMultiBit(unsigned n, unsigned& value) {
    if (n > 32 || n > getBitsLeft()) return false;
    std::uint64_t result = 0;
    while (n > 0) {
        unsigned take = std::min<unsigned>(n, unreadBits_);
        unsigned octet = static_cast<unsigned char>(*position_);
        unreadBits_ = static_cast<std::uint16_t>(unreadBits_ - take);
        result = (result << take) | ((octet >> unreadBits_) & ((1u << take) - 1));
        n -= take;
        if (unreadBits_ == 0) {
            ++position_;
            unreadBits_ = 8;
        }
    }
    value = static_cast<unsigned>(result);
    return true;
}

bool PERDecoder::decodeBitMap(std::vector<char>& bits, unsigned n) {
    if (n > getBitsLeft() || bits.size() < (n + 7) / 8) return false;
    unsigned i = 0;
    for (; i + 8 <= n; i += 8) {
        unsigned octet;
        decodeMultiBit(8, octet);
        bits[i / 8] = static_cast<char>(octet);
    }
    if (i < n) {
        unsigned rest;
        decodeMultiBit(n - i, rest);
        bits[i / 8] = static_cast<char>(rest << (8 - (n - i)));
    }
    return true;
}

unsigned PERDecoder::decodeBlock(char* dst, unsigned n) {
    if (n == 0) return 0;
    byteAlign();
    unsigned available =
        position_ < end_ ? static_cast<unsigned>(std::min<std::size_t>(end_ - position_, n)) : 0;
    if (available > 0) std::memcpy(dst, position_, available);
    position_ += available;
    return available;
}

bool PERDecoder::decodeSmallUnsigned(unsigned& value) {
    if (atEnd()) return false;
    if (!decodeSingleBit()) return decodeMultiBit(6, value);
    unsigned octets;
    if (decodeLength(0, kGeneralUpper, octets) != 0 || octets > 4) return false;
    byteAlign();
    return decodeMultiBit(8 * octets, value);
}

int PERDecoder::decodeUnsigned(unsigned lower, unsigned upper, unsigned& value) {
    if (lower == upper) {
        value = lower;
        return 0;
    }
    if (atEnd()) return -1;
    unsigned range = upper - lower + 1;
    unsigned bits = CountBits(range);
    unsigned raw;
    if (!aligned_ || (range != 0 && range < 256)) {
        if (!decodeMultiBit(bits, raw)) return -1;
    } else if (range != 0 && range <= 65536) {
        byteAlign();
        if (!decodeMultiBit(bits <= 8 ? 8 : 16, raw)) return -1;
    } else {
        unsigned octets;
        if (decodeUnsigned(1, (bits + 7) / 8, octets) != 0) return -1;
        byteAlign();
        if (!decodeMultiBit(8 * octets, raw)) return -1;
    }
    // Not compared with upper: the control server answers out-of-range numbers itself.
    value = raw + lower;
    return 0;
}

int PERDecoder::decodeLength(unsigned lower, unsigned upper, unsigned& length) {
    if (!aligned_ && upper != kGeneralUpper) {
        unsigned raw;
        if (!decodeMultiBit(CountBits(upper - lower + 1), raw)) return -1;
        length = raw + lower;
        return 0;
    }
    if (upper < 65536) return decodeUnsigned(lower, upper, length);
    byteAlign();
    if (atEnd()) return -1;
    unsigned first = static_cast<unsigned char>(*position_);
    if ((first & 0x80) == 0) return decodeMultiBit(8, length) ? 0 : -1;
    if ((first & 0x40) != 0) return -1;  // fragmented form: never sent on our links
    unsigned raw;
    if (!decodeMultiBit(16, raw)) return -1;
    length = raw & 0x3FFF;
    return 0;
}

int PERDecoder::decodeConstrainedLength(const ConstrainedObject& object, unsigned& length) {
    switch (object.getConstraintType()) {
        case ExtendableConstraint:
            if (atEnd()) return -1;
            if (decodeSingleBit()) return decodeLength(0, kGeneralUpper, length);
            [[fallthrough]];
        case PartiallyConstrained:
        case FixedConstraint:
            return decodeLength(static_cast<unsigned>(object.getLowerLimit()), object.getUpperLimit(),
                                length);
        default:
            return decodeLength(0, kGeneralUpper, length);
    }
}

bool DecodeFailure::Fail(const char* why, std::size_t at) {
    if (!failed()) {
        reason = why;
        offset = at;
    }
    return false;
}

bool DecodeFailure::FailIn(const char* name, std::size_t at) {
    Fail("component failed", at);
    if (name == nullptr) name = "?";
    if (path.empty() || path[0] == '[')
        path.insert(0, name);
    else
        path.insert(0, std::string(name) + ".");
    return false;
}

bool DecodeFailure::FailInElement(std::size_t index, std::size_t at) {
    Fail("component failed", at);
    std::string step = "[" + std::to_string(index) + "]";
    if (!path.empty() && path[0] != '[') step += ".";
    path.insert(0, step);
    return false;
}

bool PERDecoder::fail(const char* reason) {
    return failure_.Fail(reason, offset());
}

bool PERDecoder::failIn(const char* name) {
    return failure_.FailIn(name, offset());
}

bool PERDecoder::failInElement(std::size_t index) {
    return failure_.FailInElement(index, offset());
}

bool PERDecoder::decodeOpenLength(unsigned& octets) {
    if (decodeLength(0, kGeneralUpper, octets) != 0) return fail("bad open type length");
    if (octets > static_cast<std::size_t>(end_ - position_)) return fail("open type beyond end of input");
    return true;
}

bool PERDecoder::decodeOpen(AbstractData& value, unsigned octets) {
    // The contained value is read from exactly its own octets.
    const char* stop = position_ + octets;
    const char* outerEnd = end_;
    end_ = stop;
    bool ok = value.accept(*this);
    end_ = outerEnd;
    setPosition(stop);
    return ok;
}

bool PERDecoder::do_visit(Null&) {
    return true;
}

bool PERDecoder::do_visit(BOOLEAN& value) {
    if (atEnd()) return fail("BOOLEAN beyond end of input");
    value = decodeSingleBit();
    return true;
}

bool PERDecoder::do_visit(INTEGER& value) {
    ConstraintType type = value.getConstraintType();
    bool inRange = type == FixedConstraint;
    if (type == ExtendableConstraint) {
        if (atEnd()) return fail("INTEGER beyond end of input");
        inRange = !decodeSingleBit();
    }
    unsigned raw;
    if (inRange) {
        if (decodeUnsigned(static_cast<unsigned>(value.getLowerLimit()), value.getUpperLimit(), raw) != 0)
            return fail("INTEGER beyond end of input");
        value.setValue(static_cast<int>(raw));
        return true;
    }
    unsigned octets;
    if (decodeLength(0, kGeneralUpper, octets) != 0) return fail("bad INTEGER length");
    if (octets > 4) return fail("INTEGER longer than 4 octets");
    if (octets == 0) {
        value.setValue(0);
        return true;
    }
    if (!decodeMultiBit(8 * octets, raw)) return fail("INTEGER beyond end of input");
    // Every value outside a fixed range goes out in two's complement (an extensible range's
    // outliers and lower-bound-only types too), so it comes back sign-extended.
    if (octets < 4 && (raw >> (8 * octets - 1)) != 0) raw |= ~0u << (8 * octets);
    value.setValue(static_cast<int>(raw));
    return true;
}

bool PERDecoder::do_visit(ENUMERATED& value) {
    unsigned raw;
    if (value.extendable()) {
        if (atEnd()) return fail("ENUMERATED beyond end of input");
        if (decodeSingleBit()) {
            unsigned count;
            if (!decodeSmallUnsigned(count) || count == 0 || decodeUnsigned(0, count - 1, raw) != 0)
                return fail("bad extension ENUMERATED");
            value.setFromInt(static_cast<int>(raw));
            return true;
        }
    }
    if (decodeUnsigned(0, static_cast<unsigned>(value.getMaximum()), raw) != 0)
        return fail("ENUMERATED beyond end of input");
    value.setFromInt(static_cast<int>(raw));
    return true;
}

bool PERDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    unsigned octets;
    if (decodeUnsigned(0, 255, octets) != 0) return fail("OBJECT IDENTIFIER beyond end of input");
    if (octets > static_cast<std::size_t>(end_ - position_))
        return fail("OBJECT IDENTIFIER beyond end of input");
    const char* contents = position_;
    position_ += octets;
    if (!value.decodeCommon(contents, octets)) return fail("bad OBJECT IDENTIFIER");
    return true;
}

bool PERDecoder::do_visit(OCTET_STRING& value) {
    unsigned octets;
    if (decodeConstrainedLength(value, octets) != 0) return fail("bad OCTET STRING length");
    if (octets > MaximumStringSize) return fail("OCTET STRING longer than 16384");
    if (!fits(8ull * octets)) return fail("OCTET STRING beyond end of input");
    value.resize(octets);
    if (octets <= 2) {
        for (unsigned i = 0; i < octets; ++i) {
            unsigned octet;
            decodeMultiBit(8, octet);
            value[i] = static_cast<char>(octet);
        }
        return true;
    }
    if (decodeBlock(reinterpret_cast<char*>(value.data()), octets) != octets)
        return fail("OCTET STRING beyond end of input");
    return true;
}

bool PERDecoder::do_visit(BIT_STRING& value) {
    unsigned bits;
    if (decodeConstrainedLength(value, bits) != 0) return fail("bad BIT STRING length");
    if (bits > MaximumStringSize) return fail("BIT STRING longer than 16384");
    if (!fits(bits)) return fail("BIT STRING beyond end of input");
    value.resize(bits);
    if (bits == 0) return true;
    std::vector<char> data((bits + 7) / 8);
    if (bits > 16 && aligned_) {
        if (decodeBlock(data.data(), static_cast<unsigned>(data.size())) != data.size())
            return fail("BIT STRING beyond end of input");
    } else if (!decodeBitMap(data, bits)) {
        return fail("BIT STRING beyond end of input");
    }
    for (unsigned i = 0; i < bits; ++i)
        value.set(i, (static_cast<unsigned char>(data[i / 8]) >> (7 - i % 8)) & 1);
    return true;
}

bool PERDecoder::do_visit(AbstractString& value) {
    unsigned count;
    if (decodeConstrainedLength(value, count) != 0) return fail("bad string length");
    if (count > MaximumStringSize) return fail("string longer than 16384");
    unsigned bits = value.getNumBits(aligned_);
    if (!fits(std::uint64_t(count) * bits)) return fail("string beyond end of input");
    value.resize(count);
    bool packed = value.constrained() && std::uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!packed) {
        if (bits == 8) {
            if (decodeBlock(value.data(), count) != count) {
                value.clear();
                return fail("string beyond end of input");
            }
            return true;
        }
        if (aligned_) byteAlign();
    }
    unsigned canonical = value.getCanonicalSetBits();
    const char* set = value.getCharacterSet();
    unsigned setSize = value.getCharacterSetSize();
    for (unsigned i = 0; i < count; ++i) {
        unsigned code;
        if (!decodeMultiBit(bits, code)) {
            value.clear();
            return fail("string beyond end of input");
        }
        if (!(canonical > 4 && canonical <= bits)) {
            if (code >= setSize) {
                value.clear();
                return fail("character outside the permitted set");
            }
            code = static_cast<unsigned char>(set[code]);
        }
        value[i] = static_cast<char>(code);
    }
    return true;
}

bool PERDecoder::do_visit(BMPString& value) {
    unsigned count;
    if (decodeConstrainedLength(value, count) != 0) return fail("bad BMPString length");
    if (count > MaximumStringSize) return fail("BMPString longer than 16384");
    unsigned bits = value.getNumBits(aligned_);
    bool packed = value.constrained() && std::uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!packed && aligned_) byteAlign();
    if (!fits(std::uint64_t(count) * bits)) return fail("BMPString beyond end of input");
    value.resize(count);
    for (unsigned i = 0; i < count; ++i) {
        unsigned code;
        if (!decodeMultiBit(bits, code)) return fail("BMPString beyond end of input");
        value[i] = static_cast<wchar_t>(value.getFirstChar() + static_cast<int>(code));
    }
    return true;
}

bool PERDecoder::do_visit(GeneralizedTime& value) {
    unsigned octets;
    if (decodeLength(0, kGeneralUpper, octets) != 0) return fail("bad GeneralizedTime length");
    if (octets == 0 || octets > static_cast<std::size_t>(end_ - position_))
        return fail("GeneralizedTime beyond end of input");
    std::string text(octets, '\0');
    decodeBlock(text.data(), octets);
    // The text is read up to its first NUL: a NUL inside would give a shorter time.
    if (text.find('\0') != std::string::npos) return fail("NUL octet in GeneralizedTime");
    value.set(text.c_str());
    return true;
}

bool PERDecoder::do_visit(CHOICE& value) {
    if (atEnd()) return fail("CHOICE beyond end of input");
    unsigned roots = value.getNumChoices();
    unsigned total = value.getTotalChoices();
    if (value.extendable() && decodeSingleBit()) {
        unsigned k;
        if (!decodeSmallUnsigned(k)) return fail("bad CHOICE extension index");
        if (k > static_cast<unsigned>(std::numeric_limits<int>::max()) - roots)
            return fail("CHOICE extension index overflow");
        unsigned index = k + roots;
        unsigned octets;
        if (!decodeOpenLength(octets)) return false;
        if (index >= total) {
            // An alternative added after our version of the type: kept as unknown, skipped.
            value.select(static_cast<int>(index));
            setPosition(position_ + octets);
            return true;
        }
        if (!value.select(static_cast<int>(index)) || value.getSelection() == nullptr)
            return fail("CHOICE alternative cannot be created");
        if (!decodeOpen(*value.getSelection(), octets)) return failIn(value.getSelectionName());
        return true;
    }
    unsigned index = 0;
    if (roots > 1 && decodeUnsigned(0, roots - 1, index) != 0)
        return fail("CHOICE index beyond end of input");
    if (index >= roots) return fail("CHOICE index names no alternative");
    if (!value.select(static_cast<int>(index)) || value.getSelection() == nullptr)
        return fail("CHOICE index names no alternative");
    if (!value.getSelection()->accept(*this)) return failIn(value.getSelectionName());
    return true;
}

bool PERDecoder::do_visit(SEQUENCE_OF_Base& value) {
    unsigned count;
    if (decodeConstrainedLength(value, count) != 0) return fail("bad SEQUENCE OF count");
    if (count > MaximumArraySize) return fail("SEQUENCE OF longer than 128");
    value.resize(count);
    unsigned i = 0;
    for (auto it = value.begin(); it != value.end(); ++it, ++i) {
        if (*it == nullptr || !(*it)->accept(*this)) {
            value.erase(it, value.end());
            return failInElement(i);
        }
    }
    return true;
}

bool PERDecoder::do_visit(OpenData& value) {
    unsigned octets;
    if (!decodeOpenLength(octets)) return false;
    if (!value.has_buf()) value.grab(new std::vector<char>());
    std::vector<char>& buf = value.get_buf();
    buf.resize(octets);
    decodeBlock(buf.data(), octets);
    return true;
}

bool PERDecoder::do_revisit(OpenData& value) {
    if (!value.has_buf() || !value.has_data()) return false;
    const std::vector<char>& buf = value.get_buf();
    PERDecoder inner(buf.data(), buf.data() + buf.size(), get_env(), true);
    return value.get_data().accept(inner);
}

bool PERDecoder::do_visit(TypeConstrainedOpenData& value) {
    unsigned octets;
    if (!decodeOpenLength(octets)) return false;
    if (!value.has_data()) return fail("open type without a value");
    return decodeOpen(value.get_data(), octets);
}

VisitSeqResult PERDecoder::preVisitExtensionRoots(SEQUENCE& seq) {
    bool extension = false;
    if (seq.extendable()) {
        if (atEnd()) return fail("SEQUENCE beyond end of input"), FAIL;
        extension = decodeSingleBit();
    }
    if (!fits(seq.numOptionalFields())) return fail("SEQUENCE presence bits beyond end of input"), FAIL;
    for (unsigned i = 0; i < seq.numRootFields(); ++i) {
        int id = seq.getFieldId(i);
        if (id < 0) continue;
        if (decodeSingleBit())
            seq.includeOptionalField(static_cast<unsigned>(id), i);
        else
            seq.removeOptionalField(static_cast<unsigned>(id));
    }
    // A value decoded into again must not keep additions the new message does not carry.
    if (!extension) seq.resizeExtensionMap(0);
    return extension ? CONTINUE : NO_EXTENSION;
}

VisitSeqResult PERDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
    if (optionalId >= 0 && !seq.hasOptionalField(static_cast<unsigned>(optionalId))) return CONTINUE;
    AbstractData* field = seq.getField(static_cast<unsigned>(index));
    if (field == nullptr || !field->accept(*this)) return failIn(seq.getFieldName(index)), FAIL;
    return CONTINUE;
}

VisitSeqResult PERDecoder::preVisitExtensions(SEQUENCE& seq) {
    unsigned last;
    if (!decodeSmallUnsigned(last)) return fail("bad extension bitmap length"), FAIL;
    if (last >= MaximumArraySize) return fail("extension bitmap longer than 128"), FAIL;
    unsigned count = last + 1;
    if (!fits(count)) return fail("extension bitmap beyond end of input"), FAIL;
    unsigned optional = seq.numOptionalFields();
    unsigned known = seq.numKnownExtensions();
    unsigned unknown = 0;
    // The map keeps the count that was sent, cut to the additions this version knows.
    seq.resizeExtensionMap(0);
    seq.resizeExtensionMap(std::min(count, known));
    for (unsigned k = 0; k < count; ++k) {
        bool present = decodeSingleBit();
        if (k >= known)
            unknown += present;
        else if (present)
            seq.includeOptionalField(optional + k, seq.numRootFields() + k);
        else
            seq.removeOptionalField(optional + k);
    }
    // Additions this version does not know are skipped after the known ones; they leave no
    // presence bit behind, so the value never announces octets it could not write again.
    unknownExtensions_.push_back(unknown);
    return CONTINUE;
}

VisitSeqResult PERDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
    if (!seq.hasOptionalField(static_cast<unsigned>(optionalId))) return CONTINUE;
    unsigned octets;
    if (!decodeOpenLength(octets)) return failIn(seq.getFieldName(index)), FAIL;
    AbstractData* field = seq.getField(static_cast<unsigned>(index));
    if (field == nullptr || !decodeOpen(*field, octets)) return failIn(seq.getFieldName(index)), FAIL;
    return CONTINUE;
}

bool PERDecoder::visitUnknownExtensions(SEQUENCE&) {
    if (unknownExtensions_.empty()) return true;
    unsigned unknown = unknownExtensions_.back();
    unknownExtensions_.pop_back();
    for (unsigned i = 0; i < unknown; ++i) {
        unsigned octets;
        if (!decodeOpenLength(octets)) return false;
        setPosition(position_ + octets);
    }
    return true;
}

}  // namespace ASN1
