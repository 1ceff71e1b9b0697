// Values whose record carries a constraint: integers (value bounds), strings and lists (size bounds).
#pragma once

#include "asn1/abstract_data.h"

namespace ASN1 {

class ConstrainedObject : public AbstractData {
public:
    struct InfoType : AbstractData::InfoType {
        ConstraintType constraint;
        int lowerLimit;
        unsigned upperLimit;
    };

    ConstraintType getConstraintType() const { return record().constraint; }
    int getLowerLimit() const { return record().lowerLimit; }
    unsigned getUpperLimit() const { return record().upperLimit; }
    bool constrained() const { return record().constraint != Unconstrained; }
    bool extendable() const { return record().constraint == ExtendableConstraint; }

protected:
    explicit ConstrainedObject(const void* info) : AbstractData(info) {}
    ConstrainedObject(const ConstrainedObject&) = default;
    ConstrainedObject& operator=(const ConstrainedObject&) = default;

private:
    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }
};

}  // namespace ASN1
