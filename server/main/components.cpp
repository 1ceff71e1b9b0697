#include "server/main/components.h"

#include "hardware/hw_mux.h"
#include "monitoring/monitoring_ctl.h"
#include "radio/factory_chain.h"
#include "server/heartbeat_ctl.h"
#include "slots/slots.h"

void CreateComponents(IniFile::File& config) {
    CreateSlotFactories();
    HwMux::instance();
    MonitoringCtl::instance().Configure(config);
}

void DisableClockControl() {
    // The clock-control service is not part of this build yet: there is nothing to
    // switch off, and clockCfg is answered with unexpectedMsgType by the server.
}

void BindServices(CtrlSrv::Server& server) {
    server.Bind(HeartBeatCtl::instance());
    server.Bind(&Slots::instance());
    // HwTests, BusCtl, E1Ctl and spiCtrl come here once they are built.
    server.Bind(&MonitoringCtl::instance());
}

void UpdateHardwareResources() {
    Slots::instance().UpdateHardwareResources();
}
