// 8-bit character strings (IA5, Numeric, Printable, Visible, General) and BMPString.
#pragma once

#include <string>

#include "asn1/constrained_object.h"

namespace ASN1 {

extern const char NumericStringSet[];
extern const char PrintableStringSet[];
extern const char VisibleStringSet[];
extern const char IA5StringSet[];
extern const char GeneralStringSet[];

// One class for every 8-bit string type; the record tells the permitted set.
class AbstractString : public ConstrainedObject,
                       public std::string,
                       private detail::Allocator<AbstractString> {
public:
    // Constrained layout, then the permitted set in canonical order, its size, the bits of an
    // index into the full set and the bits per character in unaligned and aligned PER.
    struct InfoType : ConstrainedObject::InfoType {
        const char* characterSet;
        unsigned characterSetSize;
        unsigned canonicalSetBits;
        unsigned numBitsUnaligned;
        unsigned numBitsAligned;
    };

    explicit AbstractString(const void* info) : ConstrainedObject(info) {}
    AbstractString(const void* info, const std::string& text) : ConstrainedObject(info), std::string(text) {}
    AbstractString(const void* info, const char* text) : ConstrainedObject(info), std::string(text) {}
    AbstractString(const AbstractString&) = default;
    AbstractString& operator=(const AbstractString&) = default;

    AbstractString& assign(const std::string& text) {
        std::string::assign(text);
        return *this;
    }
    // The value comparison; std::string's own stays reachable through a cast.
    using AbstractData::compare;
    using AbstractData::operator==;
    using AbstractData::operator!=;
    bool operator==(const AbstractString& other) const { return compare(other) == 0; }
    bool operator!=(const AbstractString& other) const { return compare(other) != 0; }

    const char* getCharacterSet() const { return record().characterSet; }
    unsigned getCharacterSetSize() const { return record().characterSetSize; }
    unsigned getCanonicalSetBits() const { return record().canonicalSetBits; }
    unsigned getNumBits(bool aligned) const {
        return aligned ? record().numBitsAligned : record().numBitsUnaligned;
    }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }
};

struct NumericString {
    static const AbstractString::InfoType theInfo;
};
struct PrintableString {
    static const AbstractString::InfoType theInfo;
};
struct VisibleString {
    static const AbstractString::InfoType theInfo;
};
struct GeneralString {
    static const AbstractString::InfoType theInfo;
};

class IA5String : public AbstractString {
public:
    static const AbstractString::InfoType theInfo;

    explicit IA5String(const void* info = &theInfo) : AbstractString(info) {}
    IA5String(const std::string& text, const void* info = &theInfo) : AbstractString(info, text) {}
    // Without this a literal would pick the record constructor.
    IA5String(const char* text, const void* info = &theInfo) : AbstractString(info, text) {}
    IA5String(const IA5String&) = default;
    IA5String& operator=(const IA5String&) = default;
    IA5String& operator=(const std::string& text) {
        assign(text);
        return *this;
    }

    static AbstractData* create(const void* info);
};

class BMPString : public ConstrainedObject, public std::wstring, private detail::Allocator<BMPString> {
public:
    // Constrained layout, then the permitted range and the bits per character.
    struct InfoType : ConstrainedObject::InfoType {
        int firstChar;
        int lastChar;
        unsigned numBitsUnaligned;
        unsigned numBitsAligned;
    };
    static const InfoType theInfo;

    BMPString() : ConstrainedObject(&theInfo) {}
    explicit BMPString(const void* info) : ConstrainedObject(info) {}
    BMPString(const std::wstring& text, const void* info) : ConstrainedObject(info), std::wstring(text) {}
    BMPString(const wchar_t* text, const void* info) : ConstrainedObject(info), std::wstring(text) {}
    BMPString(const BMPString&) = default;
    BMPString& operator=(const BMPString&) = default;

    BMPString& assign(const wchar_t* text, unsigned count) {
        std::wstring::assign(text, count);
        return *this;
    }
    // The value comparison; std::string's own stays reachable through a cast.
    using AbstractData::compare;
    using AbstractData::operator==;
    using AbstractData::operator!=;
    bool operator==(const BMPString& other) const { return compare(other) == 0; }
    bool operator!=(const BMPString& other) const { return compare(other) != 0; }

    int getFirstChar() const { return record().firstChar; }
    int getLastChar() const { return record().lastChar; }
    unsigned getNumBits(bool aligned) const {
        return aligned ? record().numBitsAligned : record().numBitsUnaligned;
    }
    bool legalCharacter(wchar_t c) const { return getFirstChar() <= c && c <= getLastChar(); }
    // Index of the first character outside the range, or the length when all are legal.
    size_type first_illegal_at() const;

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }
};

}  // namespace ASN1
