// The network side of an ISDN basic-rate line serving up to eight terminals
// (point to multipoint): TEI management as the network (assignment from 64..126,
// adoption of TEIs already in use, the periodic identity check, duplicate removal),
// one small data link per assigned TEI, outgoing SETUPs broadcast on TEI 127 and
// every other outgoing message routed to the TEI that last used its call
// reference.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/packet.h"
#include "core/packet_shortage.h"
#include "core/protocol.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "signalling/lapd_nt_user.h"

namespace ISDN {

class LAPD_NT : public Protocol {
public:
    static constexpr unsigned kUsers = 8;
    static constexpr unsigned kCheckCycle = 60000;  // ms between identity checks
    static constexpr unsigned char kFirstAutoTei = 64;
    static constexpr unsigned char kLastAutoTei = 126;

    // TEI management message types.
    using TeiMessage = Q921::TeiMessage;
    using enum Q921::TeiMessage;

    LAPD_NT();
    ~LAPD_NT() override;

    void set_log(unsigned int level);

    void local_prepare_head(Packet& p) override;
    void local_prepare_tail(Packet& p) override;
    void local_activate() override;
    void local_deactivate() override;
    // A layer-3 message from above.
    void message(Packet& msg) override;
    // message, saying whether it went out or to a terminal.
    bool take_message(Packet& msg);
    // A frame from below.
    void receive(Packet& frame) override;

    void check_all_Tei();
    void tx_identity(unsigned short ri, int ai, unsigned char type);
    // The management message after the UI control octet.
    void on_tei_procedure(Packet& p);
    LAPD_NT_user* find_Tei(unsigned char t);
    // The lowest unassigned user, given TEI t (for 127: the lowest free one of 64..126).
    LAPD_NT_user* find_free_Tei(unsigned char t);
    void send_to_layer3(Packet& p) { on_message(p); }
    // Messages with call reference ref (its flag bit ignored) go to this TEI from now on.
    void heard_call(unsigned char ref, unsigned char tei) { callerTei[ref & 0x7F] = tei; }
    void send_to_layer1(Packet& p) { transmit(p); }

    // A fresh frame with the head room of the layers below; null, counted and
    // logged once per episode, when the pool has no block.
    Packet new_frame();
    std::uint32_t no_buffer_drops() const { return shortage_.refused(); }

    void PutHeader(std::ostream& os) const;

    const LAPD_NT_user& user(unsigned i) const { return users[i]; }
    bool checking() const { return checkTimer.is_running(); }

private:
    static constexpr unsigned char kNoTei = 0xFF;

    bool trace() const { return log != 0; }
    // The limiter's line while tracing is on; nothing is counted while it is off.
    RepeatedLine::Line traced(RepeatedLine& line);
    // Identity remove, sent twice; for 127 every TEI on the bus goes, ours included.
    void remove_twice(unsigned char ai);
    // A TEI that starts a new life takes none of its old calls with it.
    void forget_calls(unsigned char tei);
    void forget_all_calls();

    Timer checkTimer;
    LAPD_NT_user users[kUsers];
    unsigned int log = 0;
    // Per call reference, the TEI that most recently sent a message with it (kNoTei:
    // none). Served while an assigned user holds that TEI, so a terminal this side
    // dropped without telling it gets its calls back when it is taken back. The
    // controller's messages carry no TEI: two terminals that use one call reference
    // at the same moment cannot be told apart.
    unsigned char callerTei[128];
    // Lines that terminals sending bad or refused management frames would repeat.
    RepeatedLine unknownTeiLine;
    RepeatedLine ignoredLine;
    RepeatedLine deniedLine;
    RepeatedLine allUsedLine;
    RepeatedLine wrongAiLine;
    RepeatedLine duplicateLine;
    PacketShortage shortage_;
};

}  // namespace ISDN
