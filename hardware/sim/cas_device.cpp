#include "hardware/sim/cas_device.h"

#include <cerrno>
#include <cstdint>
#include <utility>

#include "hardware/board_record.h"

namespace Sim {

namespace Cas = Hardware::Cas;

CasDevice::CasDevice() : BroadcastDevice(Cas::kPath) {}

void CasDevice::IReset() {
    trunks_.fill(false);
    for (Trunk& t : slots_) t.fill(TimeSlot{});
    ForgetOpens();
    read_error_ = 0;
}

int CasDevice::IIoctl(OpenFile&, unsigned long request, void* record, std::size_t) {
    auto* bytes = static_cast<unsigned char*>(record);
    // Trunk numbers come by value: the board hands them over as a record's first word.
    switch (request) {
        case Cas::CAS_OPEN_TRUNK:
            return OnOpenTrunk(Hardware::GetBoardWord(bytes, 0));
        case Cas::CAS_CLOSE_TRUNK:
            return OnCloseTrunk(Hardware::GetBoardWord(bytes, 0));
        case Cas::CAS_CONFIGURE:
            return OnConfigure(bytes);
        case Cas::CAS_SET:
            return OnSet(bytes);
        case Cas::CAS_GET:
            return OnGet(bytes);
        default:
            return -ENOTTY;
    }
}

ssize_t CasDevice::IRead(OpenFile& file, int fd, void* buffer, std::size_t length) {
    if (read_error_ != 0) return -std::exchange(read_error_, 0);
    return Device::IRead(file, fd, buffer, length);
}

int CasDevice::Check(int trunk, int ts, bool needOpenSlot) const {
    if (trunk < 0 || trunk >= Cas::kTrunks) return -EINVAL;
    if (ts <= Cas::kFramingSlot || ts >= Cas::kTimeSlots || ts == Cas::kSignallingSlot) return -EINVAL;
    if (!trunks_[trunk]) return -ENODEV;
    if (needOpenSlot && !slots_[trunk][ts].open) return -EBADF;
    return 0;
}

int CasDevice::OnOpenTrunk(int trunk) {
    if (trunk < 0 || trunk >= Cas::kTrunks) return -EINVAL;
    trunks_[trunk] = true;
    return 0;
}

// Closing a trunk closes its time slots.
int CasDevice::OnCloseTrunk(int trunk) {
    if (trunk < 0 || trunk >= Cas::kTrunks) return -EINVAL;
    if (!trunks_[trunk]) return -ENODEV;
    trunks_[trunk] = false;
    for (TimeSlot& slot : slots_[trunk]) {
        slot.open = false;
        slot.tx = 0;
    }
    return 0;
}

int CasDevice::OnConfigure(unsigned char* record) {
    Cas::Channel c = Cas::GetChannel(record);
    if (int error = Check(c.path, c.timeslot, false)) return error;
    TimeSlot& slot = slots_[c.path][c.timeslot];
    slot.open = !Cas::GetConfigClose(record);
    slot.tx = slot.open ? c.tx & 0x0F : 0;
    return 0;
}

int CasDevice::OnSet(unsigned char* record) {
    Cas::Channel c = Cas::GetChannel(record);
    if (int error = Check(c.path, c.timeslot, true)) return error;
    slots_[c.path][c.timeslot].tx = c.tx & 0x0F;
    return 0;
}

int CasDevice::OnGet(unsigned char* record) {
    Cas::Channel c = Cas::GetChannel(record);
    if (int error = Check(c.path, c.timeslot, true)) return error;
    const TimeSlot& slot = slots_[c.path][c.timeslot];
    c.rx = slot.rx;
    c.tx = slot.tx;
    Cas::PutChannel(record, c);
    return 0;
}

int CasDevice::FarEnd(int trunk, int ts, std::uint8_t rx) {
    TimeSlot& slot = slots_[trunk][ts];
    slot.rx = rx & 0x0F;
    if (!trunks_[trunk] || !slot.open) return 0;
    unsigned char record[Cas::kChannelSize];
    Cas::PutChannel(record, Cas::Channel{trunk, ts, slot.rx, slot.tx});
    return Broadcast(record, sizeof(record));
}

}  // namespace Sim
