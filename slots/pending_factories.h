// The factories of the slot kinds whose channels this build does not make yet. Each
// takes its place in the chain, recognises its own create parameters and declines
// them, so that the create is answered `insufficientResources`.
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"

// PSTN signalling links (SS7 level 2, ISDN D-channels) on HDLC channels.
class PstnFactory : public SlotFactory {
public:
    static PstnFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};

// DSP and digital modems with PPP or fax.
class ModemFactory : public SlotFactory {
public:
    static ModemFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
    unsigned counter_ = 0;
};

namespace Mixer {

// Conference-mixer inputs and outputs.
class MixerFactory : public SlotFactory {
public:
    static MixerFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};
}  // namespace Mixer

// Raw data channels on the multi-channel HDLC controller.
class MccFactory : public SlotFactory {
public:
    static MccFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};

// Echo-bus channels.
class EchoFactory : public SlotFactory {
public:
    static EchoFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};

// Voice players and recorders.
class VoiceFactory : public SlotFactory {
public:
    static VoiceFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
    unsigned counter_ = 0;
};

// Software T.38 relays.
class T38SoftFactory : public SlotFactory {
public:
    static T38SoftFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};

// ISDN and ATS-QSIG D-channels.
class IsdnFactory : public SlotFactory {
public:
    static IsdnFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};

// Raw HDLC links.
class HdlcSlotFactory : public SlotFactory {
public:
    static HdlcSlotFactory& instance();

    void PutHeader(std::ostream& os) const override;
    // Creates of this factory's kind seen and declined.
    unsigned declined() const { return declined_; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    unsigned declined_ = 0;
};
