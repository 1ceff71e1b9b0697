#include "hardware/sim/mcc_device.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "hardware/board_record.h"
#include "hardware/mcc_requests.h"
#include "hardware/sim/board.h"
#include "hardware/sim/hal_device.h"

namespace Sim {

namespace Mcc = Hardware::Mcc;

MccDevice::MccDevice(HalDevice& hal)
    : Device(Mcc::kPath), hal_(hal), trunks_(hal, *this), taken_(Tdm::kHdlcChannels, false) {}

void MccDevice::IReset() {
    channels_.clear();
    taken_.assign(Tdm::kHdlcChannels, false);
    trunks_.Reset();
}

void MccDevice::IOpen(OpenFile& file) {
    auto channel = std::make_unique<Channel>();
    channel->file = &file;
    channels_[&file] = std::move(channel);
}

void MccDevice::IRelease(OpenFile& file) {
    auto it = channels_.find(&file);
    if (it == channels_.end()) return;
    if (Tdm::IsHdlcChannel(it->second->tdm)) taken_[it->second->tdm - Tdm::kHdlcBase] = false;
    channels_.erase(it);
}

MccDevice::Channel* MccDevice::channel(int tdm) {
    for (auto& [file, channel] : channels_)
        if (channel->tdm == tdm) return channel.get();
    return nullptr;
}

std::vector<MccDevice::Channel*> MccDevice::channels() {
    std::vector<Channel*> all;
    for (auto& [file, channel] : channels_) all.push_back(channel.get());
    return all;
}

int MccDevice::IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t) {
    Channel& channel = *channels_.at(&file);
    switch (request) {
        case Mcc::MCC_ALLOCATE: {
            auto* words = static_cast<const unsigned char*>(record);
            for (std::size_t i = 0; i < channel.allocate.size(); ++i)
                channel.allocate[i] = Hardware::GetBoardWord(words, i);
            channel.allocated = true;
            return 0;
        }
        case Mcc::MCC_TIMESLOT:
            return OnTimeSlot(channel);
        default:
            return -ENOTTY;
    }
}

// The lowest free channel of the controller's range; the same one when asked again.
int MccDevice::OnTimeSlot(Channel& channel) {
    if (!channel.allocated) return -EINVAL;
    if (channel.tdm >= 0) return channel.tdm;
    for (int i = 0; i < Tdm::kHdlcChannels; ++i) {
        if (taken_[i]) continue;
        taken_[i] = true;
        channel.tdm = Tdm::kHdlcBase + i;
        return channel.tdm;
    }
    return -EBUSY;
}

ssize_t MccDevice::IRead(OpenFile& file, int fd, void* buffer, std::size_t length) {
    Channel& channel = *channels_.at(&file);
    if (channel.read_error != 0) {
        int error = channel.read_error;
        channel.read_error = 0;
        return -error;
    }
    return Device::IRead(file, fd, buffer, length);
}

ssize_t MccDevice::IWriteFrom(OpenFile& file, int fd, const void* buffer, std::size_t length) {
    Channel& channel = *channels_.at(&file);
    if (channel.tdm < 0) return -EINVAL;  // no TDM channel to send on yet
    if (channel.stalled) {
        // The frame waits in the descriptor's queue until the channel drains.
        ssize_t n = ::send(fd, buffer, length, MSG_DONTWAIT | MSG_NOSIGNAL);
        return n < 0 ? -errno : n;
    }
    Transmit(channel, static_cast<const unsigned char*>(buffer), length);
    return static_cast<ssize_t>(length);
}

void MccDevice::Drain(Channel& channel) {
    channel.stalled = false;
    static unsigned char frame[65536];
    for (;;) {
        ssize_t n = ::recv(channel.file->peer, frame, sizeof frame, MSG_DONTWAIT);
        if (n <= 0) break;
        Transmit(channel, frame, static_cast<std::size_t>(n));
    }
}

void MccDevice::Transmit(Channel& from, const unsigned char* frame, std::size_t length) {
    ++from.written;
    for (int i = from.tx.Copies(); i > 0; --i) Switch(from.tdm, frame, length);
}

void MccDevice::Switch(int src, const unsigned char* frame, std::size_t length, int depth) {
    // A channel may be released while a frame is handed on: collect first.
    Channel* targets[Tdm::kHdlcChannels];
    std::size_t count = 0;
    for (auto& [file, channel] : channels_)
        if (channel->tdm >= 0 && hal_.Feeds(src, channel->tdm) && count < Tdm::kHdlcChannels)
            targets[count++] = channel.get();
    for (std::size_t i = 0; i < count; ++i) Receive(*targets[i], frame, length);
    trunks_.Leave(src, frame, length, depth);
}

void MccDevice::Receive(Channel& to, const unsigned char* frame, std::size_t length) {
    for (int i = to.rx.Copies(); i > 0; --i) {
        if (to.file->Post(frame, length))
            ++to.delivered;
        else
            ++to.overflow;
    }
}

Trunks& trunks() {
    return board().device<MccDevice>(Hardware::Mcc::kPath).trunks();
}

}  // namespace Sim
