// The base of every ASN.1 value and the head of every info record.
#pragma once

#include <cstdint>
#include <istream>
#include <type_traits>
#include <vector>

namespace ASN1 {

class Visitor;
class ConstVisitor;
class AbstractData;

// The function stored first in every info record: a new heap value of the record's type.
using CreateFunction = AbstractData* (*)(const void* info);

// Tag word: bits 16..23 the class bits of a BER identifier octet, bits 0..15 the number.
constexpr unsigned kTagUniversal = 0x000000;
constexpr unsigned kTagApplication = 0x400000;
constexpr unsigned kTagContextSpecific = 0x800000;
constexpr unsigned kTagPrivate = 0xC00000;
constexpr unsigned ContextTag(unsigned number) {
    return kTagContextSpecific | number;
}

enum ConstraintType : int {
    Unconstrained = 0,
    PartiallyConstrained = 1,
    FixedConstraint = 2,
    ExtendableConstraint = 3,
};

namespace detail {
// Empty mix-in kept for the class tree's shape; carries no state and no behaviour.
template <class T>
struct Allocator {};
}  // namespace detail

class AbstractData {
public:
    // Head of every info record. Records are constant aggregates; longer layouts derive from this.
    struct InfoType {
        CreateFunction create;
        unsigned tag;
    };

    virtual ~AbstractData() = default;

    // Null for a null record, else a new default value built by the record's create function.
    static AbstractData* create(const void* info);

    AbstractData* clone() const { return do_clone(); }
    int compare(const AbstractData& other) const { return do_compare(other); }
    bool operator==(const AbstractData& other) const { return compare(other) == 0; }
    bool operator!=(const AbstractData& other) const { return compare(other) != 0; }
    bool accept(Visitor& v) { return do_accept(v); }
    bool accept(ConstVisitor& v) const { return do_accept(v); }

    const void* info() const { return info_; }
    unsigned getTag() const { return static_cast<const InfoType*>(info_)->tag; }

protected:
    explicit AbstractData(const void* info) : info_(info) {}
    AbstractData(const AbstractData& other) = default;
    // Assignment copies values, never records.
    AbstractData& operator=(const AbstractData&) { return *this; }

    // Clones through the record's create function, so a value keeps the class that its record
    // builds (generated classes included), then copies the value; falls back to a plain copy.
    template <class Self>
    static AbstractData* CloneThroughRecord(const Self& self);

private:
    virtual int do_compare(const AbstractData& other) const = 0;
    virtual AbstractData* do_clone() const = 0;
    virtual bool do_accept(Visitor& v) = 0;
    virtual bool do_accept(ConstVisitor& v) const = 0;

    const void* info_;
};

// create function for records of classes that have their own constructors (generated types,
// typed templates): a value of exactly the class T, so typed accessors may view it as T.
template <class T>
AbstractData* create_as(const void* info) {
    if constexpr (std::is_constructible_v<T, const void*>)
        return new T(info);
    else
        return new T();
}

template <class Self>
AbstractData* AbstractData::CloneThroughRecord(const Self& self) {
    auto record = static_cast<const InfoType*>(self.info());
    if (record != nullptr && record->create != nullptr) {
        AbstractData* fresh = record->create(record);
        if (auto typed = dynamic_cast<Self*>(fresh)) {
            *typed = self;
            return fresh;
        }
        delete fresh;
    }
    return new Self(self);
}

// Bits needed for `range` distinct values; CountBits(0) stands for a range of 2^32.
unsigned CountBits(unsigned range);

// Compares two byte ranges as unsigned bytes: the first difference, else -1/+1 for the shorter.
template <class It1, class It2>
int lexicographic_compare_bytes(It1 first1, It1 last1, It2 first2, It2 last2) {
    for (; first1 != last1 && first2 != last2; ++first1, ++first2) {
        int a = static_cast<unsigned char>(*first1);
        int b = static_cast<unsigned char>(*first2);
        if (a != b) return a - b;
    }
    if (first1 == last1) return first2 == last2 ? 0 : -1;
    return 1;
}

inline bool is_space_or_newline(char c) {
    return c == ' ' || c == '\n';
}

// End of input alone is still success.
inline bool input_success(const std::istream& is) {
    return !(is.rdstate() & (std::ios::failbit | std::ios::badbit));
}

}  // namespace ASN1
