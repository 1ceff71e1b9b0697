#include "slots/slot_factory.h"

#include "slots/slot.h"

SlotFactory* SlotFactory::head_ = nullptr;

SlotFactory::SlotFactory() : next_(head_) {
    head_ = this;
}

SlotFactory::~SlotFactory() {
    for (SlotFactory** p = &head_; *p != nullptr; p = &(*p)->next_) {
        if (*p == this) {
            *p = next_;
            break;
        }
    }
    // Slots outliving their factory must not call back into it.
    for (Slot* slot : slots_) slot->DetachFactory();
}

Slot* SlotFactory::NewSlot(const LGCP::CreateParams& params) {
    Slot* slot = INewSlot(params);
    if (slot != nullptr) slots_.push_back(slot);
    return slot;
}
