#include "asn1/printer.h"

#include "asn1/asn1.h"

#include <clocale>
#include <cstdlib>
#include <iomanip>
#include <sstream>

namespace ASN1 {

void AVNEncoder::indent(int n) {
    for (int i = 0; i < n; ++i) os_.put(' ');
}

bool AVNEncoder::do_visit(const Null&) {
    os_ << "NULL";
    return os_.good();
}

bool AVNEncoder::do_visit(const BOOLEAN& value) {
    os_ << (static_cast<bool>(value) ? "TRUE" : "FALSE");
    return os_.good();
}

bool AVNEncoder::do_visit(const INTEGER& value) {
    if (value.constrained() && value.getLowerLimit() >= 0)
        os_ << static_cast<unsigned>(value.getValue());
    else
        os_ << value.getValue();
    return os_.good();
}

bool AVNEncoder::do_visit(const IntegerWithNamedNumber& value) {
    std::string name;
    if (!value.getName(name)) return do_visit(static_cast<const INTEGER&>(value));
    os_ << name;
    return os_.good();
}

bool AVNEncoder::do_visit(const ENUMERATED& value) {
    std::string_view name = value.getName();
    if (name.data() != nullptr)
        os_ << name;
    else
        os_ << value.asInt();
    return os_.good();
}

bool AVNEncoder::do_visit(const OBJECT_IDENTIFIER& value) {
    os_ << "{ ";
    for (unsigned i = 0; i < value.levels() && os_.good(); ++i) os_ << value[i] << ' ';
    os_ << '}';
    return os_.good();
}

bool AVNEncoder::do_visit(const BIT_STRING& value) {
    os_ << '\'';
    for (unsigned i = 0; i < value.size() && os_.good(); ++i) os_.put(value[i] ? '1' : '0');
    if (os_.good()) os_ << "'B";
    return os_.good();
}

bool AVNEncoder::printOctets(const std::vector<char>& octets) {
    os_ << '\'';
    std::ios_base::fmtflags saved = os_.flags();
    for (std::size_t i = 0; i < octets.size() && os_.good(); ++i) {
        if (i > 0) os_.put(' ');
        os_ << std::hex << std::setw(2) << std::setfill('0')
            << static_cast<unsigned>(static_cast<unsigned char>(octets[i]));
    }
    os_.flags(saved);
    os_.fill(' ');
    if (os_.good()) os_ << "'H";
    return os_.good();
}

bool AVNEncoder::do_visit(const OCTET_STRING& value) {
    return printOctets(static_cast<const std::vector<char>&>(value));
}

bool AVNEncoder::do_visit(const AbstractString& value) {
    os_ << '"' << static_cast<const std::string&>(value) << '"';
    return os_.good();
}

bool AVNEncoder::do_visit(const BMPString& value) {
    const std::wstring& text = value;
    std::size_t needed = std::wcstombs(nullptr, text.c_str(), 0);
    if (needed != static_cast<std::size_t>(-1)) {
        std::string converted(needed, '\0');
        std::wcstombs(converted.data(), text.c_str(), needed);
        os_ << '"' << converted << '"';
        return os_.good();
    }
    os_ << '{';
    for (std::size_t i = 0; i < text.size() && os_.good(); ++i) {
        int code = static_cast<int>(text[i]);
        if (i > 0) os_ << ", ";
        os_ << "{ 0, 0, " << (code >> 8) << ", " << (code & 0xFF) << '}';
    }
    os_ << '}';
    return os_.good();
}

bool AVNEncoder::do_visit(const GeneralizedTime& value) {
    os_ << '"' << value.get() << '"';
    return os_.good();
}

bool AVNEncoder::do_visit(const CHOICE& value) {
    if (value.currentSelection() < 0 || value.getSelection() == nullptr) return false;
    os_ << value.getSelectionName() << " : ";
    return value.getSelection()->accept(*this);
}

bool AVNEncoder::do_visit(const OpenData& value) {
    if (value.has_data()) return value.get_data().accept(*this);
    if (value.has_buf()) return printOctets(value.get_buf());
    return false;
}

bool AVNEncoder::do_visit(const SEQUENCE_OF_Base& value) {
    int n = indent_;
    os_ << "{\n";
    indent_ = n + 2;
    std::size_t count = value.size();
    std::size_t i = 0;
    for (auto it = value.begin(); it != value.end() && os_.good(); ++it, ++i) {
        indent(n + 2);
        if (*it == nullptr || !(*it)->accept(*this)) return false;
        if (i + 1 < count) os_ << ",\n";
    }
    indent_ = n;
    if (count > 0 && os_.good()) os_ << '\n';
    indent(n);
    os_ << '}';
    return os_.good();
}

bool AVNEncoder::preVisitExtensionRoots(const SEQUENCE&) {
    fieldWritten_.push_back(false);
    os_ << "{\n";
    return os_.good();
}

bool AVNEncoder::visitExtensionRoot(const SEQUENCE& seq, int index) {
    if (fieldWritten_.back()) os_ << ",\n";
    indent(indent_ + 2);
    os_ << seq.getFieldName(index) << ' ';
    indent_ += 2;
    const AbstractData* field = seq.getField(static_cast<unsigned>(index));
    if (field == nullptr || !field->accept(*this)) return false;
    indent_ -= 2;
    fieldWritten_.back() = true;
    return true;
}

bool AVNEncoder::visitKnownExtension(const SEQUENCE& seq, int index) {
    return visitExtensionRoot(seq, index);
}

bool AVNEncoder::afterVisitSequence(const SEQUENCE&) {
    if (fieldWritten_.back()) os_ << '\n';
    fieldWritten_.pop_back();
    indent(indent_);
    os_ << '}';
    return os_.good();
}

std::ios_base::iostate print_on(std::ostream& os, const AbstractData& value) {
    AVNEncoder printer(os);
    return value.accept(printer) ? std::ios_base::goodbit : std::ios_base::failbit;
}

std::string asValueNotation(const AbstractData& value) {
    std::ostringstream text;
    print_on(text, value);
    return text.str();
}

std::ostream& g_inserter(std::ostream& os, const AbstractData& value) {
    if (!os.good()) return os;
    InserterWrapper<char, std::char_traits<char>, AbstractData> wrapper(os, value);
    wrapper.do_it(os);
    return os;
}

std::ostream& operator<<(std::ostream& os, const AbstractData& value) {
    if (!os.good()) return os;
    g_inserter(os, value);
    // An unprintable value must not silence every later line of the same stream.
    if (os.rdstate() == std::ios_base::failbit) os.clear();
    return os;
}

std::ostream& operator<<(std::ostream& os, const AbstractString& value) {
    return os << static_cast<const std::string&>(value);
}

}  // namespace ASN1
