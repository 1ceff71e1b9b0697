#include "asn1/integer.h"

#include <algorithm>
#include <cstring>

#include "asn1/asn1.h"

namespace ASN1 {

constexpr ConstrainedObject::InfoType INTEGER::theInfo{{&INTEGER::create, 2}, Unconstrained, 0, 0xFFFFFFFFu};

AbstractData* INTEGER::create(const void* info) {
    return new INTEGER(info);
}

bool INTEGER::isStrictValid() const {
    const auto lower = static_cast<unsigned>(getLowerLimit());
    const auto offset = static_cast<unsigned>(value_) - lower;
    switch (getConstraintType()) {
        case Unconstrained:
            return true;
        case PartiallyConstrained:
            // Only a lower bound.
            return value_ >= getLowerLimit();
        case FixedConstraint:
        case ExtendableConstraint:
            return offset <= getUpperLimit() - lower;
    }
    return false;
}

int INTEGER::do_compare(const AbstractData& other) const {
    // Wrapping 32-bit difference.
    return static_cast<int>(static_cast<unsigned>(value_) -
                            static_cast<unsigned>(static_cast<const INTEGER&>(other).value_));
}

AbstractData* INTEGER::do_clone() const {
    return CloneThroughRecord(*this);
}
bool INTEGER::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool INTEGER::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

AbstractData* IntegerWithNamedNumber::create(const void* info) {
    return new IntegerWithNamedNumber(info);
}

bool IntegerWithNamedNumber::getName(std::string& name) const {
    const NameEntry* first = record().entries;
    const NameEntry* last = first + record().entryCount;
    const NameEntry* found = std::lower_bound(first, last, getValue(), NameEntryCmp());
    if (found == last || found->value != getValue()) return false;
    name = found->name;
    return true;
}

bool IntegerWithNamedNumber::setFromName(const std::string& name) {
    for (unsigned i = 0; i < record().entryCount; ++i) {
        if (name == record().entries[i].name) {
            setValue(record().entries[i].value);
            return true;
        }
    }
    return false;
}

bool IntegerWithNamedNumber::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool IntegerWithNamedNumber::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
