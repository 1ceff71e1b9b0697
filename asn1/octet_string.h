// OCTET STRING and BIT STRING values.
#pragma once

#include <vector>

#include "asn1/constrained_object.h"

namespace ASN1 {

// The value is the byte vector itself.
class OCTET_STRING : public ConstrainedObject,
                     public std::vector<char>,
                     private detail::Allocator<OCTET_STRING> {
public:
    static const ConstrainedObject::InfoType theInfo;

    OCTET_STRING() : ConstrainedObject(&theInfo) {}
    explicit OCTET_STRING(const void* info) : ConstrainedObject(info) {}
    OCTET_STRING(size_type count, char byte, const void* info)
        : ConstrainedObject(info), std::vector<char>(count, byte) {}
    OCTET_STRING(const std::vector<char>& bytes, const void* info)
        : ConstrainedObject(info), std::vector<char>(bytes) {}
    OCTET_STRING(const OCTET_STRING&) = default;
    OCTET_STRING& operator=(const OCTET_STRING&) = default;
    OCTET_STRING& operator=(const std::vector<char>& bytes) {
        std::vector<char>::operator=(bytes);
        return *this;
    }

    using AbstractData::operator==;
    using AbstractData::operator!=;
    bool operator==(const OCTET_STRING& other) const { return compare(other) == 0; }
    bool operator!=(const OCTET_STRING& other) const { return compare(other) != 0; }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;
};

// Bit i is the bit 0x80 >> (i % 8) of byte i / 8.
class BIT_STRING : public ConstrainedObject, private detail::Allocator<BIT_STRING> {
public:
    static const ConstrainedObject::InfoType theInfo;

    explicit BIT_STRING(const void* info = &theInfo) : ConstrainedObject(info) {}
    BIT_STRING(const BIT_STRING&) = default;
    BIT_STRING& operator=(const BIT_STRING&) = default;

    unsigned size() const { return bits_; }
    void resize(unsigned bits);
    bool operator[](unsigned i) const;
    void set(unsigned i, bool value);
    const std::vector<char>& getData() const { return data_; }

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    unsigned bits_ = 0;
    std::vector<char> data_;
};

}  // namespace ASN1
