#include "asn1/choice.h"

#include <memory>
#include <utility>

#include "asn1/asn1.h"

namespace ASN1 {

AbstractData* CHOICE::create(const void* info) {
    return new CHOICE(info);
}

CHOICE::CHOICE(const void* info, int selection, AbstractData* alternative)
    : AbstractData(info), alternative_(alternative), selection_(selection) {}

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other),
      alternative_(other.alternative_ ? other.alternative_->clone() : nullptr),
      selection_(other.selection_) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
    if (this == &other) return *this;
    AbstractData* copy = other.alternative_ ? other.alternative_->clone() : nullptr;
    delete alternative_;
    alternative_ = copy;
    selection_ = other.selection_;
    return *this;
}

CHOICE::~CHOICE() {
    delete alternative_;
}

void CHOICE::swap(CHOICE& other) {
    std::swap(alternative_, other.alternative_);
    std::swap(selection_, other.selection_);
}

AbstractData* CHOICE::setSelection(int index, AbstractData* alternative) {
    if (alternative != alternative_) delete alternative_;
    alternative_ = alternative;
    selection_ = index;
    return alternative;
}

bool CHOICE::select(int index) {
    if (index == selection_ && index >= 0 && alternative_ != nullptr) return true;
    selection_ = index;
    return createSelection();
}

bool CHOICE::createSelection() {
    const InfoType& r = record();
    if (selection_ >= 0 && static_cast<unsigned>(selection_) < r.totalChoices &&
        r.selectionInfos[selection_] != nullptr) {
        std::unique_ptr<AbstractData> fresh(AbstractData::create(r.selectionInfos[selection_]));
        if (fresh) {
            delete alternative_;
            alternative_ = fresh.release();
            return true;
        }
    }
    selection_ = unknownSelection_;
    delete alternative_;
    alternative_ = nullptr;
    return false;
}

unsigned CHOICE::getSelectionTag() const {
    const InfoType& r = record();
    if (r.tags == nullptr) return ContextTag(static_cast<unsigned>(selection_));
    return r.tags[selection_];
}

int CHOICE::do_compare(const AbstractData& other) const {
    const auto& o = static_cast<const CHOICE&>(other);
    if (selection_ < 0 || selection_ != o.selection_) return selection_ - o.selection_;
    if (alternative_ == nullptr || o.alternative_ == nullptr)
        return int{alternative_ != nullptr} - int{o.alternative_ != nullptr};
    return alternative_->compare(*o.alternative_);
}

AbstractData* CHOICE::do_clone() const {
    return CloneThroughRecord(*this);
}
bool CHOICE::do_accept(Visitor& v) {
    return v.visit(*this);
}
bool CHOICE::do_accept(ConstVisitor& v) const {
    return v.visit(*this);
}

}  // namespace ASN1
