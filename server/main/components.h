// The daemon's components: created in start-up order, bound to the control server in
// bind order.
#pragma once

#include "config/ini_file.h"
#include "server/ctrl_server.h"

// The trunk factories, the other slot factories, the TDM switch and the monitoring
// service (configured from the whole configuration), in this order.
void CreateComponents(IniFile::File& config);
// Clock configuration commands are then answered with unsupported.
void DisableClockControl();
// HeartBeatCtl, Slots, HwTests, BusCtl, E1Ctl, spiCtrl, MonitoringCtl.
void BindServices(CtrlSrv::Server& server);
// SIGHUP: the slots service recounts the board's resources and sends a query signal.
void UpdateHardwareResources();
