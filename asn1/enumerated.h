// ENUMERATED values and their name tables.
#pragma once

#include <cstddef>
#include <string_view>

#include "asn1/abstract_data.h"

namespace ASN1 {

class ENUMERATED : public AbstractData, private detail::Allocator<ENUMERATED> {
public:
    // Head, extendable flag, largest value, the name table and its length.
    //
    // The name table holds one NUL-terminated name per enumerator in definition order: the first
    // is 0 and each next one the previous plus one, unless the name carries "=N" (for example
    // "speak=4"), which sets its value. `nameCount` is the number of entries; 0 means a plain
    // table of exactly maximum + 1 names without "=N". makeInfo() fills both numbers.
    struct InfoType : AbstractData::InfoType {
        bool extendable;
        int maximum;
        const char* const* names;
        unsigned nameCount;
    };

    template <std::size_t N>
    static constexpr InfoType makeInfo(CreateFunction create, bool extendable, const char* const (&names)[N]);

    explicit ENUMERATED(const void* info) : AbstractData(info) {}
    ENUMERATED(const ENUMERATED&) = default;
    // Copies the value only; the record stays.
    ENUMERATED& operator=(const ENUMERATED&) = default;

    int asInt() const { return value_; }
    void setFromInt(int value) { value_ = value; }

    int getMaximum() const { return record().maximum; }
    bool extendable() const { return record().extendable; }

    // The name bound to the value, without any "=N"; empty (null data) when no name is bound.
    std::string_view getName() const;
    // Stores the value of the first entry called `name`, else maximum + 1. True when the stored
    // value is not above the maximum.
    bool setFromName(std::string_view name);

    static AbstractData* create(const void* info);

    // Splits one table entry into its name and, when it carries "=N", that number.
    static std::string_view EntryName(const char* entry);
    static constexpr bool EntryNumber(const char* entry, int& value);

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }

    int value_ = 0;
};

constexpr bool ENUMERATED::EntryNumber(const char* entry, int& value) {
    const char* p = entry;
    while (*p != '\0' && *p != '=') ++p;
    if (*p != '=') return false;
    ++p;
    bool negative = false;
    if (*p == '-') {
        negative = true;
        ++p;
    }
    long long v = 0;
    for (; *p >= '0' && *p <= '9'; ++p) v = v * 10 + (*p - '0');
    value = static_cast<int>(negative ? -v : v);
    return true;
}

template <std::size_t N>
constexpr ENUMERATED::InfoType ENUMERATED::makeInfo(CreateFunction create, bool extendable,
                                                    const char* const (&names)[N]) {
    int maximum = -1;
    int next = 0;
    bool numbered = false;
    for (std::size_t i = 0; i < N; ++i) {
        int value = next;
        if (EntryNumber(names[i], value)) numbered = true;
        if (i == 0 || value > maximum) maximum = value;
        next = value + 1;
    }
    InfoType info{};
    info.create = create;
    info.tag = 10;
    info.extendable = extendable;
    info.maximum = maximum;
    info.names = names;
    info.nameCount = numbered ? static_cast<unsigned>(N) : 0u;
    return info;
}

}  // namespace ASN1
