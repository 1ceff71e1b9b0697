#include "asn1/enumerated.h"

#include <cstring>

#include "asn1/asn1.h"

namespace ASN1 {

AbstractData* ENUMERATED::create(const void* info) {
    return new ENUMERATED(info);
}

std::string_view ENUMERATED::EntryName(const char* entry) {
    const char* eq = std::strchr(entry, '=');
    return eq == nullptr ? std::string_view(entry)
                         : std::string_view(entry, static_cast<std::size_t>(eq - entry));
}

std::string_view ENUMERATED::getName() const {
    const InfoType& r = record();
    if (r.names == nullptr) return {};
    if (r.nameCount == 0) {
        if (value_ < 0 || value_ > r.maximum) return {};
        return EntryName(r.names[value_]);
    }
    // Numbered table: walk it, never past its length.
    int next = 0;
    for (unsigned i = 0; i < r.nameCount; ++i) {
        int value = next;
        EntryNumber(r.names[i], value);
        if (value == value_) return EntryName(r.names[i]);
        next = value + 1;
    }
    return {};
}

bool ENUMERATED::setFromName(std::string_view name) {
    const InfoType& r = record();
    if (r.names != nullptr) {
        const unsigned count = r.nameCount == 0 ? static_cast<unsigned>(r.maximum + 1) : r.nameCount;
        int next = 0;
        for (unsigned i = 0; i < count; ++i) {
            int value = next;
            EntryNumber(r.names[i], value);
            if (EntryName(r.names[i]) == name) {
                value_ = value;
                return value_ <= r.maximum;
            }
            next = value + 1;
        }
    }
    value_ = r.maximum + 1;
    return false;
}

int ENUMERATED::do_compare(const AbstractData& other) const {
    return static_cast<int>(static_cast<unsigned>(value_) -
                            static_cast<unsigned>(static_cast<const ENUMERATED&>(other).value_));
}

AbstractData* ENUMERATED::do_clone() const {
    return CloneThroughRecord(*this);
}
bool ENUMERATED::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool ENUMERATED::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
