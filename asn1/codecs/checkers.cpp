#include "asn1/codecs/checkers.h"

#include <cstring>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

bool AtLeastLower(const ConstrainedObject& value, std::size_t size) {
    return size >= static_cast<unsigned>(value.getLowerLimit());
}
bool AtMostUpper(const ConstrainedObject& value, std::size_t size) {
    return size <= value.getUpperLimit();
}
// Valid sizes: the upper bound does not hold for an extensible constraint.
bool ValidSize(const ConstrainedObject& value, std::size_t size) {
    return AtLeastLower(value, size) && (value.extendable() || AtMostUpper(value, size));
}
bool StrictSize(const ConstrainedObject& value, std::size_t size) {
    return AtLeastLower(value, size) && AtMostUpper(value, size);
}

bool AllRange(const BMPString& value) {
    return value.first_illegal_at() == value.std::wstring::size();
}

template <class Checker>
bool Check(const AbstractData& value) {
    Checker checker;
    return value.accept(checker);
}

}  // namespace

// ---- per kind ----

bool isValid(const AbstractData& value) {
    return Check<ValidChecker>(value);
}
bool isStrictlyValid(const AbstractData& value) {
    return Check<StrictlyValidChecker>(value);
}

bool isValid(const INTEGER& value) {
    return value.isStrictValid() || value.getConstraintType() == ExtendableConstraint;
}

// Numbered tables have gaps: only a value that has a name belongs to the root.
bool isStrictlyValid(const ENUMERATED& value) {
    return value.getName().data() != nullptr;
}
bool isValid(const ENUMERATED& value) {
    return value.extendable() || isStrictlyValid(value);
}

bool isValid(const OBJECT_IDENTIFIER& value) {
    return value.levels() > 0;
}
bool isStrictlyValid(const OBJECT_IDENTIFIER& value) {
    return value.levels() > 0;
}

bool isValid(const BIT_STRING& value) {
    return AtLeastLower(value, value.size()) &&
           (value.getConstraintType() != FixedConstraint || AtMostUpper(value, value.size()));
}
bool isStrictlyValid(const BIT_STRING& value) {
    return StrictSize(value, value.size());
}

bool isValid(const OCTET_STRING& value) {
    const std::size_t size = value.std::vector<char>::size();
    return AtLeastLower(value, size) &&
           (value.getConstraintType() != FixedConstraint || AtMostUpper(value, size));
}
bool isStrictlyValid(const OCTET_STRING& value) {
    return StrictSize(value, value.std::vector<char>::size());
}

int find_first_invalid(const AbstractString& value) {
    const char* set = value.getCharacterSet();
    const unsigned setSize = value.getCharacterSetSize();
    if (set == nullptr || setSize == 0) return -1;
    const std::string& text = value;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (std::memchr(set, text[i], setSize) == nullptr) return static_cast<int>(i);
    return -1;
}

bool isValid(const AbstractString& value) {
    return ValidSize(value, value.std::string::size()) && find_first_invalid(value) == -1;
}
bool isStrictlyValid(const AbstractString& value) {
    return StrictSize(value, value.std::string::size()) && find_first_invalid(value) == -1;
}

bool isValid(const BMPString& value) {
    return ValidSize(value, value.std::wstring::size()) && AllRange(value);
}
bool isStrictlyValid(const BMPString& value) {
    return StrictSize(value, value.std::wstring::size()) && AllRange(value);
}

bool isValid(const CHOICE& value) {
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) return false;
    if (!value.extendable() && static_cast<unsigned>(value.currentSelection()) >= value.getNumChoices())
        return false;
    return isValid(*value.getSelection());
}
bool isStrictlyValid(const CHOICE& value) {
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) return false;
    if (static_cast<unsigned>(value.currentSelection()) >= value.getNumChoices()) return false;
    return isStrictlyValid(*value.getSelection());
}

