#include "hardware/spi_ctrl.h"

#include <fcntl.h>

#include <cerrno>
#include <iostream>

#include "core/fd.h"
#include "hardware/driver.h"
#include "hardware/hal_requests.h"

namespace Hal = Hardware::Hal;
using Hardware::driver;

spiCtrl& spiCtrl::instance() {
    static spiCtrl spi;
    return spi;
}

spiCtrl::spiCtrl() {
    init_device_and_channels();
}

spiCtrl::~spiCtrl() {
    if (fd < 0) return;
    timer.reset();
    for (int ch = 0; ch < kChannels; ++ch) disable_channel(ch);
    clock(-1);
    driver().close(fd);
    fd = -1;
}

void spiCtrl::init_device_and_channels() {
    if (fd >= 0 || !available) return;
    std::clog << "spi: try init" << std::endl;
    int handle = driver().open(Hal::kPath, O_RDWR);
    if (handle < 0) {
        std::clog << "spi: /dev/hal open fail" << std::endl;
        return;
    }
    SetCloexec(handle, true);
    fd = handle;
    for (int ch = 0; ch < kStartChannels; ++ch) {
        init_channel(ch);
        enable_channel(ch);
    }
}

// Only the channel operations open the device; a connect polls what they opened.
void spiCtrl::OnConnect() {
    if (fd >= 0 && available) timer.set(kStatusPeriod, &spiCtrl::status, this);
}

bool spiCtrl::Prepare(int ch, const char* badChannelText) {
    if (!available) return false;
    if (ch < 0 || ch >= kChannels) {
        std::clog << badChannelText << ch << std::endl;
        return false;
    }
    init_device_and_channels();
    return fd >= 0 && available;
}

void spiCtrl::init_channel(int ch) {
    if (!Prepare(ch, "spi: bad channel for init ")) return;
    auto c = static_cast<unsigned>(ch);
    write(c, kRegMode, kDisabled);
    write(c, kRegInit, 0x08);
    write(c, kRegClock, kClockSlave);
    write(c, kRegLine, 0x60);
    write(c, 53, 0x00);
    write(c, 54, 0x00);
    write(c, 55, 0x00);
    std::clog << "spi: init channel " << ch << std::endl;
}

void spiCtrl::enable_channel(int ch) {
    if (!Prepare(ch, "spi: bad channel for enable ")) return;
    write(static_cast<unsigned>(ch), kRegMode, kEnabled);
    std::clog << "spi: enable channel " << ch << std::endl;
}

void spiCtrl::disable_channel(int ch) {
    if (!Prepare(ch, "spi: bad channel for disable ")) return;
    write(static_cast<unsigned>(ch), kRegMode, kDisabled);
    std::clog << "spi: disable channel " << ch << std::endl;
}

void spiCtrl::clock(int ch) {
    if (!available) return;
    if (ch < -1 || ch >= kChannels) {
        std::clog << "spi: bad channel for set clock master " << ch << std::endl;
        return;
    }
    init_device_and_channels();
    if (fd < 0) return;
    for (unsigned c = 0; c < kChannels; ++c) write(c, kRegClock, kClockSlave);
    if (ch < 0) {
        std::clog << "spi: clock master disabled" << std::endl;
        return;
    }
    write(static_cast<unsigned>(ch), kRegClock, kClockMaster);
    std::clog << "spi: set clock master on channel " << ch << std::endl;
}

void spiCtrl::SwitchOff() {
    available = false;
    timer.reset();
    std::clog << "spi: hal without spi" << std::endl;
}

void spiCtrl::write(unsigned channel, unsigned reg, unsigned data) {
    if (fd < 0 || !available) return;
    unsigned char record[Hal::kSpiRecordSize] = {static_cast<unsigned char>(channel),
                                                 static_cast<unsigned char>(reg),
                                                 static_cast<unsigned char>(data)};
    if (driver().ioctl(fd, Hal::SPI_WRITE, record) != -1) return;
    if (errno == ENODEV) {
        SwitchOff();
        return;
    }
    std::clog << "spi: write error: channel=" << channel << " addr=" << reg << " data=" << data << std::endl;
}

unsigned spiCtrl::read(unsigned channel, unsigned reg) {
    if (fd < 0 || !available) return 0;
    unsigned char record[Hal::kSpiRecordSize] = {static_cast<unsigned char>(channel),
                                                 static_cast<unsigned char>(reg), 0xFF};
    const unsigned key = channel << 8 | reg;
    int result = driver().ioctl(fd, Hal::SPI_READ, record);
    if (result != -1) {
        readFail.End(key);
        return static_cast<unsigned>(result) & 0xFF;
    }
    if (errno == ENODEV) {
        SwitchOff();
        return 0;
    }
    // The status tick reads each channel's register every second: a register that
    // cannot be read is one lasting condition.
    if (auto line = readFail[key].Occurred(std::clog))
        line << "spi: read error: channel=" << channel << " addr=" << reg;
    return 0;
}

ACP::TrunkState::NamedNumber spiCtrl::LineState(unsigned value) {
    if ((value & 0x01) == 0) return ACP::TrunkState::lossCarrier;
    if ((value & 0x04) == 0) return ACP::TrunkState::lossBF;
    switch (value >> 6 & 3) {
        case 2:
            return ACP::TrunkState::rai;
        case 3:
            return ACP::TrunkState::normal;
        default:
            return ACP::TrunkState::ais;
    }
}

void spiCtrl::status() {
    if (!available) return;
    for (int ch = 0; ch < kChannels; ++ch) {
        unsigned value = read(static_cast<unsigned>(ch), kRegStatus);
        // A driver without SPI reports nothing, not a lost carrier.
        if (!available) return;
        int slips = 0;
        if ((value & 0x20) == 0) {
            slip[ch] = false;
        } else if (!slip[ch]) {
            slip[ch] = true;
            slips = 1;
        }
        LGCP::Signal signal;
        ACP::TrunkStatus& s = signal.select_trunkStatus();
        s.set_trunk(ch);
        s.set_state(LineState(value));
        s.set_slips(slips);
        s.set_lossBF(0);
        s.set_lossCarrier(0);
        s.set_lossAIS(0);
        s.set_lossRAI(0);
        s.set_name("");
        s.set_clockMaster(false);
        s.set_type(ACP::TrunkType::bri);
        SendSignal(signal);
    }
    timer.set(kStatusPeriod, &spiCtrl::status, this);
}
