#include "hardware/sim/hal_device.h"

#include <cerrno>

#include "hardware/board_record.h"
#include "hardware/hal_requests.h"

namespace Sim {

using Hardware::GetBoardWord;
using Hardware::PutBoardWord;
namespace Hal = Hardware::Hal;

HalDevice::HalDevice() : Device(Hal::kPath) {}

void HalDevice::IReset() {
    ports_.fill(Port{});
    broken_.fill(false);
    clock_ = -1;
    spi_.Reset();
}

int HalDevice::Carried(int ch) const {
    // A loop of sources carries nothing; at most every channel once.
    for (int hops = 0; hops < Tdm::kChannels; ++hops) {
        const Port& port = ports_[ch];
        switch (port.mode) {
            case Mode::disabled:
                return 0xFF;
            case Mode::constant:
                return port.value;
            case Mode::source:
                ch = port.value;
                break;
        }
    }
    return 0xFF;
}

bool HalDevice::Feeds(int src, int dst) const {
    if (!Tdm::IsChannel(dst)) return false;
    for (int hops = 0; hops <= Tdm::kBusChannels; ++hops) {
        const Port& port = ports_[dst];
        if (port.mode != Mode::source) return false;
        if (port.value == src) return true;
        if (!Tdm::IsBusChannel(port.value)) return false;
        dst = port.value;
    }
    return false;
}

int HalDevice::IIoctl(OpenFile&, unsigned long request, void* record, std::size_t) {
    auto* words = static_cast<unsigned char*>(record);
    switch (request) {
        case Hal::MUX_CONNECT:
            return OnConnect(words);
        case Hal::MUX_DISABLE:
            return OnDisable(words);
        case Hal::MUX_WRITE:
            return OnWrite(words);
        case Hal::MUX_READ:
            return OnRead(words);
        case Hal::HW_CLOCK_SELECT:
            return OnClockSelect(words);
        case Hal::SPI_READ:
            return spi_.Read(words);
        case Hal::SPI_WRITE:
            return spi_.Write(words);
        default:
            return -ENOTTY;
    }
}

// {dst, src}
int HalDevice::OnConnect(unsigned char* record) {
    int dst = GetBoardWord(record, 0);
    int src = GetBoardWord(record, 1);
    if (!Tdm::IsChannel(dst) || !Tdm::IsChannel(src)) return -EINVAL;
    ports_[dst] = {Mode::source, src};
    return 0;
}

// {channel}
int HalDevice::OnDisable(unsigned char* record) {
    int ch = GetBoardWord(record, 0);
    if (!Tdm::IsChannel(ch)) return -EINVAL;
    ports_[ch] = {Mode::disabled, 0};
    return 0;
}

// {channel, byte}
int HalDevice::OnWrite(unsigned char* record) {
    int ch = GetBoardWord(record, 0);
    int byte = GetBoardWord(record, 1);
    if (!Tdm::IsChannel(ch) || byte < 0 || byte > 255) return -EINVAL;
    ports_[ch] = {Mode::constant, byte};
    return 0;
}

// {channel, byte}: the byte comes back as the one the channel carries.
int HalDevice::OnRead(unsigned char* record) {
    int ch = GetBoardWord(record, 0);
    if (!Tdm::IsChannel(ch)) return -EINVAL;
    int byte = Carried(ch);
    PutBoardWord(record, 1, broken_[ch] ? byte ^ 0xFF : byte);
    return 0;
}

// {source}: the board has eight sources.
int HalDevice::OnClockSelect(unsigned char* record) {
    int source = GetBoardWord(record, 0);
    if (source < 0 || source > 7) return -EINVAL;
    clock_ = source;
    return 0;
}

}  // namespace Sim
