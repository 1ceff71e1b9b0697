#include "asn1/abstract_data.h"

namespace ASN1 {

AbstractData* AbstractData::create(const void* info) {
    if (info == nullptr) return nullptr;
    auto record = static_cast<const InfoType*>(info);
    if (record->create == nullptr) return nullptr;
    return record->create(info);
}

unsigned CountBits(unsigned range) {
    if (range == 0) return 32;
    unsigned n = 0;
    while (n < 32 && (std::uint64_t{1} << n) < range) ++n;
    return n;
}

}  // namespace ASN1
