// The radio channel factories: each takes a create whose `rtp` alternative carries
// RTP parameters with `radio`, the LEMZ factory when the radio status selects `lemz`
// and the ED-137 factory when it selects `ed-137`. The radio channels are not on
// this build yet: a recognised create is counted and declined.
#pragma once

#include <iosfwd>

#include "slots/slot_factory.h"

// The radio kind a create asks for; none when it is not a radio create.
enum class RadioKind { none, lemz, ed137 };
RadioKind RadioKindOf(const LGCP::CreateParams& params);

class RtpExtFactory : public SlotFactory {
public:
    void PutHeader(std::ostream& os) const override;
    unsigned requests() const { return requests_; }

protected:
    RtpExtFactory(RadioKind kind, const char* name) : kind_(kind), name_(name) {}
    Slot* INewSlot(const LGCP::CreateParams& params) override;

private:
    RadioKind kind_;
    const char* name_;
    unsigned requests_ = 0;
    unsigned created_ = 0;
    unsigned failed_ = 0;
    unsigned declined_ = 0;
};

class RtpLEMZFactory : public RtpExtFactory {
public:
    static RtpLEMZFactory& instance();

private:
    RtpLEMZFactory() : RtpExtFactory(RadioKind::lemz, "LEMZ") {}
};

class RtpED137Factory : public RtpExtFactory {
public:
    static RtpED137Factory& instance();

private:
    RtpED137Factory() : RtpExtFactory(RadioKind::ed137, "ED137") {}
};
