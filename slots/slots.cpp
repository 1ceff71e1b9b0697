#include "slots/slots.h"

#include <cerrno>
#include <ctime>

#include "slots/slot_factory.h"

Slots::PauseFunction Slots::pause_ = &Slots::Sleep;

Slots& Slots::instance() {
    static Slots slots;
    return slots;
}

Slots::Slots() {
    deleteDpc_.Bind(this, &Slots::OnDpcDelete);
}

Slots::~Slots() {
    for (Slot*& slot : table_) {
        delete slot;
        slot = nullptr;
    }
    OnDpcDelete();
}

Slots::PauseFunction Slots::SetPause(PauseFunction pause) {
    PauseFunction previous = pause_;
    pause_ = pause != nullptr ? pause : &Slots::Sleep;
    return previous;
}

void Slots::Sleep(unsigned ms) {
    timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

Slot* Slots::Find(int number) const {
    if (number < 0 || number >= kSlots) return nullptr;
    return table_[static_cast<std::size_t>(number)];
}

std::size_t Slots::Count() const {
    std::size_t n = 0;
    for (Slot* slot : table_)
        if (slot != nullptr) ++n;
    return n;
}

bool Slots::OnCommand(const LGCP::Command& command) {
    if (!IsSlotPresent()) {
        if (!command.query_isSelected()) return false;
        CmdQuery();
        return true;
    }
    switch (command.currentSelection()) {
        case 2:
            CmdConnect(command.get_connect().getValue());
            return true;
        case 3:
            CmdDisconnect();
            return true;
        case 4:
            CmdCreate(command.get_create());
            return true;
        case 5:
            CmdDestroy();
            return true;
        case 6:
            CmdActivate(command.get_activate());
            return true;
        case 7:
            CmdDeactivate();
            return true;
        case 8:
            CmdUserData(command.get_userData());
            return true;
        case 9:
            CmdIoctl(command.get_ioctl());
            return true;
        default:
            return false;
    }
}

void Slots::OnSignal(const LGCP::Signal& signal) {
    if (!signal.trunkStatus_isSelected()) return;
    for (SlotFactory* f = SlotFactory::First(); f != nullptr; f = f->Next()) f->SelfSignal(signal);
}

Slot* Slots::Addressed() {
    Slot* slot = Find(GetSlot());
    if (slot == nullptr) Error(LGCP::ErrorCause::slotNotExists);
    return slot;
}

void Slots::CmdQuery() {
    Success();
    UpdateHardwareResources();
}

void Slots::CmdConnect(unsigned target) {
    if (target >= static_cast<unsigned>(kSlots)) {
        Error(LGCP::ErrorCause::invalidSlot);
        return;
    }
    Slot* slot = Find(GetSlot());
    Slot* source = Find(static_cast<int>(target));
    if (slot == nullptr || source == nullptr) {
        Error(LGCP::ErrorCause::slotNotExists);
        return;
    }
    if (!slot->SetSource(source)) {
        Error(LGCP::ErrorCause::connectFail);
        return;
    }
    Success();
}

void Slots::CmdDisconnect() {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (!slot->RemoveSource()) {
        Error(LGCP::ErrorCause::disconnectFail);
        return;
    }
    Success();
}

void Slots::CmdCreate(const LGCP::CreateParams& params) {
    int number = GetSlot();
    Slot* old = Find(number);
    if (old != nullptr) {
        if (old->IsReleasing()) {
            Error(LGCP::ErrorCause::destroyInProgress);
            return;
        }
        // Replaced without an answer of its own.
        Release(old);
        if (Find(number) != nullptr) {
            Error(LGCP::ErrorCause::slotIdBusy);
            return;
        }
    }
    Slot* slot = nullptr;
    for (SlotFactory* f = SlotFactory::First(); f != nullptr && slot == nullptr; f = f->Next())
        slot = f->NewSlot(params);
    if (slot == nullptr) {
        Error(LGCP::ErrorCause::insufficientResources);
        return;
    }
    slot->Install(this, number);
    table_[static_cast<std::size_t>(number)] = slot;
    Success();
    slot->IAfterCreate();
}

void Slots::CmdDestroy() {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (slot->IsReleasing()) {
        Error(LGCP::ErrorCause::destroyInProgress);
        return;
    }
    if (Release(slot)) {
        Success();
        return;
    }
    bool seqPresent = IsSeqPresent();
    int seq = delayResponse();
    slot->KeepDestroySeq(seqPresent, seq);
}

bool Slots::Release(Slot* slot) {
    slot->SetReleasing();
    slot->Isolate();
    destroying_ = slot;
    releasedDuringDestroy_ = false;
    bool done = slot->IDestroy();
    destroying_ = nullptr;
    if (releasedDuringDestroy_) {
        // It reported from inside its own hook: delete it from the loop.
        Remove(slot);
        DeleteLater(slot);
        return true;
    }
    if (!done) return false;
    Remove(slot);
    delete slot;
    return true;
}

void Slots::RemoveSlot(Slot* slot) {
    if (Find(slot->GetNumber()) != slot || slot->IsReleasing()) return;
    Release(slot);
}

void Slots::Remove(Slot* slot) {
    int number = slot->GetNumber();
    if (Find(number) == slot) table_[static_cast<std::size_t>(number)] = nullptr;
}

void Slots::OnSlotReleased(Slot* slot) {
    if (slot == destroying_) {
        releasedDuringDestroy_ = true;
        return;
    }
    if (!slot->IsReleasing() || Find(slot->GetNumber()) != slot) return;
    Remove(slot);
    if (slot->IsDestroyAnswerPending()) {
        unsigned number = static_cast<unsigned>(slot->GetNumber());
        if (slot->IsDestroySeqPresent())
            delayedSuccess(number, static_cast<unsigned>(slot->GetDestroySeq()));
        else
            delayedSuccess(number);
    }
    // The slot is inside its own callback: it goes from the loop.
    DeleteLater(slot);
}

void Slots::DeleteLater(Slot* slot) {
    released_.push_back(slot);
    deleteDpc_.Activate();
}

void Slots::OnDpcDelete() {
    deleteDpc_.Deactivate();
    std::vector<Slot*> gone;
    gone.swap(released_);
    for (Slot* slot : gone) delete slot;
}

void Slots::CmdActivate(const TERM::TermActivateParams& params) {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (slot->IActivate(params))
        Success();
    else
        Error(LGCP::ErrorCause::unsupported);
}

void Slots::CmdDeactivate() {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (slot->IDeactivate())
        Success();
    else
        Error(LGCP::ErrorCause::unsupported);
}

void Slots::CmdUserData(const ASN1::OCTET_STRING& data) {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (slot->IUserData(data))
        Success();
    else
        Error(LGCP::ErrorCause::unsupported);
}

void Slots::CmdIoctl(const LGCP::IoctlParams& params) {
    Slot* slot = Addressed();
    if (slot == nullptr) return;
    if (slot->Ioctl(params))
        Success();
    else
        Error(LGCP::ErrorCause::unsupported);
}

LGCP::Resources Slots::CollectResources() const {
    LGCP::Resources resources;
    resources.set_boardMajor(0);
    resources.set_boardMinor(0);
    resources.set_rtp_g729(0);
    resources.set_rtp_g723(0);
    resources.set_rtp_g711(0);
    resources.set_rtp_g711mcc(0);
    resources.set_modem(0);
    resources.set_mux(true);
    resources.set_mcc_data(0);
    resources.set_mcc_bri(0);
    resources.set_mcc_trans(0);
    resources.set_t38_instances(0);
    resources.set_digital_modems(0);
    resources.set_lin16(0);
    resources.set_universal(0);
    for (SlotFactory* f = SlotFactory::First(); f != nullptr; f = f->Next()) f->Query(resources);
    return resources;
}

void Slots::UpdateHardwareResources() {
    SendSignal(LGCP::Signal(LGCP::Signal::query::id, CollectResources()));
}

void Slots::SendSlotSignal(unsigned slot, const LGCP::Signal& signal) {
    SendSignal(slot, signal);
}

void Slots::OnDisconnect() {
    for (Slot* slot : table_)
        if (slot != nullptr && !slot->IsReleasing()) Release(slot);
    pause_(kReleasePause);
    for (Slot*& slot : table_) {
        delete slot;
        slot = nullptr;
    }
    OnDpcDelete();
}
