// The factories of the slot kinds whose channels this build does not make yet. Each
// takes its place in the chain, recognises its own create parameters and declines
// them, so that the create is answered `insufficientResources`.
#pragma once

#include <ostream>

#include "slots/slot_factory.h"

// What the declining factories share: the singleton, which joins the chain when it is
// first asked for, and the count of declined creates. A kind gives its create
// alternatives (a static IOwnKind) and its log prefix (PutHeader).
template <class Kind>
class DecliningFactory : public SlotFactory {
public:
    static Kind& instance() {
        static Kind factory;
        return factory;
    }

    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) final {
        if (Kind::IOwnKind(params)) ++declined_;
        return nullptr;
    }

private:
    unsigned declined_ = 0;
};

namespace Mixer {

// Conference-mixer inputs and outputs.
class MixerFactory : public DecliningFactory<MixerFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) {
        return params.mixerOut_isSelected() || params.mixerIn_isSelected();
    }
    void PutHeader(std::ostream& os) const override { os << "mixer: "; }
};
}  // namespace Mixer

// Raw data channels on the multi-channel HDLC controller.
class MccFactory : public DecliningFactory<MccFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) { return params.mcc_isSelected(); }
    void PutHeader(std::ostream& os) const override { os << "mcc: "; }
};

// Echo-bus channels.
class EchoFactory : public DecliningFactory<EchoFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) { return params.echo_isSelected(); }
    void PutHeader(std::ostream& os) const override { os << "echo: "; }
};

// Voice players and recorders.
class VoiceFactory : public DecliningFactory<VoiceFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) { return params.voice_isSelected(); }
    void PutHeader(std::ostream& os) const override {
        os << "voice/mcc"
           << "[" << counter_ << "]: ";
    }

private:
    unsigned counter_ = 0;
};

// Software T.38 relays.
class T38SoftFactory : public DecliningFactory<T38SoftFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) { return params.t38soft_isSelected(); }
    void PutHeader(std::ostream& os) const override { os << "t38soft: "; }
};

// ISDN and ATS-QSIG D-channels that write their frames to a device of their
// own, which this board's drivers do not offer (a PSTN slot runs a D channel on
// an HDLC channel instead).
class IsdnFactory : public DecliningFactory<IsdnFactory> {
public:
    static bool IOwnKind(const LGCP::CreateParams& params) {
        return params.isdn_isSelected() || params.ats_qsig_isSelected() || params.ats_qsig_b_isSelected();
    }
    void PutHeader(std::ostream& os) const override { os << "mcc/isdn: "; }
};
