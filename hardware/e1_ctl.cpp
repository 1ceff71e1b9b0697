#include "hardware/e1_ctl.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <cstdint>
#include <iostream>

#include "core/errno_text.h"
#include "core/output.h"
#include "hardware/board_record.h"
#include "hardware/device_names.h"
#include "hardware/driver.h"

namespace M = Hardware::Maintenance;
namespace Cas = Hardware::Cas;
using Hardware::driver;

E1Ctl& E1Ctl::instance() {
    static E1Ctl e1;
    return e1;
}

E1Ctl::~E1Ctl() {
    ReleaseCas();
    if (maintenance >= 0) driver().close(maintenance);
}

void E1Ctl::OnConnect() {
    SendStatus();
    SetTimer();
    tclkMask = 0;
    WriteTclk();
    CheckOpenCas();
}

bool E1Ctl::OnCommand(const LGCP::Command& command) {
    if (command.ioctl_isSelected()) {
        const LGCP::IoctlParams& params = command.get_ioctl();
        if (params.cas_isSelected()) HandleCas(params.get_cas());
        Success();
        return true;
    }
    if (command.trunkCfg_isSelected()) {
        SetTclk(command.get_trunkCfg());
        Success();
        return true;
    }
    return false;
}

bool E1Ctl::OpenMaintenance() {
    if (maintenance >= 0) return true;
    int handle = driver().open(GetMaintenance(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) return false;
    SetCloexec(handle, true);
    maintenance = handle;
    return true;
}

void E1Ctl::SetTimer() {
    statusTimer.set(kStatusPeriod, &E1Ctl::OnCheckStatus, this);
}

void E1Ctl::OnCheckStatus(Timer*) {
    SendStatus();
    // A device reopened on the last tick that is still open has read without failing.
    if (cas.is_valid()) casReadFail.EndAll();
    CheckOpenCas();
    SetTimer();
}

void E1Ctl::SendStatus() {
    if (!OpenMaintenance()) return;
    for (int trunk = 0; trunk < kTrunks; ++trunk) {
        Hardware::BoardRecord<M::kStatusWords> record;
        record.set(M::kTrunkWord, trunk);
        if (driver().ioctl(maintenance, M::E1_GET_STATUS, record.data()) < 0) {
            // A framer that cannot be read fails again on every tick.
            Errno error;
            if (auto line = statusReadFail[trunk].OccurredAlone(error.text(), std::cerr))
                line << ext::header(this) << "synchronization status read fail, trunk = " << trunk
                     << " cause = " << error;
            continue;
        }
        statusReadFail[trunk].EndAll();
        int state = record.get(M::kStateWord);
        // The signal cannot carry a state the framer should not report.
        if (state < ACP::TrunkState::normal || state > ACP::TrunkState::disabled)
            state = ACP::TrunkState::unknown;
        LGCP::Signal signal;
        ACP::TrunkStatus& s = signal.select_trunkStatus();
        s.set_trunk(trunk);
        s.set_state(static_cast<ACP::TrunkState::NamedNumber>(state));
        s.set_slips(record.get(M::kSlipsWord));
        s.set_lossBF(record.get(M::kLossBFWord));
        s.set_lossCarrier(record.get(M::kLossCarrierWord));
        s.set_lossAIS(record.get(M::kLossAISWord));
        s.set_lossRAI(record.get(M::kLossRAIWord));
        s.set_name("");
        s.set_clockMaster(false);
        s.set_type(ACP::TrunkType::e1);
        SendSignal(signal);
    }
}

void E1Ctl::SetTclk(const LGCP::TrunkCfg& config) {
    int trunk = config.get_trunk().getValue();
    if (trunk < 0) return;
    if (trunk >= kTclkBits) {
        std::cerr << ext::header(this) << "TCLK: no bit for trunk " << trunk << ", ignored" << std::endl;
        return;
    }
    const std::uint32_t bit = std::uint32_t{1} << trunk;
    if (config.get_mode() == LGCP::TrunkMode::slave)
        tclkMask |= bit;
    else
        tclkMask &= ~bit;
    WriteTclk();
}

void E1Ctl::WriteTclk() {
    if (!OpenMaintenance()) return;
    if (driver().ioctl_value(maintenance, M::E1_SET_TCLK, tclkMask) < 0) {
        Errno error;
        std::cerr << ext::header(this) << "fail to set TCLK [cause=" << error << "]" << std::endl;
        return;
    }
    std::clog << ext::header(this) << "TCLT = 0x" << std::hex << tclkMask << std::dec << std::endl;
}

bool E1Ctl::CheckOpenCas() {
    if (cas.is_valid()) return true;
    int handle = driver().open(Cas::kPath, O_RDWR | O_NONBLOCK);
    if (handle < 0) return false;
    cas = Fd(handle);
    // Reopening a device that keeps failing is part of that condition.
    if (!casReadFail.AnyOn()) std::clog << ext::header(this) << "cas interface opened!" << std::endl;
    casEvent.Bind("E1/Cas", &E1Ctl::OnUpdateCas, this);
    casEvent.Schedule(cas, POLLIN);
    return true;
}

void E1Ctl::ReleaseCas() {
    casEvent.Release();
    cas.close();
}

// The driver queues one record per change; a read takes one.
void E1Ctl::OnUpdateCas(int fd, short revents) {
    if (!(revents & (POLLIN | POLLERR | POLLHUP | POLLNVAL))) return;
    for (int n = 0; n < kRecordsPerEvent; ++n) {
        unsigned char record[Cas::kChannelSize];
        ssize_t got = driver().read(fd, record, sizeof(record));
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            // A driver in error reports it on every poll: with nothing read the device rests.
            if (n == 0) casEvent.NothingRead(revents, ext::header(this), "cas interface ");
            return;
        }
        if (got <= 0) {
            // Read again it would fail again on every pass: the next tick opens anew, and
            // a device that keeps failing does so once a second.
            Errno error(got == 0 ? EPIPE : errno);
            if (auto line = casReadFail.OccurredAlone(error.text(), std::cerr))
                line << ext::header(this) << "cas interface read fail: " << error << ", closed";
            ReleaseCas();
            return;
        }
        casEvent.DataRead();
        if (got != static_cast<ssize_t>(Cas::kChannelSize)) continue;
        Cas::Channel c = Cas::GetChannel(record);
        SendCas(c.path, c.timeslot, c.rx, c.tx);
    }
}

