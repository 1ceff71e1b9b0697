#include "asn1/sequence_of.h"

#include <algorithm>
#include <memory>

#include "asn1/asn1.h"

namespace ASN1 {

namespace {
void DeleteAll(SEQUENCE_OF_Base::Container& elements) {
    for (AbstractData* element : elements) delete element;
    elements.clear();
}

// Clones of [first, last) as a new owned vector; nothing leaks when a clone throws.
SEQUENCE_OF_Base::Container CloneAll(SEQUENCE_OF_Base::const_iterator first,
                                     SEQUENCE_OF_Base::const_iterator last) {
    SEQUENCE_OF_Base::Container copies;
    copies.reserve(static_cast<std::size_t>(last - first));
    try {
        for (; first != last; ++first) copies.push_back(*first ? (*first)->clone() : nullptr);
    } catch (...) {
        DeleteAll(copies);
        throw;
    }
    return copies;
}
}  // namespace

AbstractData* SEQUENCE_OF_Base::create(const void* info) {
    return new SEQUENCE_OF_Base(info);
}

SEQUENCE_OF_Base::SEQUENCE_OF_Base(const SEQUENCE_OF_Base& other)
    : ConstrainedObject(other), elements_(CloneAll(other.begin(), other.end())) {}

SEQUENCE_OF_Base& SEQUENCE_OF_Base::operator=(const SEQUENCE_OF_Base& other) {
    if (this == &other) return *this;
    Container copies = CloneAll(other.begin(), other.end());
    elements_.swap(copies);
    DeleteAll(copies);
    return *this;
}

SEQUENCE_OF_Base::~SEQUENCE_OF_Base() {
    DeleteAll(elements_);
}

void SEQUENCE_OF_Base::push_back(AbstractData* element) {
    std::unique_ptr<AbstractData> owned(element);
    elements_.push_back(owned.get());
    owned.release();
}

void SEQUENCE_OF_Base::insert(iterator position, std::size_t n, const AbstractData& value) {
    const auto offset = position - elements_.begin();
    Container copies;
    copies.reserve(n);
    create_from0 make{value};
    try {
        for (std::size_t i = 0; i < n; ++i) copies.push_back(make());
        elements_.reserve(elements_.size() + n);
    } catch (...) {
        DeleteAll(copies);
        throw;
    }
    elements_.insert(elements_.begin() + offset, copies.begin(), copies.end());
}

void SEQUENCE_OF_Base::insert(iterator position, const_iterator first, const_iterator last) {
    const auto offset = position - elements_.begin();
    Container copies = CloneAll(first, last);
    try {
        elements_.reserve(elements_.size() + copies.size());
    } catch (...) {
        DeleteAll(copies);
        throw;
    }
    elements_.insert(elements_.begin() + offset, copies.begin(), copies.end());
}

SEQUENCE_OF_Base::iterator SEQUENCE_OF_Base::erase(iterator first, iterator last) {
    for (auto it = first; it != last; ++it) delete *it;
    return elements_.erase(first, last);
}

void SEQUENCE_OF_Base::resize(std::size_t n) {
    if (elements_.size() > n) {
        erase(elements_.begin() + static_cast<std::ptrdiff_t>(n), elements_.end());
        return;
    }
    elements_.reserve(n);
    while (elements_.size() < n) push_back(createElement());
}

void SEQUENCE_OF_Base::clear() {
    DeleteAll(elements_);
}

AbstractData* SEQUENCE_OF_Base::createElement() const {
    return AbstractData::create(elementInfo());
}

int SEQUENCE_OF_Base::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const SEQUENCE_OF_Base&>(other);
    const std::size_t common = std::min(size(), o.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int result = elements_[i]->compare(*o.elements_[i]);
        if (result != 0) return result;
    }
    return static_cast<int>(size() - o.size());
}

AbstractData* SEQUENCE_OF_Base::do_clone() const {
    return CloneThroughRecord(*this);
}
bool SEQUENCE_OF_Base::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool SEQUENCE_OF_Base::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
