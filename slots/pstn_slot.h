// A PSTN signalling slot: one link-layer engine on an HDLC channel of a line.
// An SS7 signalling link on time slot 16 of an E1 trunk, an ISDN D channel
// (primary rate on time slot 16, or the user side of a basic-rate line), or the
// network side of a basic-rate line. The controller activates and deactivates
// the link and exchanges layer-3 messages with it as user data; the slot sends
// the link's activation, its failures and its statistics as signals.
#pragma once

#include <cstddef>
#include <iosfwd>

#include "core/packet_shortage.h"
#include "core/protocol.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "protocol/ACP.h"
#include "signalling/lapd.h"
#include "slots/hdlc_line.h"
#include "slots/slot.h"

namespace ISDN {
class LAPD_NT;
}
namespace SS7 {
class SLC;
}

class PstnSlot : public Slot, public ISDN::LAPD::Notify {
public:
    enum class Link { ss7, isdn, bri_network };
    static constexpr unsigned kUpdatePeriod = 3000;  // ms
    // Longest layer-3 message taken from the controller: an MSU's signalling
    // information field with its octet (272), a Q.931 message (260).
    static constexpr std::size_t kMaxSs7Message = 273;
    static constexpr std::size_t kMaxIsdnMessage = 260;

    // Null, with a log line, when the HDLC channel cannot be had.
    static PstnSlot* NewSs7(SlotFactory* factory, const LGCP::SS7Params& params);
    static PstnSlot* NewIsdn(SlotFactory* factory, const LGCP::IsdnParams& params);
    ~PstnSlot() override;

    const char* GetName() const override { return "pstn"; }
    void PutHeader(std::ostream& os) const;

    bool IActivate(const TERM::TermActivateParams&) override;
    bool IDeactivate() override;
    bool IUserData(const ASN1::OCTET_STRING& data) override;
    bool Ioctl(const LGCP::IoctlParams& params) override;
    bool IDestroy() override;

    // A trunk's framer status; only a change on this slot's own line counts.
    void OnTrunkStatus(ACP::TrunkType::NamedNumber type, int trunk, int status) override;
    void OnLAPD_FlowStatusChange(ISDN::LAPD* lapd) override;
    void OnUpdateTimer();

    Link link() const { return link_; }
    const HdlcLine& line() const { return line_; }
    SS7::SLC* ss7() const { return slc_; }
    ISDN::LAPD* lapd() const { return lapd_; }
    // Messages from the link too long for a signal.
    unsigned too_long() const { return too_long_; }

private:
    // The slot's protocol list; the engine reports to the slot through it.
    class Stack : public ProtocolsList {
    public:
        explicit Stack(PstnSlot& slot) : slot_(slot) {}
        void on_activated(Protocol* p) override;
        void on_deactivated(Protocol* p, Protocol_status status) override;
        void on_message(Packet& p) override;
        void on_status(Protocol_status status) override;

    private:
        PstnSlot& slot_;
    };

    PstnSlot(SlotFactory* factory, Link link);

    void UpdateSS7_Statistics();
    void UpdateIsdn_Statistics();
    void UpdateHdlc_Statistics();
    void SendDeactivated();
    // Drops the controller's release unless the LAPD link still awaits its end.
    void KeepPendingRelease();

    Link link_;
    HdlcLine line_{*this};
    Stack stack_{*this};
    SS7::SLC* slc_ = nullptr;
    ISDN::LAPD* lapd_ = nullptr;
    ISDN::LAPD_NT* nt_ = nullptr;
    Timer update_;
    int last_status_ = -1;
    PacketShortage shortage_;
    unsigned too_long_ = 0;
    // From the controller's deactivate to the link down it causes, which is not a far
    // end's: at once on SS7, at the end of a LAPD link's release (UA, DM, T200 x N200).
    bool release_asked_ = false;
    // Lines of the link's reports, which a far end can cause with every frame: one
    // limiter per cause or status text.
    RepeatedLineKinds down_lines_;
    RepeatedLineKinds status_lines_;
    RepeatedLine too_long_line_;
};
