// What the generated message classes share: field and alternative access by index, with the
// presence and selection checks of debug builds. A decoded value may lack an optional field's
// object or (an unknown extension alternative) any selection object at all.
#pragma once

#include <cassert>

#include "asn1/asn1.h"

namespace MessageAccess {

// A field; `optId` is the presence bit of an optional field, -1 for a mandatory one.
template <class C>
const C& Get(const ASN1::SEQUENCE& s, unsigned index, int optId) {
    assert(optId < 0 || s.hasOptionalField(static_cast<unsigned>(optId)));
    assert(s.getField(index) != nullptr);
    (void)optId;
    return static_cast<const C&>(*s.getField(index));
}

template <class C>
C& Mandatory(ASN1::SEQUENCE& s, unsigned index) {
    assert(s.getField(index) != nullptr);
    return static_cast<C&>(*s.getField(index));
}

// Marks an optional field present, creating its object when it has none.
template <class C>
C& Include(ASN1::SEQUENCE& s, unsigned optId, unsigned index) {
    return static_cast<C&>(*s.includeOptionalField(optId, index));
}

// An optional field's object without changing its presence; one is created when there is none,
// so the reference is always to a live object.
template <class C>
C& Ref(ASN1::SEQUENCE& s, unsigned optId, unsigned index) {
    if (s.getField(index) != nullptr) return static_cast<C&>(*s.getField(index));
    bool present = s.hasOptionalField(optId);
    C& field = static_cast<C&>(*s.includeOptionalField(optId, index));
    if (!present) s.removeOptionalField(optId);
    return field;
}

// Replaces the selection by a default value of alternative `index`.
template <class C>
C& Select(ASN1::CHOICE& c, int index) {
    return static_cast<C&>(*c.setSelection(index, ASN1::AbstractData::create(&C::theInfo)));
}

template <class C>
const C& Selected(const ASN1::CHOICE& c, int index) {
    assert(c.currentSelection() == index);
    assert(c.getSelection() != nullptr);
    (void)index;
    return static_cast<const C&>(*c.getSelection());
}

// The selection as alternative `index`; selects a default one when another (or none) is held,
// so the reference never views an object of some other type.
template <class C>
C& RefSelected(ASN1::CHOICE& c, int index) {
    if (c.currentSelection() == index && c.getSelection() != nullptr)
        return static_cast<C&>(*c.getSelection());
    return Select<C>(c, index);
}

}  // namespace MessageAccess
