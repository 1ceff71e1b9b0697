#include "hardware/hw_mux.h"

#include <fcntl.h>
#include <unistd.h>

#include <iostream>

#include "core/errno_text.h"
#include "core/fd.h"
#include "hardware/board_record.h"
#include "hardware/driver.h"
#include "hardware/hal_requests.h"

namespace Hal = Hardware::Hal;
using Hardware::BoardRecord;
using Hardware::driver;

HwMux& HwMux::instance() {
    static HwMux mux;
    return mux;
}

HwMux::HwMux() {
    std::clog << "hwMux: init" << std::endl;
    refresh_.Bind(this, &HwMux::OnDPC);
    IsOpened();
}

HwMux::~HwMux() {
    refresh_.Deactivate();
    if (fd_ >= 0) driver().close(fd_);
}

bool HwMux::IsOpened() {
    if (fd_ >= 0) return true;
    int fd = driver().open(Hal::kPath, O_RDWR);
    if (fd < 0) {
        Errno error;
        std::clog << "hwMux: can't open device: " << error << std::endl;
        return false;
    }
    SetCloexec(fd, true);
    fd_ = fd;
    std::clog << "hwMux: device opened" << std::endl;
    // The bus starts with every output disabled.
    for (int i = 0; i < Tdm::kBusChannels; ++i) {
        BoardRecord<1> rec{Tdm::kBusBase + i};
        driver().ioctl(fd_, Hal::MUX_DISABLE, rec.data());
        outputs_[i] = kDisabled;
    }
    cursor_ = 0;
    refresh_.Activate();
    ::usleep(500);
    return true;
}

void HwMux::Record(int ch, std::uint16_t entry) {
    if (Tdm::IsBusChannel(ch)) outputs_[ch - Tdm::kBusBase] = entry;
}

bool HwMux::Connect(int src, int dst) {
    if (!IsOpened() || src < 0 || dst < 0) {
        std::clog << "hwMux: ERROR not opened" << std::endl;
        return false;
    }
    if (!Holds(src) || !Holds(dst)) {
        std::clog << "hwMux: connect " << src << " -> " << dst << " refused: no such channel" << std::endl;
        return false;
    }
    // The table wants the source whatever the driver answers.
    Record(dst, static_cast<std::uint16_t>(src));
    BoardRecord<2> rec{dst, src};
    if (driver().ioctl(fd_, Hal::MUX_CONNECT, rec.data()) < 0) {
        Errno error;
        std::clog << "hwMux: connect " << src << " -> " << dst << " failed: " << error << std::endl;
        return false;
    }
    return true;
}

bool HwMux::Disconnect(int ch) {
    if (!IsOpened() || ch < 0 || !Holds(ch)) return false;
    Record(ch, kIdle);
    BoardRecord<2> rec{ch, kIdleByte};
    if (driver().ioctl(fd_, Hal::MUX_WRITE, rec.data()) < 0) {
        Errno error;
        std::clog << "hwMux: disconnect failed " << ch << " : " << error << std::endl;
        return false;
    }
    return true;
}

bool HwMux::Disable(int ch) {
    if (!IsOpened() || ch < 0 || !Holds(ch)) return false;
    Record(ch, kDisabled);
    BoardRecord<1> rec{ch};
    if (driver().ioctl(fd_, Hal::MUX_DISABLE, rec.data()) < 0) {
        Errno error;
        std::clog << "hwMux: disable failed " << ch << " : " << error << std::endl;
        return false;
    }
    return true;
}

bool HwMux::Write(int ch, unsigned char byte) {
    if (!IsOpened() || ch < 0 || !Holds(ch)) return false;
    Record(ch, kIdle);
    BoardRecord<2> rec{ch, byte};
    if (driver().ioctl(fd_, Hal::MUX_WRITE, rec.data()) < 0) {
        Errno error;
        std::clog << "hwMux: write failed " << ch << " <- 0x" << std::hex << unsigned{byte} << std::dec
                  << " : " << error << std::endl;
        return false;
    }
    return true;
}

int HwMux::Read(int ch) {
    if (!IsOpened() || ch < 0 || !Holds(ch)) return 255;
    BoardRecord<2> rec{ch, 255};
    if (driver().ioctl(fd_, Hal::MUX_READ, rec.data()) < 0) {
        Errno error;
        std::clog << "hwMux: read failed " << ch << " -> 0x" << std::hex << rec.get(1) << std::dec << " : "
                  << error << std::endl;
        return 255;
    }
    return rec.get(1) & 0xFF;
}

void HwMux::OnDPC() {
    if (fd_ < 0) return;
    for (int n = 0; n < kRefreshPerPass; ++n) {
        if (++cursor_ >= Tdm::kBusChannels) cursor_ = 0;
        if (outputs_[cursor_] != kDisabled) continue;
        BoardRecord<1> rec{static_cast<std::int32_t>(Tdm::kBusBase + cursor_)};
        driver().ioctl(fd_, Hal::MUX_DISABLE, rec.data());
    }
}
