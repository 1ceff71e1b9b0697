#include "slots/map_slot.h"

#include <ostream>

#include "hardware/tdm_channel.h"

MapFactory& MapFactory::instance() {
    static MapFactory factory;
    return factory;
}

void MapFactory::PutHeader(std::ostream& os) const {
    os << "map: ";
}

int MapFactory::Address(const LGCP::SharedChannel& channel) {
    unsigned bus = channel.get_bus().getValue();
    unsigned slot = channel.get_channel().getValue();
    // A decoded value is range-checked by the coder; one built in code is not.
    if (bus >= static_cast<unsigned>(Tdm::kBuses) || slot >= static_cast<unsigned>(Tdm::kBusTimeSlots))
        return Slot::kNoChannel;
    return Tdm::BusChannel(static_cast<int>(bus), static_cast<int>(slot));
}

Slot* MapFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.map_isSelected()) return nullptr;
    const LGCP::MapParams& map = params.get_map();
    int transmitter = Slot::kNoChannel;
    int receiver = Slot::kNoChannel;
    if (map.transmitter_isPresent()) {
        transmitter = Address(map.get_transmitter());
        if (transmitter == Slot::kNoChannel) return nullptr;
    }
    if (map.receiver_isPresent()) {
        receiver = Address(map.get_receiver());
        if (receiver == Slot::kNoChannel) return nullptr;
    }
    return new MapSlot(this, transmitter, receiver);
}
