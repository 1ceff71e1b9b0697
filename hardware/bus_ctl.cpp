#include "hardware/bus_ctl.h"

#include <fcntl.h>

#include <iostream>

#include "asn1/printer.h"
#include "core/fd.h"
#include "core/output.h"
#include "hardware/board_record.h"
#include "hardware/driver.h"
#include "hardware/hal_requests.h"
#include "hardware/spi_ctrl.h"

namespace Hal = Hardware::Hal;
using Hardware::driver;

BusCtl& BusCtl::instance() {
    static BusCtl bus;
    return bus;
}

BusCtl::BusCtl(spiCtrl* spi) : spi_(spi) {}

BusCtl::~BusCtl() {
    if (fd >= 0) driver().close(fd);
}

spiCtrl& BusCtl::Spi() {
    return spi_ != nullptr ? *spi_ : spiCtrl::instance();
}

void BusCtl::DisableControl() {
    std::clog << "clock control disabled." << std::endl;
    enabled = false;
}

void BusCtl::OnConnect() {
    if (enabled) ApplyDefault();
}

void BusCtl::OnDisconnect() {
    if (enabled) ApplyDefault();
}

bool BusCtl::OnCommand(const LGCP::Command& command) {
    if (!command.clockCfg_isSelected()) return false;
    if (!enabled)
        Error(LGCP::ErrorCause::unsupported);
    else if (Apply(command.get_clockCfg()))
        Success();
    else
        Error(LGCP::ErrorCause::internal);
    return true;
}

bool BusCtl::Open() {
    if (fd >= 0) return true;
    if (!enabled) return false;
    int handle = driver().open(Hal::kPath, O_RDWR);
    if (handle < 0) return false;
    SetCloexec(handle, true);
    fd = handle;
    return true;
}

void BusCtl::ApplyDefault() {
    LGCP::ClockCfg config;
    config.set_clkSel0(LGCP::ClkSel0::internal);
    config.set_bextEn(LGCP::BExtEn::disabled);
    config.set_source(-1);
    Apply(config);
}

bool BusCtl::Apply(const LGCP::ClockCfg& config) {
    if (!Open()) {
        Spi().clock(-1);
        std::cerr << ext::header(this) << "set clock source fail: code 1." << std::endl;
        return false;
    }
    std::cerr << ext::header(this) << "set clock source cmd: " << config << std::endl;
    if (config.get_clkSel0() == LGCP::ClkSel0::internal) return Select(kFreeRun);
    if (config.get_bextEn() == LGCP::BExtEn::disabled) return Select(kExternal);
    int source = config.get_source().getValue();
    // External and enabled without a source: nothing to select, nothing failed.
    return source < 0 || Select(source);
}

bool BusCtl::Select(int source) {
    Hardware::BoardRecord<1> record{source};
    if (driver().ioctl(fd, Hal::HW_CLOCK_SELECT, record.data()) < 0) {
        std::cerr << ext::header(this) << "HW_CLOCK_SELECT fail." << std::endl;
        return false;
    }
    std::cerr << ext::header(this) << "clock source = " << SourceName(source) << std::endl;
    return true;
}

const char* BusCtl::SourceName(int source) {
    static const char* const names[] = {"f0", "f1", "f2", "f3", "freerun", "X3", "?1", "?2"};
    return source >= 0 && source < 8 ? names[source] : "?";
}

void BusCtl::PutHeader(std::ostream& os) const {
    os << "clkctl: ";
}
