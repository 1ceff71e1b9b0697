#include "asn1/sequence.h"

#include "asn1/asn1.h"

namespace ASN1 {

constexpr unsigned SEQUENCE::defaultTag = 0;

void SEQUENCE::BitMap::resize(unsigned bits) {
    size_ = bits;
    bits_.resize((static_cast<std::size_t>(bits) + 7) / 8, 0);
    if (bits % 8 != 0) bits_.back() = static_cast<char>(bits_.back() & (0xFF00 >> (bits % 8)));
}

SEQUENCE::FieldVector::FieldVector(const FieldVector& other)
    : std::vector<AbstractData*>(other.size(), nullptr) {
    try {
        for (std::size_t i = 0; i < other.size(); ++i)
            if (other[i] != nullptr) (*this)[i] = other[i]->clone();
    } catch (...) {
        for (AbstractData* field : *this) delete field;
        throw;
    }
}

SEQUENCE::FieldVector::~FieldVector() {
    for (AbstractData* field : *this) delete field;
}

AbstractData* SEQUENCE::create(const void* info) {
    return new SEQUENCE(info);
}

SEQUENCE::SEQUENCE(const void* info) : AbstractData(info) {
    const InfoType& r = record();
    fields_.resize(r.numFields + r.knownExtensions, nullptr);
    optionalMap_.resize(r.numOptional);
    for (unsigned i = 0; i < r.numFields; ++i)
        if (r.fieldIds[i] == -1) fields_[i] = AbstractData::create(r.fieldInfos[i]);
    if (r.nonOptionalExtensions != nullptr && r.knownExtensions != 0) {
        extensionMap_.resize(r.knownExtensions);
        for (unsigned k = 0; k < r.knownExtensions; ++k) {
            if ((r.nonOptionalExtensions[k / 8] & (0x80u >> (k % 8))) == 0) continue;
            extensionMap_.set(k);
            fields_[r.numFields + k] = AbstractData::create(r.fieldInfos[r.numFields + k]);
        }
    }
}

SEQUENCE::SEQUENCE(const SEQUENCE& other)
    : AbstractData(other),
      fields_(other.fields_),
      optionalMap_(other.optionalMap_),
      extensionMap_(other.extensionMap_) {}

SEQUENCE& SEQUENCE::operator=(const SEQUENCE& other) {
    if (this == &other) return *this;
    FieldVector fields(other.fields_);
    BitMap optional(other.optionalMap_);
    BitMap extension(other.extensionMap_);
    fields_.swap(fields);
    optionalMap_.swap(optional);
    extensionMap_.swap(extension);
    return *this;
}

void SEQUENCE::swap(SEQUENCE& other) {
    fields_.swap(other.fields_);
    optionalMap_.swap(other.optionalMap_);
    extensionMap_.swap(other.extensionMap_);
}

bool SEQUENCE::hasOptionalField(unsigned id) const {
    if (id < optionalMap_.size()) return optionalMap_[id];
    return extensionMap_[id - optionalMap_.size()];
}

AbstractData*& SEQUENCE::includeOptionalField(unsigned id, unsigned index) {
    if (id < optionalMap_.size()) {
        optionalMap_.set(id);
    } else {
        const unsigned k = id - optionalMap_.size();
        if (extensionMap_.size() <= k) extensionMap_.resize(k + 1);
        extensionMap_.set(k);
    }
    AbstractData*& slot = fields_[index];
    if (slot == nullptr) slot = AbstractData::create(record().fieldInfos[index]);
    return slot;
}

void SEQUENCE::removeOptionalField(unsigned id) {
    if (id < optionalMap_.size()) {
        optionalMap_.clear(id);
        return;
    }
    const unsigned k = id - optionalMap_.size();
    if (k < extensionMap_.size()) extensionMap_.clear(k);
}

unsigned SEQUENCE::getFieldTag(int i) const {
    const InfoType& r = record();
    if (r.tags == nullptr) return ContextTag(static_cast<unsigned>(i));
    if (r.tags == &defaultTag) return static_cast<const AbstractData::InfoType*>(r.fieldInfos[i])->tag;
    return r.tags[i];
}

int SEQUENCE::tagMode() const {
    const InfoType& r = record();
    if (r.tags == nullptr) return 0;
    return r.tags == &defaultTag ? 2 : 1;
}

int SEQUENCE::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const SEQUENCE&>(other);
    const InfoType& r = record();
    int lastId = -1;
    for (unsigned i = 0; i < r.numFields; ++i) {
        const int id = r.fieldIds[i];
        int result = 0;
        if (id == -1) {
            result = fields_[i]->compare(*o.fields_[i]);
        } else {
            lastId = id;
            const bool mine = hasOptionalField(static_cast<unsigned>(id));
            const bool theirs = o.hasOptionalField(static_cast<unsigned>(id));
            result = mine && theirs ? fields_[i]->compare(*o.fields_[i]) : int{mine} - int{theirs};
        }
        if (result != 0) return result;
    }
    int id = lastId;
    for (unsigned i = r.numFields; i < fields_.size(); ++i) {
        ++id;
        const bool mine = hasOptionalField(static_cast<unsigned>(id));
        const bool theirs = o.hasOptionalField(static_cast<unsigned>(id));
        const int result = mine && theirs ? fields_[i]->compare(*o.fields_[i]) : int{mine} - int{theirs};
        if (result != 0) return result;
    }
    return 0;
}

AbstractData* SEQUENCE::do_clone() const {
    return CloneThroughRecord(*this);
}
bool SEQUENCE::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool SEQUENCE::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
