// Value-notation parser: reads back what the value-notation printer writes.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "asn1/printer.h"
#include "asn1/visitor.h"

namespace ASN1 {

class AVNDecoder : public Visitor {
public:
    explicit AVNDecoder(std::istream& is) : Visitor(nullptr), is_(is) {}

private:
    bool do_visit(Null& value) override;
    bool do_visit(BOOLEAN& value) override;
    bool do_visit(INTEGER& value) override;
    bool do_visit(IntegerWithNamedNumber& value) override;
    bool do_visit(ENUMERATED& value) override;
    bool do_visit(OBJECT_IDENTIFIER& value) override;
    bool do_visit(OCTET_STRING& value) override;
    bool do_visit(BIT_STRING& value) override;
    bool do_visit(AbstractString& value) override;
    bool do_visit(BMPString& value) override;
    bool do_visit(CHOICE& value) override;
    bool do_visit(SEQUENCE_OF_Base& value) override;
    bool do_visit(OpenData& value) override;
    bool do_revisit(OpenData& value) override;
    bool do_visit(TypeConstrainedOpenData& value) override;
    bool do_visit(GeneralizedTime& value) override;
    VisitSeqResult preVisitExtensionRoots(SEQUENCE& seq) override;
    VisitSeqResult visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) override;
    VisitSeqResult visitKnownExtension(SEQUENCE& seq, int index, int optionalId) override;
    bool visitUnknownExtensions(SEQUENCE& seq) override;

    // A run of letters, white space between them skipped; the first other character is put back.
    bool readLetters(std::string& letters);
    // A literal: "'", digits, "'" and "B" or "H"; octets and digit count (in bits).
    bool readLiteral(std::vector<char>& octets, unsigned& bits);

    std::istream& is_;
    // The field identifier read but not yet matched, one per SEQUENCE being parsed.
    std::vector<std::string> identifiers_;
};

// The text up to the next double quote after an opening one.
bool get_string(std::istream& is, std::string& text);
// "'", the digits up to the next "'", then the base letter ("B" or "H").
bool get_value_from(std::istream& is, std::string& digits, char& base);
// Digits of `base` (2 or 16) into octets, blanks and line ends ignored, the last group padded
// with "0"; returns the number of bits the digits stand for, or -1 for a character that is
// not a digit of the base.
long get_from_string(const std::string& text, std::vector<char>& octets, int base);
long get_from_hstring(const std::string& text, std::vector<char>& octets);
long get_from_bstring(const std::string& text, std::vector<char>& octets);
// The index of the alternative called `name` (root and known extensions), or -1.
int get_id(const CHOICE& choice, const std::string& name);

// Parses `value` from the text; true on success (the value may be partly filled otherwise).
bool setFromValueNotation(AbstractData& value, const std::string& text);
// No bits on success, failbit on failure.
std::ios_base::iostate get_from(AbstractData& value, std::istream& is);

template <class CharT, class Traits, class Value>
class ExtractorWrapper : public IOWrapper<CharT, Traits> {
public:
    ExtractorWrapper(std::basic_istream<CharT, Traits>& is, Value& value) : is_(is), value_(value) {}

protected:
    std::ios_base::iostate do_real_io() override {
        typename std::basic_istream<CharT, Traits>::sentry guard(is_);
        if (!guard) return std::ios_base::goodbit;
        return get_from(value_, is_);
    }

private:
    std::basic_istream<CharT, Traits>& is_;
    Value& value_;
};

std::istream& g_extractor(std::istream& is, AbstractData& value);
std::istream& operator>>(std::istream& is, AbstractData& value);

// Encoding rule 0 of the coder environment: the text [begin, end) into `value`.
bool decodeAVN(const char* begin, const char* end, AbstractData& value);

}  // namespace ASN1
