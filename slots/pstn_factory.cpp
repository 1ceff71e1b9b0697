#include "slots/pstn_factory.h"

#include <iostream>

#include "core/output.h"
#include "slots/pstn_slot.h"
#include "slots/slot.h"

PstnFactory& PstnFactory::instance() {
    static PstnFactory factory;
    return factory;
}

Slot* PstnFactory::INewSlot(const LGCP::CreateParams& params) {
    if (!params.pstn_isSelected()) return nullptr;
    const LGCP::PstnParams& pstn = params.get_pstn();
    if (pstn.ss7_isSelected()) return PstnSlot::NewSs7(this, pstn.get_ss7());
    if (pstn.isdn_isSelected()) return PstnSlot::NewIsdn(this, pstn.get_isdn());
    std::clog << ext::header(this) << "CAS signalling is not made here" << std::endl;
    return nullptr;
}

void PstnFactory::SelfSignal(const LGCP::Signal& signal) {
    if (!signal.trunkStatus_isSelected()) return;
    const ACP::TrunkStatus& status = signal.get_trunkStatus();
    const auto type = static_cast<ACP::TrunkType::NamedNumber>(status.get_type().asInt());
    const int trunk = status.get_trunk().getValue();
    const int state = status.get_state().asInt();
    // A slot may go while the list is walked only through a command, never here.
    for (Slot* slot : GetSlots()) slot->OnTrunkStatus(type, trunk, state);
}
