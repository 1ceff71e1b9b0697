// Value-notation printer: the text of every protocol value in our log lines.
#pragma once

#include <exception>
#include <ios>
#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "asn1/visitor.h"

namespace ASN1 {

class AVNEncoder : public ConstVisitor {
public:
    explicit AVNEncoder(std::ostream& os) : os_(os) {}

private:
    bool do_visit(const Null& value) override;
    bool do_visit(const BOOLEAN& value) override;
    bool do_visit(const INTEGER& value) override;
    bool do_visit(const IntegerWithNamedNumber& value) override;
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
    bool preVisitExtensionRoots(const SEQUENCE& seq) override;
    bool visitExtensionRoot(const SEQUENCE& seq, int index) override;
    bool visitKnownExtension(const SEQUENCE& seq, int index) override;
    bool afterVisitSequence(const SEQUENCE& seq) override;

    void indent(int n);
    bool printOctets(const std::vector<char>& octets);

    std::ostream& os_;
    int indent_ = 0;
    std::vector<bool> fieldWritten_;
};

// Prints `value` in value notation; no state bits when it succeeded, failbit when it failed.
std::ios_base::iostate print_on(std::ostream& os, const AbstractData& value);
// The value's text, as far as it could be printed.
std::string asValueNotation(const AbstractData& value);

// Runs one stream operation and turns what it throws into stream state: badbit for an
// allocation failure, failbit for anything else, rethrown only when the stream asks for it.
template <class CharT, class Traits>
class IOWrapper {
public:
    virtual ~IOWrapper() = default;

    void do_it(std::basic_ios<CharT, Traits>& ios) {
        std::ios_base::iostate bits = std::ios_base::goodbit;
        try {
            bits = do_real_io();
        } catch (const std::bad_alloc&) {
            SetSwallowing(ios, std::ios_base::badbit);
            if (ios.exceptions() & std::ios_base::badbit) throw;
            return;
        } catch (...) {
            SetSwallowing(ios, std::ios_base::failbit);
            if (ios.exceptions() & std::ios_base::failbit) throw;
            return;
        }
        if (bits != std::ios_base::goodbit) ios.setstate(bits);
    }

protected:
    virtual std::ios_base::iostate do_real_io() = 0;

private:
    static void SetSwallowing(std::basic_ios<CharT, Traits>& ios, std::ios_base::iostate bits) {
        try {
            ios.setstate(bits);
        } catch (const std::ios_base::failure&) {
        }
    }
};

template <class CharT, class Traits, class Value>
class InserterWrapper : public IOWrapper<CharT, Traits> {
public:
    InserterWrapper(std::basic_ostream<CharT, Traits>& os, const Value& value) : os_(os), value_(value) {}

protected:
    std::ios_base::iostate do_real_io() override {
        typename std::basic_ostream<CharT, Traits>::sentry guard(os_);
        if (!guard) return std::ios_base::goodbit;
        return print_on(os_, value_);
    }

private:
    std::basic_ostream<CharT, Traits>& os_;
    const Value& value_;
};

std::ostream& g_inserter(std::ostream& os, const AbstractData& value);

// Writes the value in value notation. A value that cannot be printed (a CHOICE without a
// selection) leaves its partial text but not a failed stream: the log stream stays usable.
std::ostream& operator<<(std::ostream& os, const AbstractData& value);
// The characters as they are, without quotes.
std::ostream& operator<<(std::ostream& os, const AbstractString& value);

}  // namespace ASN1
