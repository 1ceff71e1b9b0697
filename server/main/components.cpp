#include "server/main/components.h"

#include <iostream>

#include "hardware/hw_mux.h"
#include "server/heartbeat_ctl.h"

#if __has_include("slots/slots.h")
#define TAMBORIL_HAVE_SLOTS 1
#include "slots/factories.h"
#include "slots/slots.h"
#endif
#if __has_include("monitoring/monitoring_ctl.h")
#define TAMBORIL_HAVE_MONITORING 1
#include "monitoring/monitoring_ctl.h"
#endif

void CreateComponents(IniFile::File& config) {
#ifdef TAMBORIL_HAVE_SLOTS
    CreateSlotFactories();
#endif
    HwMux::instance();
#ifdef TAMBORIL_HAVE_MONITORING
    MonitoringCtl::instance()->Configure(config);
#else
    (void)config;
#endif
}

void DisableClockControl() {
    // The clock-control service is not part of this build: there is nothing to switch
    // off, and clockCfg is answered with unexpectedMsgType by the server.
}

void BindServices(CtrlSrv::Server& server) {
    server.Bind(HeartBeatCtl::instance());
#ifdef TAMBORIL_HAVE_SLOTS
    server.Bind(Slots::instance());
#endif
#ifdef TAMBORIL_HAVE_MONITORING
    server.Bind(MonitoringCtl::instance());
#endif
}

std::vector<std::string> MissingServices() {
    std::vector<std::string> missing;
#ifndef TAMBORIL_HAVE_SLOTS
    missing.push_back("Slots");
#endif
    missing.insert(missing.end(), {"HwTests", "BusCtl", "E1Ctl", "spiCtrl"});
#ifndef TAMBORIL_HAVE_MONITORING
    missing.push_back("MonitoringCtl");
#endif
    return missing;
}

void UpdateHardwareResources() {
#ifdef TAMBORIL_HAVE_SLOTS
    Slots::instance()->UpdateHardwareResources();
#endif
}
