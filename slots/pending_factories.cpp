#include "slots/pending_factories.h"

#include <ostream>

PstnFactory& PstnFactory::instance() {
    static PstnFactory factory;
    return factory;
}

void PstnFactory::PutHeader(std::ostream& os) const {
    os << "pstn: ";
}

Slot* PstnFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.pstn_isSelected()) ++declined_;
    return nullptr;
}

ModemFactory& ModemFactory::instance() {
    static ModemFactory factory;
    return factory;
}

void ModemFactory::PutHeader(std::ostream& os) const {
    os << "modem[" << counter_ << "," << GetSlots().size() << "]: ";
}

Slot* ModemFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.modem_isSelected()) ++declined_;
    return nullptr;
}

Mixer::MixerFactory& Mixer::MixerFactory::instance() {
    static MixerFactory factory;
    return factory;
}

void Mixer::MixerFactory::PutHeader(std::ostream& os) const {
    os << "mixer: ";
}

Slot* Mixer::MixerFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.mixerOut_isSelected() || params.mixerIn_isSelected()) ++declined_;
    return nullptr;
}

MccFactory& MccFactory::instance() {
    static MccFactory factory;
    return factory;
}

void MccFactory::PutHeader(std::ostream& os) const {
    os << "mcc: ";
}

Slot* MccFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.mcc_isSelected()) ++declined_;
    return nullptr;
}

EchoFactory& EchoFactory::instance() {
    static EchoFactory factory;
    return factory;
}

void EchoFactory::PutHeader(std::ostream& os) const {
    os << "echo: ";
}

Slot* EchoFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.echo_isSelected()) ++declined_;
    return nullptr;
}

VoiceFactory& VoiceFactory::instance() {
    static VoiceFactory factory;
    return factory;
}

void VoiceFactory::PutHeader(std::ostream& os) const {
    os << "voice/mcc"
       << "[" << counter_ << "]: ";
}

Slot* VoiceFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.voice_isSelected()) ++declined_;
    return nullptr;
}

T38SoftFactory& T38SoftFactory::instance() {
    static T38SoftFactory factory;
    return factory;
}

void T38SoftFactory::PutHeader(std::ostream& os) const {
    os << "t38soft: ";
}

Slot* T38SoftFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.t38soft_isSelected()) ++declined_;
    return nullptr;
}

IsdnFactory& IsdnFactory::instance() {
    static IsdnFactory factory;
    return factory;
}

void IsdnFactory::PutHeader(std::ostream& os) const {
    os << "mcc/isdn: ";
}

Slot* IsdnFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.isdn_isSelected() || params.ats_qsig_isSelected() || params.ats_qsig_b_isSelected())
        ++declined_;
    return nullptr;
}

HdlcSlotFactory& HdlcSlotFactory::instance() {
    static HdlcSlotFactory factory;
    return factory;
}

void HdlcSlotFactory::PutHeader(std::ostream& os) const {
    os << "hdlc: ";
}

Slot* HdlcSlotFactory::INewSlot(const LGCP::CreateParams& params) {
    if (params.hdlcParams_isSelected()) ++declined_;
    return nullptr;
}
