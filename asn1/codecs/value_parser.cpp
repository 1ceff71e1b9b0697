#include "asn1/codecs/value_parser.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {

bool IsDigitOf(char c, int base) {
    return base == 2 ? (c == '0' || c == '1') : std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// An unsigned decimal number that is the whole text and fits 32 bits.
bool ParseArc(const std::string& text, unsigned& arc) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long number = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || number > 0xFFFFFFFFull) return false;
    arc = static_cast<unsigned>(number);
    return true;
}

}  // namespace

// ---- reading helpers ----

bool get_string(std::istream& is, std::string& text) {
    char quote;
    if (!(is >> quote) || quote != '"') return false;
    // No escape exists: the string ends at the next double quote (or, missing that, the input).
    return static_cast<bool>(std::getline(is, text, '"'));
}

bool get_value_from(std::istream& is, std::string& digits, char& base) {
    char quote;
    if (!(is >> quote) || quote != '\'') return false;
    if (!std::getline(is, digits, '\'') || is.eof()) return false;
    return static_cast<bool>(is >> base) && (base == 'B' || base == 'H');
}

long get_from_string(const std::string& text, std::vector<char>& octets, int base) {
    std::string digits;
    for (char c : text)
        if (!is_space_or_newline(c)) digits += c;
    const long bits = base == 2 ? static_cast<long>(digits.size()) : 4 * static_cast<long>(digits.size());
    const std::size_t group = base == 2 ? 8 : 2;
    if (digits.size() % group != 0) digits.append(group - digits.size() % group, '0');
    octets.clear();
    octets.reserve(digits.size() / group);
    for (std::size_t i = 0; i < digits.size(); i += group) {
        const std::string part = digits.substr(i, group);
        for (char c : part)
            if (!IsDigitOf(c, base)) return -1;
        octets.push_back(static_cast<char>(std::strtol(part.c_str(), nullptr, base)));
    }
    return bits;
}

long get_from_hstring(const std::string& text, std::vector<char>& octets) {
    return get_from_string(text, octets, 16);
}

long get_from_bstring(const std::string& text, std::vector<char>& octets) {
    return get_from_string(text, octets, 2);
}

int get_id(const CHOICE& choice, const std::string& name) {
    auto record = static_cast<const CHOICE::InfoType*>(choice.info());
    for (unsigned i = 0; i < record->totalChoices; ++i)
        if (record->selectionNames[i] != nullptr && name == record->selectionNames[i])
            return static_cast<int>(i);
    return -1;
}

// ---- the parser ----

bool AVNDecoder::readLetters(std::string& letters) {
    char c;
    while (is_ >> c) {
        if (!std::isalpha(static_cast<unsigned char>(c))) {
            is_.putback(c);
            break;
        }
        letters += c;
    }
    // The end of the input after the letters is no failure.
    if (is_.eof() && !letters.empty()) is_.clear(std::ios::eofbit);
    return !letters.empty();
}

bool AVNDecoder::readLiteral(std::vector<char>& octets, unsigned& bits) {
    std::string digits;
    char base;
    if (!get_value_from(is_, digits, base)) return false;
    const long count = base == 'B' ? get_from_bstring(digits, octets) : get_from_hstring(digits, octets);
    if (count < 0) return false;
    bits = static_cast<unsigned>(count);
    return true;
}

bool AVNDecoder::do_visit(Null&) {
    std::string letters;
    return readLetters(letters) && letters == "NULL";
}

bool AVNDecoder::do_visit(BOOLEAN& value) {
    std::string letters;
    if (!readLetters(letters)) return false;
    if (letters == "TRUE") {
        value = true;
        return true;
    }
    if (letters == "FALSE") {
        value = false;
        return true;
    }
    return false;
}

bool AVNDecoder::do_visit(INTEGER& value) {
    if (value.constrained() && value.getLowerLimit() >= 0) {
        unsigned number;
        is_ >> number;
        if (!input_success(is_)) return false;
        value.setValue(static_cast<int>(number));
        return true;
    }
    int number;
    is_ >> number;
    if (!input_success(is_)) return false;
    value.setValue(number);
    return true;
}

