#include "slots/ext_slot.h"

#include <iostream>

#include "core/output.h"
#include "hardware/tdm_channel.h"

ExtFactory& ExtFactory::instance() {
    static ExtFactory factory;
    return factory;
}

void ExtFactory::PutHeader(std::ostream& os) const {
    os << "ext: ";
}

int ExtFactory::Address(int value) {
    // Compared before adding, so that no value overflows.
    if (value < 0 || value >= Tdm::kBusChannels) return Slot::kNoChannel;
    return Tdm::kBusBase + value;
}

Slot* ExtFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.ext_isSelected()) return nullptr;
    const LGCP::ExtParams& ext = params.get_ext();
    int transmitter = Address(ext.get_transmitter().getValue());
    int receiver = Address(ext.get_receiver().getValue());
    if (transmitter == Slot::kNoChannel || receiver == Slot::kNoChannel) {
        std::clog << ext::header(this)
                  << "channel out of range: transmitter=" << ext.get_transmitter().getValue()
                  << " receiver=" << ext.get_receiver().getValue() << std::endl;
        return nullptr;
    }
    return new ExtSlot(this, transmitter, receiver);
}
