#include "slots/slot.h"

#include <algorithm>
#include <iomanip>
#include <ostream>

#include "hardware/hw_mux.h"
#include "slots/slot_factory.h"

Slot::Slot(SlotFactory* factory) : factory_(factory) {}

Slot::~Slot() {
    Isolate();
    if (factory_ != nullptr) factory_->Forget(this);
}

void Slot::Install(SlotHost* host, int number) {
    host_ = host;
    number_ = number;
}

bool Slot::SetSource(Slot* source) {
    int src = source->GetTransmitChannel();
    int dst = GetReceiveChannel();
    if (src == kNoChannel || dst == kNoChannel) return false;
    if (!HwMux::instance().Connect(src, dst)) return false;
    if (source_ != nullptr && source_ != source) source_->sinks_.remove(this);
    if (source_ != source) source->sinks_.push_back(this);
    source_ = source;
    return true;
}

bool Slot::RemoveSource() {
    if (source_ == nullptr) return true;
    // The connection is gone from our side whatever the switch says.
    source_->sinks_.remove(this);
    source_ = nullptr;
    return HwMux::instance().Disconnect(GetReceiveChannel());
}

void Slot::Isolate() {
    if (source_ != nullptr) RemoveSource();
    while (!sinks_.empty()) sinks_.front()->RemoveSource();
}

void Slot::SendSignal(const LGCP::Signal& signal) {
    if (host_ != nullptr && number_ >= 0) host_->SendSlotSignal(static_cast<unsigned>(number_), signal);
}

void Slot::OnIoctlResponse(const LGCP::IoctlResponse& response) {
    SendSignal(LGCP::Signal(LGCP::Signal::ioctl::id, response));
}

namespace {

LGCP::Stream StreamValue(Slot::Stream state, int channel) {
    LGCP::Stream s;
    if (state == Slot::Stream::active)
        s.select_active(channel);
    else
        s.select_inactive();
    return s;
}

}  // namespace

void Slot::OnChangeInputStream(Stream state, int channel) {
    if (state == input_) return;
    input_ = state;
    SendSignal(LGCP::Signal(LGCP::Signal::receiver::id, StreamValue(state, channel)));
}

void Slot::OnChangeOutputStream(Stream state, int channel) {
    if (state == output_) return;
    output_ = state;
    SendSignal(LGCP::Signal(LGCP::Signal::transmitter::id, StreamValue(state, channel)));
}

void Slot::Released() {
    if (host_ != nullptr) host_->OnSlotReleased(this);
}

void Slot::Put(std::ostream& os) const {
    if (number_ == kNoNumber) {
        os << "na";
    } else if (number_ >= 0 && number_ <= 1023) {
        char fill = os.fill('0');
        os << std::setw(2) << number_;
        os.fill(fill);
    } else {
        os << 'i' << number_;
    }
    os << ':' << GetName();
}

std::ostream& operator<<(std::ostream& os, const Slot& slot) {
    slot.Put(os);
    return os;
}