bool isValid(const SEQUENCE_OF_Base& value) {
    if (!ValidSize(value, value.size())) return false;
    for (const AbstractData* element : value)
        if (element == nullptr || !isValid(*element)) return false;
    return true;
}
bool isStrictlyValid(const SEQUENCE_OF_Base& value) {
    if (!StrictSize(value, value.size())) return false;
    for (const AbstractData* element : value)
        if (element == nullptr || !isStrictlyValid(*element)) return false;
    return true;
}

bool isValid(const OpenData& value) {
    return value.has_data() ? isValid(value.get_data()) : value.has_buf();
}
bool isStrictlyValid(const OpenData& value) {
    return value.has_data() ? isStrictlyValid(value.get_data()) : value.has_buf();
}

bool isStrictlyValid(const GeneralizedTime& value) {
    return value.getYear() > 0 && value.getMonth() >= 1 && value.getMonth() <= 12 && value.getDay() >= 1 &&
           value.getDay() <= 31 && value.getHour() >= 0 && value.getHour() <= 24 && value.getMinute() >= 0 &&
           value.getMinute() <= 59 && value.getSecond() >= 0 && value.getSecond() <= 59 &&
           value.getMinDiff() >= -720 && value.getMinDiff() <= 720;
}
bool isValid(const GeneralizedTime& value) {
    return isStrictlyValid(value);
}

// ---- the two checkers ----

bool ValidChecker::do_visit(const Null&) {
    return true;
}
bool ValidChecker::do_visit(const BOOLEAN&) {
    return true;
}
bool ValidChecker::do_visit(const INTEGER& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const ENUMERATED& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const OBJECT_IDENTIFIER& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const BIT_STRING& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const OCTET_STRING& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const AbstractString& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const BMPString& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const CHOICE& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const OpenData& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const GeneralizedTime& value) {
    return isValid(value);
}
bool ValidChecker::do_visit(const SEQUENCE_OF_Base& value) {
    return isValid(value);
}
bool ValidChecker::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    return field != nullptr && isValid(*field);
}
bool ValidChecker::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}

bool StrictlyValidChecker::do_visit(const Null&) {
    return true;
}
bool StrictlyValidChecker::do_visit(const BOOLEAN&) {
    return true;
}
bool StrictlyValidChecker::do_visit(const INTEGER& value) {
    return value.isStrictValid();
}
bool StrictlyValidChecker::do_visit(const ENUMERATED& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const OBJECT_IDENTIFIER& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const BIT_STRING& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const OCTET_STRING& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const AbstractString& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const BMPString& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const CHOICE& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const OpenData& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const GeneralizedTime& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::do_visit(const SEQUENCE_OF_Base& value) {
    return isStrictlyValid(value);
}
bool StrictlyValidChecker::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    return field != nullptr && isStrictlyValid(*field);
}
bool StrictlyValidChecker::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}

// ---- the tracer ----

bool InvalidTracer::traceSize(const char* what, const ConstrainedObject& value, unsigned size) {
    if (!AtLeastLower(value, size)) {
        strm_ << " This " << what << " has size " << size << " smaller than its lower bound "
              << value.getLowerLimit();
        return false;
    }
    if (value.getConstraintType() == FixedConstraint && !AtMostUpper(value, size)) {
        strm_ << " This " << what << " has size " << size << " greater than its upper bound "
              << value.getUpperLimit();
        return false;
    }
    return true;
}

bool InvalidTracer::do_visit(const Null&) {
    return true;
}
bool InvalidTracer::do_visit(const BOOLEAN&) {
    return true;
}

bool InvalidTracer::do_visit(const INTEGER& value) {
    if (isValid(value)) return true;
    const bool signedValue = value.getLowerLimit() < 0;
    auto put = [&] {
        if (signedValue)
            strm_ << value.getValue();
        else
            strm_ << static_cast<unsigned>(value.getValue());
    };
    // Below the range when the value is below the lower bound as a signed number, or, for an
    // unsigned type, when its unsigned value is: the range test of the value model is by offset.
    const bool below =
        signedValue ? value.getValue() < value.getLowerLimit()
                    : static_cast<unsigned>(value.getValue()) < static_cast<unsigned>(value.getLowerLimit());
    if (below) {
        strm_ << " The INTEGER value ";
        put();
        strm_ << " is smaller than lower bound " << value.getLowerLimit();
    } else {
        strm_ << " The INTEGER value ";
        put();
        strm_ << " is greater than upper bound " << value.getUpperLimit();
    }
    return false;
}

