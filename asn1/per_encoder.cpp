#include "asn1/per_encoder.h"

#include "asn1/asn1.h"

#include <algorithm>

namespace ASN1 {

namespace {

constexpr unsigned kGeneralUpper = 2147483647u;

// Whole octets of a two's complement number: 1 for 0.
unsigned SignedOctets(int value) {
    unsigned bits = value >= 0 ? CountBits(static_cast<unsigned>(value) + 1) + 1
                               : CountBits(0u - static_cast<unsigned>(value)) + 1;
    return (bits + 7) / 8;
}

// Extension presence bits to send: the map's positions, cut to the additions this version knows
// (a decoded value may announce more); 0 when none of those is present.
unsigned KnownExtensionsSent(const SEQUENCE& seq) {
    unsigned count = std::min(seq.extensionMap().size(), seq.numKnownExtensions());
    for (unsigned k = 0; k < count; ++k)
        if (seq.extensionMap()[k]) return count;
    return 0;
}

}  // namespace

PEREncoder::PEREncoder(std::vector<char>& out, bool aligned) : out_(out), aligned_(aligned) {
    out_.clear();
    out_.reserve(256);
}

void PEREncoder::byteAlign() {
    freeBits_ = 8;
}

void PEREncoder::encodeSingleBit(bool bit) {
    if (freeBits_ == 8) out_.push_back(0);
    --freeBits_;
    if (bit) out_.back() = static_cast<char>(out_.back() | (1u << freeBits_));
    if (freeBits_ == 0) freeBits_ = 8;
}

void PEREncoder::encodeMultiBit(unsigned value, unsigned n) {
    while (n > 0) {
        if (freeBits_ == 8) out_.push_back(0);
        unsigned take = std::min<unsigned>(n, freeBits_);
        unsigned chunk = (value >> (n - take)) & ((1u << take) - 1);
        freeBits_ = static_cast<std::uint16_t>(freeBits_ - take);
        out_.back() = static_cast<char>(static_cast<unsigned char>(out_.back()) | (chunk << freeBits_));
        n -= take;
        if (freeBits_ == 0) freeBits_ = 8;
    }
}

void PEREncoder::encodeByte(unsigned value) {
    byteAlign();
    out_.push_back(static_cast<char>(value));
}

void PEREncoder::encodeBlock(const char* data, unsigned n) {
    if (n == 0) return;
    byteAlign();
    out_.insert(out_.end(), data, data + n);
}

void PEREncoder::encodeBitMap(const std::vector<char>& bits, unsigned n) {
    for (unsigned i = 0; i < n; ++i)
        encodeSingleBit((static_cast<unsigned char>(bits[i / 8]) >> (7 - i % 8)) & 1);
}

void PEREncoder::encodeSmallUnsigned(unsigned n) {
    if (n <= 63) {
        encodeMultiBit(n, 7);
        return;
    }
    encodeSingleBit(true);
    unsigned k = n < 0x100 ? 1 : n < 0x10000 ? 2 : n < 0x1000000 ? 3 : 4;
    encodeLength(k, 0, kGeneralUpper);
    byteAlign();
    encodeMultiBit(n, 8 * k);
}

bool PEREncoder::encodeUnsigned(unsigned value, unsigned lower, unsigned upper) {
    unsigned offset = value - lower;
    unsigned span = upper - lower;
    if (offset > span) return false;
    if (span == 0) return true;
    unsigned range = span + 1;  // 0 stands for the full 32-bit range
    unsigned bits = CountBits(range);
    if (!aligned_ || (range != 0 && range < 256)) {
        encodeMultiBit(offset, bits);
    } else if (range != 0 && range <= 65536) {
        byteAlign();
        encodeMultiBit(offset, bits <= 8 ? 8 : 16);
    } else {
        unsigned octets = offset == 0 ? 1 : (CountBits(offset + 1) + 7) / 8;
        encodeUnsigned(octets, 1, (bits + 7) / 8);
        byteAlign();
        encodeMultiBit(offset, 8 * octets);
    }
    return true;
}

bool PEREncoder::encodeLength(unsigned length, unsigned lower, unsigned upper) {
    if (length < lower || length > upper) return false;
    if (!aligned_ && upper != kGeneralUpper) {
        encodeMultiBit(length - lower, CountBits(upper - lower + 1));
        return true;
    }
    if (upper < 65536) return encodeUnsigned(length, lower, upper);
    byteAlign();
    if (length < 128) {
        encodeMultiBit(length, 8);
    } else if (length < 16384) {
        encodeMultiBit(0x8000 | length, 16);
    } else {
        return false;  // no fragmented form on our links
    }
    return true;
}

bool PEREncoder::encodeConstraint(const ConstrainedObject& object, unsigned value) {
    switch (object.getConstraintType()) {
        case ExtendableConstraint: {
            int lower = object.getLowerLimit();
            bool outside = lower < 0
                               ? (static_cast<int>(value) < lower ||
                                  static_cast<int>(value) > static_cast<int>(object.getUpperLimit()))
                               : (value < static_cast<unsigned>(lower) || value > object.getUpperLimit());
            encodeSingleBit(outside);
            return outside;
        }
        case FixedConstraint:
            return false;
        default:
            return true;
    }
}

bool PEREncoder::encodeConstrainedLength(const ConstrainedObject& object, unsigned length) {
    if (encodeConstraint(object, length)) return encodeLength(length, 0, kGeneralUpper);
    return encodeLength(length, static_cast<unsigned>(object.getLowerLimit()), object.getUpperLimit());
}

bool PEREncoder::encodeOpenOctets(const char* data, unsigned n) {
    static const char kEmpty = 0;
    if (n == 0) {
        data = &kEmpty;
        n = 1;
    }
    if (!encodeLength(n, 0, kGeneralUpper)) return false;
    encodeBlock(data, n);
    return true;
}

bool PEREncoder::encodeAnyType(const AbstractData* value) {
    std::vector<char> inner;
    PEREncoder encoder(inner, true);
    if (value != nullptr && !value->accept(encoder)) return false;
    return encodeOpenOctets(inner.data(), static_cast<unsigned>(inner.size()));
}

bool PEREncoder::do_visit(const Null&) {
    return true;
}

bool PEREncoder::do_visit(const BOOLEAN& value) {
    encodeSingleBit(static_cast<bool>(value));
    return true;
}

bool PEREncoder::do_visit(const INTEGER& value) {
    int number = value.getValue();
    if (value.getConstraintType() == FixedConstraint ||
        (value.getConstraintType() == ExtendableConstraint &&
         !encodeConstraint(value, static_cast<unsigned>(number)))) {
        return encodeUnsigned(static_cast<unsigned>(number), static_cast<unsigned>(value.getLowerLimit()),
                              value.getUpperLimit());
    }
    unsigned octets = SignedOctets(number);
    encodeLength(octets, 0, kGeneralUpper);
    encodeMultiBit(static_cast<unsigned>(number), 8 * octets);
    return true;
}

bool PEREncoder::do_visit(const ENUMERATED& value) {
    int number = value.asInt();
    unsigned maximum = static_cast<unsigned>(value.getMaximum());
    if (value.extendable()) {
        bool extension = number > value.getMaximum();
        encodeSingleBit(extension);
        if (extension) {
            // Our peers expect v + 1 and then v in 0..v, not X.691's index form.
            encodeSmallUnsigned(static_cast<unsigned>(number) + 1);
            return encodeUnsigned(static_cast<unsigned>(number), 0, static_cast<unsigned>(number));
        }
    }
    return encodeUnsigned(static_cast<unsigned>(number), 0, maximum);
}

bool PEREncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    std::vector<char> contents;
    value.encodeCommon(contents);
    if (contents.size() > 255) return false;
    encodeUnsigned(static_cast<unsigned>(contents.size()), 0, 255);
    encodeBlock(contents.data(), static_cast<unsigned>(contents.size()));
    return true;
}