void E1Ctl::SendCas(int path, int timeslot, int rx, int tx) {
    LGCP::Signal signal;
    LGCP::CasSignalling& s = signal.select_cas();
    s.set_channel().set_path(path);
    s.ref_channel().set_timeslot(timeslot);
    s.set_rx(rx);
    s.set_tx(tx);
    SendSignal(signal);
}

int E1Ctl::CasValueRequest(unsigned long request, int value) {
    return driver().ioctl_value(cas.lowlevel_fd(), request, static_cast<unsigned long>(value));
}

void E1Ctl::HandleCas(const LGCP::CasCommand& command) {
    if (!CheckOpenCas()) return;
    int path = command.get_channel().get_path().getValue();
    int timeslot = command.get_channel().get_timeslot().getValue();
    const LGCP::CasCommandSignal& cmd = command.get_cmd();
    if (cmd.open_isSelected())
        CasOpen(path, timeslot, cmd.get_open().getValue());
    else if (cmd.close_isSelected())
        CasClose(path, timeslot);
    else if (cmd.set_isSelected())
        CasSet(path, timeslot, cmd.get_set().getValue());
    else if (cmd.get_isSelected() && path >= 0 && path < kTrunks && casTrunk[path])
        CasReport(path, timeslot);
}

void E1Ctl::CasOpen(int path, int timeslot, int bits) {
    if (path < 0 || path >= kTrunks) return;
    if (casTrunk[path]) {
        SendCas(path, 0, 0, 0);
    } else {
        int r = CasValueRequest(Cas::CAS_OPEN_TRUNK, path);
        SendCas(path, 0, r, 0);
        if (r < 0) {
            std::clog << ext::header(this) << "open cas signalling on trunk(" << path << ") - fail(" << r
                      << ")" << std::endl;
            return;
        }
        std::clog << ext::header(this) << "open cas signalling on trunk(" << path << ") - ok" << std::endl;
        casTrunk[path] = 1;
    }
    if (timeslot == Cas::kFramingSlot || timeslot == Cas::kSignallingSlot) return;
    unsigned char record[Cas::kConfigSize];
    Cas::PutConfig(record, Cas::Channel{path, timeslot, 0, static_cast<std::uint8_t>(bits & 0x0F)}, false);
    int r = driver().ioctl(cas.lowlevel_fd(), Cas::CAS_CONFIGURE, record);
    if (r < 0) {
        SendCas(path, timeslot, r, 0);
        return;
    }
    CasReport(path, timeslot);
}

void E1Ctl::CasClose(int path, int timeslot) {
    if (path < 0 || path >= kTrunks || !casTrunk[path]) return;
    if (timeslot == Cas::kFramingSlot) {
        int r = CasValueRequest(Cas::CAS_CLOSE_TRUNK, path);
        if (r == 0) r = 1;
        SendCas(path, 0, r, 0);
        if (r >= 0) casTrunk[path] = 0;
        return;
    }
    if (timeslot == Cas::kSignallingSlot) return;
    unsigned char record[Cas::kConfigSize];
    Cas::PutConfig(record, Cas::Channel{path, timeslot, 0, 0}, true);
    int r = driver().ioctl(cas.lowlevel_fd(), Cas::CAS_CONFIGURE, record);
    if (r < 0)
        SendCas(path, timeslot, r, 0);
    else
        SendCas(path, timeslot, -1, 1);
}

void E1Ctl::CasSet(int path, int timeslot, int bits) {
    if (path < 0 || path >= kTrunks || !casTrunk[path]) return;
    unsigned char record[Cas::kChannelSize];
    Cas::PutChannel(record, Cas::Channel{path, timeslot, 0, static_cast<std::uint8_t>(bits & 0x0F)});
    int r = driver().ioctl(cas.lowlevel_fd(), Cas::CAS_SET, record);
    if (r < 0) {
        SendCas(path, timeslot, r, 0);
        return;
    }
    CasReport(path, timeslot);
}

void E1Ctl::CasReport(int path, int timeslot) {
    unsigned char record[Cas::kChannelSize];
    Cas::PutChannel(record, Cas::Channel{path, timeslot, 0, 0});
    int r = driver().ioctl(cas.lowlevel_fd(), Cas::CAS_GET, record);
    if (r < 0) {
        SendCas(path, timeslot, r, 0);
        return;
    }
    Cas::Channel c = Cas::GetChannel(record);
    SendCas(path, timeslot, c.rx, c.tx);
}

void E1Ctl::PutHeader(std::ostream& os) const {
    os << "E1: ";
}
