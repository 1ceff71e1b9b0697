// The framer channels on the board's SPI bus, driven through register reads and
// writes on /dev/hal: initialised and enabled at start, one of them made clock
// master on request, and each one's line state reported as a trunkStatus signal
// every second while a controller is connected. A /dev/hal without SPI turns the
// service off for good.
#pragma once

#include <array>
#include <cstdint>

#include "core/lasting_condition.h"
#include "core/timer.h"
#include "protocol/ACP.h"
#include "protocol/ctrl_service.h"

class spiCtrl : public CtrlSrv::Service {
public:
    static constexpr int kChannels = 8;
    // Channels initialised and enabled at start: all but the last.
    static constexpr int kStartChannels = 7;
    static constexpr unsigned kStatusPeriod = 1000;  // ms

    // Registers and the values written to them.
    static constexpr unsigned kRegMode = 50;  // 0x80 disabled, 0x00 enabled
    static constexpr unsigned kRegInit = 48;
    static constexpr unsigned kRegStatus = 51;
    static constexpr unsigned kRegLine = 52;
    static constexpr unsigned kRegClock = 87;  // 0x30 slave, 0x38 clock master
    static constexpr unsigned kDisabled = 0x80;
    static constexpr unsigned kEnabled = 0x00;
    static constexpr unsigned kClockSlave = 0x30;
    static constexpr unsigned kClockMaster = 0x38;

    static spiCtrl& instance();

    // Opens /dev/hal and initialises the channels; the daemon uses instance().
    spiCtrl();
    // Disables every channel and gives up clock mastering.
    ~spiCtrl() override;

    void OnConnect() override;
    void OnDisconnect() override { timer.reset(); }
    bool OnCommand(const LGCP::Command&) override { return false; }

    // Channel `ch` becomes clock master; -1: none.
    void clock(int ch);
    // One pass over the channels' line status, then the next in a second.
    void status();

    void write(unsigned channel, unsigned reg, unsigned data);
    // 0 when the read fails.
    unsigned read(unsigned channel, unsigned reg);
    void init_channel(int ch);
    void enable_channel(int ch);
    void disable_channel(int ch);

    bool IsOpen() const { return fd >= 0; }
    bool IsAvailable() const { return available; }
    bool IsPolling() const { return timer.is_running(); }

    // The state a status register value reports.
    static ACP::TrunkState::NamedNumber LineState(unsigned value);

private:
    void init_device_and_channels();
    // The driver has no SPI: nothing is touched from now on.
    void SwitchOff();
    // The checks every channel operation starts with; true when it may go on.
    bool Prepare(int ch, const char* badChannelText);

    int fd = -1;
    Timer timer;
    bool available = true;
    // One per channel: a slip is reported once when it appears on that channel.
    std::array<bool, kChannels> slip{};
    // Failing register reads, by channel << 8 | register.
    LastingConditions<unsigned> readFail;
};