bool PEREncoder::do_visit(const BIT_STRING& value) {
    unsigned bits = value.size();
    if (!encodeConstrainedLength(value, bits)) return false;
    const std::vector<char>& data = value.getData();
    if (bits <= 16 || !aligned_)
        encodeBitMap(data, bits);
    else
        encodeBlock(data.data(), (bits + 7) / 8);
    return true;
}

bool PEREncoder::do_visit(const OCTET_STRING& value) {
    unsigned octets = static_cast<unsigned>(value.size());
    if (!encodeConstrainedLength(value, octets)) return false;
    if (octets <= 2) {
        // One or two octets follow without alignment, whatever the size constraint.
        for (unsigned i = 0; i < octets; ++i) encodeMultiBit(static_cast<unsigned char>(value[i]), 8);
    } else {
        encodeBlock(reinterpret_cast<const char*>(value.data()), octets);
    }
    return true;
}

bool PEREncoder::do_visit(const AbstractString& value) {
    unsigned count = static_cast<unsigned>(value.size());
    if (!encodeConstrainedLength(value, count)) return false;
    unsigned bits = value.getNumBits(aligned_);
    unsigned canonical = value.getCanonicalSetBits();
    bool packed = value.constrained() && std::uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!packed) {
        if (bits == 8) {
            encodeBlock(value.data(), count);
            return true;
        }
        if (aligned_) byteAlign();
    }
    const char* set = value.getCharacterSet();
    unsigned setSize = value.getCharacterSetSize();
    for (char c : value) {
        if (canonical > 4 && canonical <= bits) {
            encodeMultiBit(static_cast<unsigned char>(c), bits);
            continue;
        }
        const char* found = std::find(set, set + setSize, c);
        if (found == set + setSize) return false;
        encodeMultiBit(static_cast<unsigned>(found - set), bits);
    }
    return true;
}

