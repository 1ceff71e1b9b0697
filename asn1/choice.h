// CHOICE values: one owned alternative and its index.
#pragma once

#include "asn1/abstract_data.h"

namespace ASN1 {

class CHOICE : public AbstractData, private detail::Allocator<CHOICE> {
public:
    // Head (tag 0), then the extendable flag, each alternative's record (root first, then the
    // known extension alternatives), the root and total counts, tags (null: automatic) and names.
    struct InfoType : AbstractData::InfoType {
        bool extendable;
        const void* const* selectionInfos;
        unsigned numChoices;
        unsigned totalChoices;
        const unsigned* tags;
        const char* const* selectionNames;
    };

    static constexpr int unselected_ = -1;
    static constexpr int unknownSelection_ = -2;

    explicit CHOICE(const void* info, int selection = unselected_, AbstractData* alternative = nullptr);
    CHOICE(const CHOICE& other);
    CHOICE& operator=(const CHOICE& other);
    ~CHOICE() override;
    void swap(CHOICE& other);

    // Takes ownership of `alternative`, deletes the previous one; returns the new one.
    AbstractData* setSelection(int index, AbstractData* alternative);
    // Keeps the current alternative when `index` is already selected, else creates a default one.
    bool select(int index);
    // Replaces the alternative by a default value of the selected one; an index the record does
    // not describe leaves selection -2 and no alternative, and returns false.
    bool createSelection();

    int currentSelection() const { return selection_; }
    AbstractData* getSelection() { return alternative_; }
    const AbstractData* getSelection() const { return alternative_; }
    bool isUnknownSelection() const { return selection_ == unknownSelection_; }
    const char* getSelectionName() const { return record().selectionNames[selection_]; }
    unsigned getSelectionTag() const;
    unsigned getNumChoices() const { return record().numChoices; }
    unsigned getTotalChoices() const { return record().totalChoices; }
    bool extendable() const { return record().extendable; }

    static AbstractData* create(const void* info);

protected:
    const InfoType& record() const { return *static_cast<const InfoType*>(info()); }

private:
    int do_compare(const AbstractData& other) const override;
    AbstractData* do_clone() const override;
    bool do_accept(Visitor& v) override;
    bool do_accept(ConstVisitor& v) const override;

    AbstractData* alternative_;
    int selection_;
};

}  // namespace ASN1
