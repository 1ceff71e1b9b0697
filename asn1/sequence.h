// SEQUENCE values: owned fields, presence bits of optional root fields and of extension fields.
#pragma once

#include <vector>

#include "asn1/abstract_data.h"

namespace ASN1 {

class SEQUENCE : public AbstractData, private detail::Allocator<SEQUENCE> {
public:
    // Head (tag 16), then:
    //  extendable       the type has an extension marker
    //  fieldInfos       record of each field's type: root fields, then known extension fields
    //  fieldIds         per root field -1 (mandatory) or its presence bit 0, 1, ...; 0 for extensions
    //  numFields        number of root fields
    //  knownExtensions  number of known extension fields
    //  numOptional      number of optional root fields
    //  nonOptionalExtensions  null, or one bit per known extension (MSB first) present from the start
    //  tags             null (automatic), &defaultTag (each type's own tag) or one tag word per field
    //  fieldNames       one name per field
    struct InfoType : AbstractData::InfoType {
        bool extendable;
        const void* const* fieldInfos;
        const int* fieldIds;
        unsigned numFields;
        unsigned knownExtensions;
        unsigned numOptional;
        const unsigned char* nonOptionalExtensions;
        const unsigned* tags;
        const char* const* fieldNames;
    };
    // Its address in `tags` means every field keeps its own type's tag.
    static const unsigned defaultTag;

    // Presence bits, most significant bit first.
    class BitMap {
    public:
        BitMap() = default;
        unsigned size() const { return size_; }
        void resize(unsigned bits);
        bool operator[](unsigned i) const {
            return i < size_ && (static_cast<unsigned char>(bits_[i / 8]) & (0x80u >> (i % 8))) != 0;
        }
        void set(unsigned i) { bits_[i / 8] = static_cast<char>(bits_[i / 8] | (0x80u >> (i % 8))); }
        void clear(unsigned i) { bits_[i / 8] = static_cast<char>(bits_[i / 8] & ~(0x80u >> (i % 8))); }
        const std::vector<char>& bytes() const { return bits_; }
        void swap(BitMap& other) {
            std::swap(size_, other.size_);
            bits_.swap(other.bits_);
        }
        bool operator==(const BitMap& other) const = default;

    private:
        unsigned size_ = 0;
        std::vector<char> bits_;
    };

    // Owned field values; copying clones every non-null one.
    class FieldVector : public std::vector<AbstractData*> {
    public:
        FieldVector() = default;
        FieldVector(const FieldVector& other);
        FieldVector& operator=(const FieldVector&) = delete;
        ~FieldVector();
    };

    explicit SEQUENCE(const void* info);
    SEQUENCE(const SEQUENCE& other);
    // Builds the copies first, so a failure leaves this value unchanged; the record stays.
    SEQUENCE& operator=(const SEQUENCE& other);
    void swap(SEQUENCE& other);

    // Presence bit `id`: ids below the optional-field count are root fields, the rest extensions.
    bool hasOptionalField(unsigned id) const;
    // Sets bit `id` (growing the extension map when needed) and creates field `index` when it
    // has no value yet. Returns the field's slot.
    AbstractData*& includeOptionalField(unsigned id, unsigned index);
    // Clears bit `id`; the field keeps its value object for a later include.
    void removeOptionalField(unsigned id);
    // Sets the number of extension presence positions; positions it adds are clear.
    void resizeExtensionMap(unsigned bits) { extensionMap_.resize(bits); }

    AbstractData* getField(unsigned i) { return fields_[i]; }
    const AbstractData* getField(unsigned i) const { return fields_[i]; }
    unsigned fieldCount() const { return static_cast<unsigned>(fields_.size()); }
    const char* getFieldName(int i) const { return record().fieldNames[i]; }
    unsigned getFieldTag(int i) const;
    // 0 automatic tags, 1 a tag array, 2 each field's own tag.
    int tagMode() const;
    bool extendable() const { return record().extendable; }
    unsigned numRootFields() const { return record().numFields; }
    unsigned numKnownExtensions() const { return record().knownExtensions; }
    unsigned numOptionalFields() const { return record().numOptional; }
    // Record's presence-bit id of root field i (-1 mandatory).
    int getFieldId(unsigned i) const { return record().fieldIds[i]; }
    const BitMap& optionalMap() const { return optionalMap_; }
    const BitMap& extensionMap() const { return extensionMap_; }

    SEQUENCE* clone() const { return static_cast<SEQUENCE*>(AbstractData::clone()); }

    static AbstractData* create(const void* info);

protected:
    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    FieldVector fields_;
    BitMap optionalMap_;
    BitMap extensionMap_;
};

}  // namespace ASN1
