// Validity checkers: a value against the constraints of its type, tolerant of what an
// extensible constraint admits (valid) or holding to the root (strictly valid), and a tracer
// that says in words why a value fails.
#pragma once

#include <ostream>
#include <sstream>
#include <string>

#include "asn1/constrained_object.h"
#include "asn1/visitor.h"

namespace ASN1 {

class ValidChecker : public ConstVisitor {
private:
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const ENUMERATED& value) override;
    bool do_visit(const OBJECT_IDENTIFIER& value) override;
    bool do_visit(const BIT_STRING& value) override;
    bool do_visit(const OCTET_STRING& value) override;
    bool do_visit(const AbstractString& value) override;
    bool do_visit(const BMPString& value) override;
    bool do_visit(const CHOICE& value) override;
    bool do_visit(const OpenData& value) override;
    bool do_visit(const GeneralizedTime& value) override;
    bool do_visit(const SEQUENCE_OF_Base& value) override;
    bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;
};

class StrictlyValidChecker : public ConstVisitor {
private:
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const ENUMERATED& value) override;
    bool do_visit(const OBJECT_IDENTIFIER& value) override;
    bool do_visit(const BIT_STRING& value) override;
    bool do_visit(const OCTET_STRING& value) override;
    bool do_visit(const AbstractString& value) override;
    bool do_visit(const BMPString& value) override;
    bool do_visit(const CHOICE& value) override;
    bool do_visit(const OpenData& value) override;
    bool do_visit(const GeneralizedTime& value) override;
    bool do_visit(const SEQUENCE_OF_Base& value) override;
    bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;
};

class InvalidTracer : public ConstVisitor {
public:
    std::string report() const { return strm_.str(); }

private:
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const ENUMERATED& value) override;
    bool do_visit(const OBJECT_IDENTIFIER& value) override;
    bool do_visit(const BIT_STRING& value) override;
    bool do_visit(const OCTET_STRING& value) override;
    bool do_visit(const AbstractString& value) override;
    bool do_visit(const BMPString& value) override;
    bool do_visit(const CHOICE& value) override;
    bool do_visit(const OpenData& value) override;
    bool do_visit(const GeneralizedTime& value) override;
    bool do_visit(const SEQUENCE_OF_Base& value) override;
    bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;

    // The size texts of strings and lists; the upper bound only for a fixed constraint.
    bool traceSize(const char* what, const ConstrainedObject& value, unsigned size);

    std::stringstream strm_{std::ios::in | std::ios::out};
};

std::ostream& operator<<(std::ostream& os, const InvalidTracer& tracer);

// The checks behind the visitors, one per kind of value.
bool isValid(const AbstractData& value);
bool isStrictlyValid(const AbstractData& value);
bool isValid(const INTEGER& value);
bool isValid(const ENUMERATED& value);
bool isStrictlyValid(const ENUMERATED& value);
bool isValid(const OBJECT_IDENTIFIER& value);
bool isStrictlyValid(const OBJECT_IDENTIFIER& value);
bool isValid(const BIT_STRING& value);
bool isStrictlyValid(const BIT_STRING& value);
bool isValid(const OCTET_STRING& value);
bool isStrictlyValid(const OCTET_STRING& value);
bool isValid(const AbstractString& value);
bool isStrictlyValid(const AbstractString& value);
bool isValid(const BMPString& value);
bool isStrictlyValid(const BMPString& value);
bool isValid(const CHOICE& value);
bool isStrictlyValid(const CHOICE& value);
bool isValid(const SEQUENCE_OF_Base& value);
bool isStrictlyValid(const SEQUENCE_OF_Base& value);
bool isValid(const OpenData& value);
bool isStrictlyValid(const OpenData& value);
bool isValid(const GeneralizedTime& value);
bool isStrictlyValid(const GeneralizedTime& value);

// Position of the first character outside the type's permitted set, or -1.
int find_first_invalid(const AbstractString& value);

// Writes the heading, the report and an end of line when `value` is invalid; returns validity.
bool trace_invalid(std::ostream& os, const char* heading, const AbstractData& value);

}  // namespace ASN1
