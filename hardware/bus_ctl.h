// The TDM bus clock source, selected through /dev/hal on the controller's clockCfg
// and set back to free run whenever a controller connects or leaves. Without
// /dev/hal no SPI framer channel may stay clock master. The command line can turn
// the whole control off: clockCfg is then refused and the clock left alone.
#pragma once

#include <iosfwd>

#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"

class spiCtrl;

class BusCtl : public CtrlSrv::Service {
public:
    static constexpr int kFreeRun = 4;
    static constexpr int kExternal = 5;  // the board's external clock input

    static BusCtl& instance();

    // The daemon uses instance(), which reaches spiCtrl::instance() only when it
    // needs it; tests give their own.
    explicit BusCtl(spiCtrl* spi = nullptr);
    ~BusCtl() override;

    void DisableControl();
    bool IsEnabled() const { return enabled; }

    void OnConnect() override;
    void OnDisconnect() override;
    bool OnCommand(const LGCP::Command& command) override;

    // False when the board could not be told.
    bool Apply(const LGCP::ClockCfg& config);
    static const char* SourceName(int source);
    void PutHeader(std::ostream& os) const;

private:
    bool Open();
    bool Select(int source);
    void ApplyDefault();
    spiCtrl& Spi();

    int fd = -1;
    bool enabled = true;
    spiCtrl* spi_;
};
