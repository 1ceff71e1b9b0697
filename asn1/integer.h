// INTEGER values, the bounded template the message modules use and integers with named numbers.
#pragma once

#include <string>

#include "asn1/constrained_object.h"

namespace ASN1 {

class INTEGER : public ConstrainedObject, private detail::Allocator<INTEGER> {
public:
    static const ConstrainedObject::InfoType theInfo;

    explicit INTEGER(const void* info = &theInfo) : ConstrainedObject(info) {}
    INTEGER(int value, const void* info) : ConstrainedObject(info), value_(value) {}
    INTEGER(const INTEGER&) = default;
    INTEGER& operator=(const INTEGER&) = default;

    int getValue() const { return value_; }
    void setValue(int value) { value_ = value; }
    INTEGER& operator=(int value) {
        value_ = value;
        return *this;
    }
    // Values only; records are not compared.
    bool operator==(const INTEGER& other) const { return value_ == other.value_; }
    bool operator!=(const INTEGER& other) const { return value_ != other.value_; }
    using AbstractData::operator==;
    using AbstractData::operator!=;

    INTEGER* clone() const { return static_cast<INTEGER*>(AbstractData::clone()); }

    // Within the record's bounds, compared as offsets from the lower bound so that negative
    // lower bounds and upper bounds above 2^31 both work.
    bool isStrictValid() const;

    static AbstractData* create(const void* info);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    int value_ = 0;
};

// An INTEGER whose class carries its bounds; no data or virtual operations of its own.
template <ConstraintType type, int lower, unsigned upper>
class Constrained_INTEGER : public INTEGER {
public:
    static constexpr ConstrainedObject::InfoType theInfo{
        {&create_as<Constrained_INTEGER>, 2}, type, lower, upper};

    Constrained_INTEGER() : INTEGER(&theInfo) {}
    explicit Constrained_INTEGER(const void* info) : INTEGER(info) {}
    Constrained_INTEGER(const Constrained_INTEGER&) = default;
    Constrained_INTEGER& operator=(const Constrained_INTEGER&) = default;

    unsigned getValue() const { return static_cast<unsigned>(INTEGER::getValue()); }
    // No range check: isStrictValid tells.
    Constrained_INTEGER& operator=(unsigned value) {
        setValue(static_cast<int>(value));
        return *this;
    }
    Constrained_INTEGER* clone() const { return static_cast<Constrained_INTEGER*>(AbstractData::clone()); }
};

template <int lower, unsigned upper>
unsigned operator+(unsigned lhs, const Constrained_INTEGER<FixedConstraint, lower, upper>& rhs) {
    return lhs + rhs.getValue();
}

class IntegerWithNamedNumber : public INTEGER {
public:
    struct NameEntry {
        int value;
        const char* name;
    };
    struct NameEntryCmp {
        bool operator()(const NameEntry& entry, int value) const { return entry.value < value; }
    };
    // Constrained layout, then the entries sorted by ascending value and their count.
    struct InfoType : ConstrainedObject::InfoType {
        const NameEntry* entries;
        unsigned entryCount;
    };

    explicit IntegerWithNamedNumber(const void* info) : INTEGER(info) {}
    IntegerWithNamedNumber(int value, const void* info) : INTEGER(value, info) {}
    IntegerWithNamedNumber(const IntegerWithNamedNumber&) = default;
    IntegerWithNamedNumber& operator=(const IntegerWithNamedNumber&) = default;

    // The name bound to the stored value; false (string untouched) when none is.
    bool getName(std::string& name) const;
    // Stores the value of the first entry named exactly `name`; false (value untouched) when none.
    bool setFromName(const std::string& name);

    static AbstractData* create(const void* info);

private:
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }
};

}  // namespace ASN1
