#include "slots/trunk_slot.h"

#include <algorithm>
#include <array>
#include <iostream>
#include <memory>

#include "core/output.h"
#include "hardware/hw_mux.h"
#include "hardware/line_channels.h"
#include "slots/line_holders.h"

namespace {

// A basic-rate line's create names one of four channels; the line has three.
constexpr unsigned kBriTimeSlots = 4;

std::array<std::unique_ptr<TrunkFactory>, Tdm::kE1Trunks + Tdm::kBriLines>& Factories() {
    static std::array<std::unique_ptr<TrunkFactory>, Tdm::kE1Trunks + Tdm::kBriLines> factories;
    return factories;
}

}  // namespace

TrunkSlot::TrunkSlot(TrunkFactory* factory, int channel, int timeslot)
    : SwitchSlot(factory, channel, channel),
      bri_(factory->kind() == TrunkFactory::Kind::bri),
      timeslot_(timeslot) {}

TrunkSlot::~TrunkSlot() {
    LineHolders::instance().Give(GetTransmitChannel(), *this);
}

const char* TrunkSlot::GetName() const {
    return bri_ ? "trunk_bri" : "trunk";
}

bool TrunkSlot::IDestroy() {
    if (LineHolders::instance().Give(GetTransmitChannel(), *this))
        HwMux::instance().Disable(GetTransmitChannel());
    return true;
}

void TrunkFactory::CreateAll() {
    auto& factories = Factories();
    if (factories[0] != nullptr) return;
    std::size_t i = 0;
    for (int t = 0; t < Tdm::kE1Trunks; ++t) factories[i++].reset(new TrunkFactory(Kind::e1, t));
    for (int l = 0; l < Tdm::kBriLines; ++l) factories[i++].reset(new TrunkFactory(Kind::bri, l));
}

TrunkFactory* TrunkFactory::Of(Kind kind, int trunk) {
    const int count = kind == Kind::e1 ? Tdm::kE1Trunks : Tdm::kBriLines;
    if (trunk < 0 || trunk >= count) return nullptr;
    return Factories()[static_cast<std::size_t>(kind == Kind::e1 ? trunk : Tdm::kE1Trunks + trunk)].get();
}

void TrunkFactory::PutHeader(std::ostream& os) const {
    os << (kind_ == Kind::e1 ? "trunk[" : "trunk_bri[") << trunk_ << "]: ";
}

int TrunkFactory::LineChannel(unsigned timeslot) const {
    if (kind_ == Kind::e1) {
        if (timeslot < static_cast<unsigned>(Tdm::kE1TimeSlots))
            return Tdm::TrunkTimeSlot(trunk_, static_cast<int>(timeslot));
    } else if (timeslot < static_cast<unsigned>(Tdm::kBriChannels)) {
        return Tdm::BriLineChannel(trunk_, static_cast<int>(timeslot));
    } else if (timeslot < kBriTimeSlots) {
        std::clog << ext::header(this) << "time slot " << timeslot << " is no channel of the line"
                  << std::endl;
        return -1;
    }
    std::clog << ext::header(this) << "time slot " << timeslot << " out of range" << std::endl;
    return -1;
}

Slot* TrunkFactory::INewSlot(const LGCP::CreateParams& params) {
    const bool mine = kind_ == Kind::e1 ? params.trunk_isSelected() : params.trunk_bri_isSelected();
    if (!mine) return nullptr;
    const LGCP::TrunkParams& trunk = kind_ == Kind::e1 ? params.get_trunk() : params.get_trunk_bri();
    if (trunk.get_trunk().getValue() != static_cast<unsigned>(trunk_)) return nullptr;
    const unsigned timeslot = trunk.get_timeslot().getValue();
    const int ch = LineChannel(timeslot);
    if (ch < 0) return nullptr;

    LineHolders& holders = LineHolders::instance();
    const auto held = std::find(GetSlots().begin(), GetSlots().end(), holders.Holder(ch));
    if (held != GetSlots().end()) {
        Slot* old = *held;
        std::clog << "trunk-slot: two slots require the same timeslot, remove old." << std::endl;
        std::clog << " old slot " << *old << std::endl;
        if (SlotHost* host = old->GetHost())
            host->RemoveSlot(old);
        else
            delete old;
    }
    auto* slot = new TrunkSlot(this, ch, static_cast<int>(timeslot));
    if (!holders.Take(ch, *slot)) {
        delete slot;
        return nullptr;
    }
    return slot;
}
