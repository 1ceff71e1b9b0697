#include "server/main/components.h"

#include "hardware/hw_mux.h"
#include "monitoring/monitoring_ctl.h"
#include "radio/rtp_ext_factories.h"
#include "server/heartbeat_ctl.h"
#include "slots/ext_slot.h"
#include "slots/map_slot.h"
#include "slots/pending_factories.h"
#include "slots/rtp_factory.h"
#include "slots/slots.h"

void CreateComponents(IniFile::File& config) {
    // Each factory joins the head of the chain: the last made is tried first.
    MapFactory::instance();
    PstnFactory::instance();
    RtpFactory::instance();
    ModemFactory::instance();
    Mixer::MixerFactory::instance();
    ExtFactory::instance();
    MccFactory::instance();
    EchoFactory::instance();
    VoiceFactory::instance();
    T38SoftFactory::instance();
    IsdnFactory::instance();
    RtpLEMZFactory::instance();
    RtpED137Factory::instance();
    HdlcSlotFactory::instance();
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
