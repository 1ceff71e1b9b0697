// A raw HDLC slot: an HDLC channel on time slot 16 of an E1 trunk whose frames
// the controller sends and receives itself. Each frame carries the slot's
// one-octet address in front of its body: the controller's bodies go out behind
// it, and received frames with that address come back without it, gathered
// for a short while into one report.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <vector>

#include "core/repeated_line.h"
#include "core/timer.h"
#include "slots/hdlc_line.h"
#include "slots/slot.h"
#include "slots/slot_factory.h"

class HdlcSlot : public Slot, public HDLC::Notify {
public:
    static constexpr unsigned kUpdatePeriod = 3000;  // ms
    static constexpr unsigned kFlushDelay = 20;      // ms a received frame may wait for others
    static constexpr std::size_t kMaxReport = 64;    // frames in one report
    static constexpr std::size_t kMaxBody = 2048;
    // Bodies with their length octets in one report, so that the whole message
    // fits one control-protocol frame.
    static constexpr std::size_t kMaxReportOctets = 65000;

    // Null, with a log line, when the address or the channel is not to be had.
    static HdlcSlot* New(SlotFactory* factory, const LGCP::HdlcParams& params);
    ~HdlcSlot() override;

    const char* GetName() const override { return "hdlc"; }
    void PutHeader(std::ostream& os) const;

    bool IActivate(const TERM::TermActivateParams&) override { return line_.IsOpen(); }
    bool IDeactivate() override { return line_.IsOpen(); }
    bool Ioctl(const LGCP::IoctlParams& params) override;
    bool IDestroy() override;

    void on_hdlc_receive(Packet& frame) override;
    void on_hdlc_error(Cause::Type cause) override;
    void on_hdlc_ready() override {}

    void OnUpdateTimer();
    void flushResponce();

    const HdlcLine& line() const { return line_; }
    // Received frames that were not for this slot's address.
    unsigned foreign() const { return foreign_; }
    // Received frames too long for a report.
    unsigned too_long() const { return too_long_; }

private:
    HdlcSlot(SlotFactory* factory, unsigned char address);

    unsigned char address_;
    HdlcLine line_{*this};
    Timer update_;
    Timer flush_;
    std::vector<std::vector<char>> received_;
    std::size_t received_octets_ = 0;
    unsigned foreign_ = 0;
    unsigned too_long_ = 0;
    RepeatedLine too_long_line_;
};

class HdlcSlotFactory : public SlotFactory {
public:
    static HdlcSlotFactory& instance();

    void PutHeader(std::ostream& os) const override { os << "hdlc: "; }

protected:
    Slot* INewSlot(const LGCP::CreateParams& params) override;
};
