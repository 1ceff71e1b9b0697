// The coding environment and the two entry points through which values become octets and back.
#pragma once

#include <cstring>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

// Loki predates C++17: it still names std::binary_function.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <loki/AssocVector.h>
#pragma GCC diagnostic pop

#include "asn1/abstract_data.h"
#include "asn1/per_decoder.h"
#include "asn1/per_encoder.h"
#include "asn1/printer.h"

namespace ASN1 {

struct Module;
class CoderEnv;

// The coders of rules 0 and 1 live in a library the daemon does not link; that library's
// installCodecs() hands them to every environment through this table.
struct CodecTable {
    bool (*encodeBER)(const AbstractData& value, std::vector<char>& octets);
    bool (*decodeBER)(const char* begin, const char* end, AbstractData& value, CoderEnv* env,
                      DecodeFailure* failure);
    bool (*decodeAVN)(const char* begin, const char* end, AbstractData& value);
};

class CoderEnv {
public:
    // Held in a whole int: other numbers are representable and make every operation fail.
    enum EncodingRules : int { avn = 0, ber = 1, per_Aligned = 2, invalidRule = -1 };

    // Orders module names by their text.
    struct StringListeralCmp {
        using first_argument_type = const char*;
        using second_argument_type = const char*;
        using result_type = bool;
        bool operator()(const char* a, const char* b) const { return std::strcmp(a, b) < 0; }
    };
    // std::allocator lost the member types that Loki's map still reads.
    template <class T>
    struct RegistryAllocator : std::allocator<T> {
        using reference = T&;
        using const_reference = const T&;
        using pointer = T*;
        using const_pointer = const T*;
        template <class U>
        struct rebind {
            using other = RegistryAllocator<U>;
        };
        RegistryAllocator() = default;
        template <class U>
        RegistryAllocator(const RegistryAllocator<U>&) {}
    };
    using ModuleRegistry = Loki::AssocVector<const char*, Module*, StringListeralCmp,
                                             RegistryAllocator<std::pair<const char*, Module*>>>;

    // The rule starts invalid: an environment used before set_encodingRule fails cleanly.
    CoderEnv() = default;

    void set_encodingRule(EncodingRules rule) { encodingRule_ = rule; }
    EncodingRules get_encodingRule() const { return encodingRule_; }

    template <class OutputIterator>
    bool encode(const AbstractData& value, OutputIterator out);
    template <class OutputIterator>
    bool encodePER(const AbstractData& value, OutputIterator out);
    template <class OutputIterator>
    bool encodeBER(const AbstractData& value, OutputIterator out);
    template <class OutputIterator>
    bool encodeAVN(const AbstractData& value, OutputIterator out);

    bool decode(const char* begin, const char* end, AbstractData& value, bool noEnvironment);

    // Where the last failed decode stopped (field path, octet offset, reason), for the log line.
    const DecodeFailure& get_decodeFailure() const { return decodeFailure_; }

    // The table of rule 0 and 1 coders, or null (those rules then fail). Returns the old one.
    static const CodecTable* set_codecs(const CodecTable* table);
    static const CodecTable* get_codecs() { return codecs_; }

private:
    EncodingRules encodingRule_ = invalidRule;
    ModuleRegistry modules_;
    DecodeFailure decodeFailure_;
    static const CodecTable* codecs_;
};

template <class OutputIterator>
bool CoderEnv::encode(const AbstractData& value, OutputIterator out) {
    switch (encodingRule_) {
        case per_Aligned:
            return encodePER(value, out);
        case ber:
            return encodeBER(value, out);
        case avn:
            return encodeAVN(value, out);
        default:
            return false;
    }
}

template <class OutputIterator>
bool CoderEnv::encodePER(const AbstractData& value, OutputIterator out) {
    // Encoded aside first, so that a failure leaves the caller's buffer as it was.
    std::vector<char> octets;
    PEREncoder encoder(octets, true);
    if (!value.accept(encoder)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
}

template <class OutputIterator>
bool CoderEnv::encodeBER(const AbstractData& value, OutputIterator out) {
    if (codecs_ == nullptr || codecs_->encodeBER == nullptr) return false;
    std::vector<char> octets;
    if (!codecs_->encodeBER(value, octets)) return false;
    std::copy(octets.begin(), octets.end(), out);
    return true;
}

template <class OutputIterator>
bool CoderEnv::encodeAVN(const AbstractData& value, OutputIterator out) {
    std::ostringstream text;
    if (print_on(text, value) != std::ios_base::goodbit) return false;
    const std::string& chars = text.str();
    std::copy(chars.begin(), chars.end(), out);
    return true;
}

template <class OutputIterator>
bool encode(const AbstractData& value, CoderEnv* env, OutputIterator out) {
    return env != nullptr && env->encode(value, out);
}

template <class OutputIterator>
bool encode(const AbstractData& value, CoderEnv& env, OutputIterator out) {
    return env.encode(value, out);
}

bool decode(const char* begin, const char* end, CoderEnv* env, AbstractData& value, bool noEnvironment);

}  // namespace ASN1
