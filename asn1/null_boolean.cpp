#include "asn1/null_boolean.h"

#include "asn1/asn1.h"

namespace ASN1 {

constexpr AbstractData::InfoType Null::theInfo{&Null::create, 5};
constexpr AbstractData::InfoType BOOLEAN::theInfo{&BOOLEAN::create, 1};

AbstractData* Null::create(const void* info) {
    return new Null(info);
}
int Null::do_compare(const AbstractData&) const {
    return 0;
}
AbstractData* Null::do_clone() const {
    return CloneThroughRecord(*this);
}
bool Null::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool Null::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

AbstractData* BOOLEAN::create(const void* info) {
    return new BOOLEAN(info);
}
int BOOLEAN::do_compare(const AbstractData& other) const {
    return int{value_} - int{static_cast<const BOOLEAN&>(other).value_};
}
AbstractData* BOOLEAN::do_clone() const {
    return CloneThroughRecord(*this);
}
bool BOOLEAN::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool BOOLEAN::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