bool PEREncoder::do_visit(const BMPString& value) {
    unsigned count = static_cast<unsigned>(value.size());
    if (!encodeConstrainedLength(value, count)) return false;
    unsigned bits = value.getNumBits(aligned_);
    bool packed = value.constrained() && std::uint64_t(value.getUpperLimit()) * bits <= 16;
    if (!packed && aligned_) byteAlign();
    for (wchar_t c : value) {
        // A character outside the permitted range would be cut to another one on the wire.
        if (!value.legalCharacter(c)) return false;
        encodeMultiBit(static_cast<unsigned>(c - value.getFirstChar()), bits);
    }
    return true;
}

bool PEREncoder::do_visit(const GeneralizedTime& value) {
    std::string text = value.get();
    if (!encodeLength(static_cast<unsigned>(text.size()), 0, kGeneralUpper)) return false;
    encodeBlock(text.data(), static_cast<unsigned>(text.size()));
    return true;
}

bool PEREncoder::do_visit(const CHOICE& value) {
    int selection = value.currentSelection();
    const AbstractData* alternative = value.getSelection();
    if (selection < 0 || alternative == nullptr || selection >= static_cast<int>(value.getTotalChoices()))
        return false;
    unsigned index = static_cast<unsigned>(selection);
    unsigned roots = value.getNumChoices();
    if (value.extendable()) {
        bool extension = index >= roots;
        encodeSingleBit(extension);
        if (extension) {
            encodeSmallUnsigned(index - roots);
            return encodeAnyType(alternative);
        }
    }
    if (index >= roots) return false;
    if (roots > 1) encodeUnsigned(index, 0, roots - 1);
    return alternative->accept(*this);
}

bool PEREncoder::do_visit(const OpenData& value) {
    if (value.has_data()) return encodeAnyType(&value.get_data());
    if (value.has_buf()) {
        // Octets kept from decoding go out again as they came.
        const std::vector<char>& buf = value.get_buf();
        return encodeOpenOctets(buf.data(), static_cast<unsigned>(buf.size()));
    }
    return encodeOpenOctets(nullptr, 0);
}

bool PEREncoder::do_visit(const SEQUENCE_OF_Base& value) {
    if (!encodeConstrainedLength(value, static_cast<unsigned>(value.size()))) return false;
    for (auto it = value.begin(); it != value.end(); ++it)
        if (*it == nullptr || !(*it)->accept(*this)) return false;
    return true;
}

bool PEREncoder::preVisitExtensionRoots(const SEQUENCE& seq) {
    if (seq.extendable()) encodeSingleBit(KnownExtensionsSent(seq) > 0);
    encodeBitMap(seq.optionalMap().bytes(), seq.numOptionalFields());
    return true;
}

bool PEREncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    return field != nullptr && field->accept(*this);
}

bool PEREncoder::preVisitExtensions(const SEQUENCE& seq) {
    unsigned sent = KnownExtensionsSent(seq);
    if (sent == 0) return true;
    unsigned first = seq.numOptionalFields();
    encodeSmallUnsigned(sent - 1);
    for (unsigned k = 0; k < sent; ++k) encodeSingleBit(seq.hasOptionalField(first + k));
    return true;
}

bool PEREncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    return field != nullptr && encodeAnyType(field);
}

}  // namespace ASN1