bool AVNDecoder::do_visit(IntegerWithNamedNumber& value) {
    char c;
    if (!(is_ >> c)) return false;
    is_.putback(c);
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '-')
        return do_visit(static_cast<INTEGER&>(value));
    std::string name;
    return static_cast<bool>(is_ >> name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(ENUMERATED& value) {
    std::string name;
    return static_cast<bool>(is_ >> name) && value.setFromName(name);
}

bool AVNDecoder::do_visit(OBJECT_IDENTIFIER& value) {
    char open;
    if (!(is_ >> open) || open != '{') return false;
    std::string list;
    if (!std::getline(is_, list, '}') || is_.eof()) return false;
    OBJECT_IDENTIFIER parsed(value.info());
    std::istringstream words(list);
    std::string word;
    while (words >> word) {
        unsigned arc;
        if (std::isdigit(static_cast<unsigned char>(word[0]))) {
            if (!ParseArc(word, arc)) return false;
            parsed.append(arc);
            continue;
        }
        // name(number): the name is not checked; a word without a number is no arc.
        const std::size_t open = word.find('(');
        const std::size_t close = word.find(')', open);
        if (open != std::string::npos && close != std::string::npos &&
            ParseArc(word.substr(open + 1, close - open - 1), arc))
            parsed.append(arc);
    }
    value = parsed;
    return true;
}

bool AVNDecoder::do_visit(OCTET_STRING& value) {
    std::vector<char> octets;
    unsigned bits;
    if (!readLiteral(octets, bits)) return false;
    value = octets;
    return true;
}

bool AVNDecoder::do_visit(BIT_STRING& value) {
    std::vector<char> octets;
    unsigned bits;
    if (!readLiteral(octets, bits)) return false;
    value.resize(0);
    value.resize(bits);
    for (unsigned i = 0; i < bits; ++i)
        value.set(i, (static_cast<unsigned char>(octets[i / 8]) & (0x80u >> (i % 8))) != 0);
    return true;
}

bool AVNDecoder::do_visit(AbstractString& value) {
    std::string text;
    if (!get_string(is_, text)) return false;
    value.assign(text);
    return true;
}

bool AVNDecoder::do_visit(BMPString& value) {
    std::string text;
    if (!get_string(is_, text)) return false;
    const std::size_t count = std::mbstowcs(nullptr, text.c_str(), 0);
    if (count == static_cast<std::size_t>(-1)) return false;
    std::wstring wide(count, L'\0');
    std::mbstowcs(wide.data(), text.c_str(), count);
    static_cast<std::wstring&>(value) = wide;
    return true;
}

bool AVNDecoder::do_visit(GeneralizedTime& value) {
    std::string text;
    if (!get_string(is_, text)) return false;
    value.set(text.c_str());
    return true;
}

bool AVNDecoder::do_visit(CHOICE& value) {
    std::string name;
    char colon;
    if (!(is_ >> name) || !(is_ >> colon) || colon != ':') return false;
    const int id = get_id(value, name);
    if (id < 0 || !value.select(id) || value.getSelection() == nullptr) return false;
    return value.getSelection()->accept(*this);
}

bool AVNDecoder::do_visit(SEQUENCE_OF_Base& value) {
    char c;
    if (!(is_ >> c) || c != '{') return false;
    value.clear();
    if (!(is_ >> c)) return false;
    if (c == '}') return true;
    is_.putback(c);
    for (;;) {
        std::unique_ptr<AbstractData> element(value.createElement());
        if (!element || !element->accept(*this)) return false;
        if (!(is_ >> c) || (c != ',' && c != '}')) return false;
        value.push_back(element.release());
        if (c == '}') return true;
    }
}

bool AVNDecoder::do_visit(OpenData&) {
    return false;  // an open type's contents have no type to read them as
}

bool AVNDecoder::do_revisit(OpenData&) {
    return false;
}

bool AVNDecoder::do_visit(TypeConstrainedOpenData& value) {
    return value.has_data() && value.get_data().accept(*this);
}

VisitSeqResult AVNDecoder::preVisitExtensionRoots(SEQUENCE&) {
    char c;
    if (!(is_ >> c) || c != '{') return FAIL;
    if (!(is_ >> c)) return FAIL;
    if (c == '}') return STOP;
    is_.putback(c);
    std::string identifier;
    if (!(is_ >> identifier)) return FAIL;
    identifiers_.push_back(identifier);
    return CONTINUE;
}

VisitSeqResult AVNDecoder::visitExtensionRoot(SEQUENCE& seq, int index, int optionalId) {
    const bool optional = optionalId != -1;
    if (identifiers_.back() != seq.getFieldName(index)) return optional ? CONTINUE : FAIL;
    AbstractData* field =
        optional ? seq.includeOptionalField(static_cast<unsigned>(optionalId), static_cast<unsigned>(index))
                 : seq.getField(static_cast<unsigned>(index));
    if (field == nullptr || !field->accept(*this)) return FAIL;
    char c;
    if (!(is_ >> c)) return FAIL;
    if (c == '}') {
        identifiers_.pop_back();
        return STOP;
    }
    if (c != ',' || !(is_ >> identifiers_.back())) return FAIL;
    return CONTINUE;
}

VisitSeqResult AVNDecoder::visitKnownExtension(SEQUENCE& seq, int index, int optionalId) {
    return visitExtensionRoot(seq, index, optionalId);
}

bool AVNDecoder::visitUnknownExtensions(SEQUENCE&) {
    // Only the "}" after a trailing "," may be left: any other word named no field.
    const bool closed = identifiers_.back() == "}";
    identifiers_.pop_back();
    return closed;
}

// ---- entry points ----

bool setFromValueNotation(AbstractData& value, const std::string& text) {
    std::istringstream is(text);
    AVNDecoder parser(is);
    return value.accept(parser);
}

std::ios_base::iostate get_from(AbstractData& value, std::istream& is) {
    AVNDecoder parser(is);
    return value.accept(parser) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::istream& g_extractor(std::istream& is, AbstractData& value) {
    if (!is.good()) return is;
    ExtractorWrapper<char, std::char_traits<char>, AbstractData> wrapper(is, value);
    wrapper.do_it(is);
    return is;
}

std::istream& operator>>(std::istream& is, AbstractData& value) {
    if (!is.good()) return is;
    return g_extractor(is, value);
}

bool decodeAVN(const char* begin, const char* end, AbstractData& value) {
    return setFromValueNotation(value, std::string(begin, end));
}

}  // namespace ASN1
