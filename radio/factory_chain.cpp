#include "radio/factory_chain.h"

#include "radio/rtp_ext_factories.h"
#include "slots/ext_slot.h"
#include "slots/hdlc_slot.h"
#include "slots/map_slot.h"
#include "slots/modem_factory.h"
#include "slots/pending_factories.h"
#include "slots/pstn_factory.h"
#include "slots/rtp_factory.h"

void CreateSlotFactories() {
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
}
