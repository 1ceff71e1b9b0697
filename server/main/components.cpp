#include "server/main/components.h"

#include "hardware/bus_ctl.h"
#include "hardware/e1_ctl.h"
#include "hardware/hw_mux.h"
#include "hardware/hw_tests.h"
#include "hardware/spi_ctrl.h"
#include "monitoring/monitoring_ctl.h"
#include "radio/factory_chain.h"
#include "server/heartbeat_ctl.h"
#include "slots/slots.h"
#include "slots/trunk_slot.h"

void CreateComponents(IniFile::File& config) {
    // First, so that they stand at the tail of the chain and are tried last.
    TrunkFactory::CreateAll();
    CreateSlotFactories();
    HwMux::instance();
    MonitoringCtl::instance().Configure(config);
}

void DisableClockControl() {
    BusCtl::instance().DisableControl();
}

void BindServices(CtrlSrv::Server& server) {
    server.Bind(HeartBeatCtl::instance());
    server.Bind(&Slots::instance());
    server.Bind(&HwTests::instance());
    server.Bind(&BusCtl::instance());
    server.Bind(&E1Ctl::instance());
    server.Bind(&spiCtrl::instance());
    server.Bind(&MonitoringCtl::instance());
}

void UpdateHardwareResources() {
    Slots::instance().UpdateHardwareResources();
}