bool InvalidTracer::do_visit(const ENUMERATED& value) {
    if (isStrictlyValid(value)) return true;
    strm_ << " This ENUMERATED has invalid value " << value.asInt();
    return false;
}

bool InvalidTracer::do_visit(const OBJECT_IDENTIFIER& value) {
    if (isValid(value)) return true;
    strm_ << " This OBJECT IDENTIFIER is not assigned";
    return false;
}

bool InvalidTracer::do_visit(const BIT_STRING& value) {
    return traceSize("BIT STRING", value, value.size());
}

bool InvalidTracer::do_visit(const OCTET_STRING& value) {
    return traceSize("OCTET STRING", value, static_cast<unsigned>(value.std::vector<char>::size()));
}

bool InvalidTracer::do_visit(const AbstractString& value) {
    if (!traceSize("AbstractString", value, static_cast<unsigned>(value.std::string::size()))) return false;
    const int bad = find_first_invalid(value);
    if (bad < 0) return true;
    strm_ << " The character '" << value.std::string::operator[](static_cast<std::size_t>(bad))
          << "' is not valid for the string";
    return false;
}

bool InvalidTracer::do_visit(const BMPString& value) {
    if (!traceSize("BMPString", value, static_cast<unsigned>(value.std::wstring::size()))) return false;
    const std::size_t bad = value.first_illegal_at();
    if (bad == value.std::wstring::size()) return true;
    strm_ << " The character '" << static_cast<long>(value.std::wstring::operator[](bad))
          << "' is not valid for the string";
    return false;
}

bool InvalidTracer::do_visit(const CHOICE& value) {
    if (value.isUnknownSelection()) {
        strm_ << " This selection is not understood by this decoder";
        return false;
    }
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) {
        strm_ << " This CHOICE is not selected";
        return false;
    }
    strm_ << '.' << value.getSelectionName();
    return value.getSelection()->accept(*this);
}

bool InvalidTracer::do_visit(const OpenData& value) {
    if (value.has_data()) return value.get_data().accept(*this);
    if (value.has_buf()) return true;
    strm_ << " This Open Type does not contain any valid data";
    return false;
}

bool InvalidTracer::do_visit(const GeneralizedTime& value) {
    if (isStrictlyValid(value)) return true;
    strm_ << " This GeneralizedTime is not valid";
    return false;
}

bool InvalidTracer::do_visit(const SEQUENCE_OF_Base& value) {
    if (!traceSize("SEQUENCE OF", value, static_cast<unsigned>(value.size()))) return false;
    std::size_t i = 0;
    for (auto it = value.begin(); it != value.end(); ++it, ++i) {
        InvalidTracer element;
        if (*it != nullptr && (*it)->accept(element)) continue;
        strm_ << '[' << i << ']' << element;
        return false;
    }
    return true;
}

bool InvalidTracer::visitExtensionRoot(const SEQUENCE& seq, int index) {
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    InvalidTracer tracer;
    if (field != nullptr && field->accept(tracer)) return true;
    strm_ << '.' << seq.getFieldName(index) << tracer;
    return false;
}

bool InvalidTracer::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}

std::ostream& operator<<(std::ostream& os, const InvalidTracer& tracer) {
    return os << tracer.report();
}

bool trace_invalid(std::ostream& os, const char* heading, const AbstractData& value) {
    InvalidTracer tracer;
    if (value.accept(tracer)) return true;
    os << heading << tracer << '\n';
    return false;
}

}  // namespace ASN1
