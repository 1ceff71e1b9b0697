// The board's four E1 trunks: their framers' synchronisation status, polled every
// second from the first controller connect on and sent as trunkStatus signals; the
// TCLK mask the controller sets per trunk; and channel-associated signalling, which
// the controller opens per trunk and time slot through an ioctl without slot number
// and whose changes the driver reports, each sent as a cas signal.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>

#include "core/event.h"
#include "core/fd.h"
#include "core/lasting_condition.h"
#include "core/timer.h"
#include "hardware/e1_requests.h"
#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"

class E1Ctl : public CtrlSrv::Service {
public:
    static constexpr unsigned kStatusPeriod = 1000;  // ms
    static constexpr int kTrunks = Hardware::Maintenance::kTrunks;
    static constexpr int kTclkBits = 32;
    // Change records taken from the driver in one service of its descriptor.
    static constexpr int kRecordsPerEvent = 32;

    static E1Ctl& instance();

    // The daemon uses instance(); tests build their own.
    E1Ctl() = default;
    ~E1Ctl() override;

    void OnConnect() override;
    // The status keeps going to the other services after the controller left.
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command& command) override;

    void SendStatus();
    void SetTclk(const LGCP::TrunkCfg& config);
    void HandleCas(const LGCP::CasCommand& command);
    bool CheckOpenCas();

    std::uint32_t tclk() const { return tclkMask; }
    bool IsCasOpen() const { return cas.is_valid(); }
    bool IsTrunkCasOpen(int trunk) const { return casTrunk[trunk] != 0; }
    bool IsPolling() const { return statusTimer.is_running(); }

    void PutHeader(std::ostream& os) const;

private:
    bool OpenMaintenance();
    void WriteTclk();
    // Arms the next status tick.
    void SetTimer();
    void OnCheckStatus(Timer*);
    void OnUpdateCas(int fd, short revents);
    void ReleaseCas();

    void CasOpen(int path, int timeslot, int bits);
    void CasClose(int path, int timeslot);
    void CasSet(int path, int timeslot, int bits);
    // CAS_GET and its report.
    void CasReport(int path, int timeslot);
    void SendCas(int path, int timeslot, int rx, int tx);
    // The driver's result of a request whose argument is the value itself.
    int CasValueRequest(unsigned long request, int value);

    int maintenance = -1;
    Timer statusTimer;
    Fd cas;
    Event casEvent;
    std::array<std::uint32_t, kTrunks> casTrunk{};
    std::uint32_t tclkMask = 0;
    // Lasting failures of the periodic status reads, per trunk, and of CAS reads,
    // per cause: a cause that changes is written at once.
    std::array<LastingConditions<>, kTrunks> statusReadFail;
    LastingConditions<> casReadFail;
};
