#include "slots/line_holders.h"

#include <iostream>

#include "slots/slot.h"

LineHolders& LineHolders::instance() {
    static LineHolders holders;
    return holders;
}

int LineHolders::Index(int ch) {
    const Tdm::LinePlace place = Tdm::PlaceOf(ch);
    if (place.kind == Tdm::LinePlace::e1) return ch - Tdm::kE1Base;
    if (place.kind == Tdm::LinePlace::bri) return Tdm::kE1Trunks * Tdm::kE1TimeSlots + ch - Tdm::kBriBase;
    return -1;
}

const Slot* LineHolders::Holder(int ch) const {
    const int i = Index(ch);
    return i >= 0 ? holders_[static_cast<std::size_t>(i)] : nullptr;
}

bool LineHolders::Take(int ch, const Slot& slot) {
    const int i = Index(ch);
    if (i < 0) return false;
    const Slot*& holder = holders_[static_cast<std::size_t>(i)];
    if (holder == nullptr) holder = &slot;
    if (holder == &slot) return true;
    std::clog << "line: ";
    PutPlace(std::clog, ch);
    std::clog << " is held by " << *holder << ", new " << slot.GetName() << " slot refused" << std::endl;
    return false;
}

bool LineHolders::Give(int ch, const Slot& slot) {
    const int i = Index(ch);
    if (i < 0 || holders_[static_cast<std::size_t>(i)] != &slot) return false;
    holders_[static_cast<std::size_t>(i)] = nullptr;
    return true;
}

void LineHolders::PutPlace(std::ostream& os, int ch) {
    const Tdm::LinePlace place = Tdm::PlaceOf(ch);
    switch (place.kind) {
        case Tdm::LinePlace::e1:
            os << "trunk " << place.line << " time slot " << place.channel;
            break;
        case Tdm::LinePlace::bri:
            os << "basic-rate line " << place.line << " channel "
               << (place.channel == Tdm::kBriD    ? "D"
                   : place.channel == Tdm::kBriB1 ? "B1"
                                                  : "B2");
            break;
        case Tdm::LinePlace::none:
            os << "channel " << ch;
            break;
    }
}
