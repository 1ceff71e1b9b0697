// One terminal's data link on the network side of a basic-rate line: the TEI it
// holds, its sequence numbers, the sent frames it has not acknowledged and the
// messages waiting for it. Small on purpose: no establishment states, the link
// counts as up once the TEI is assigned.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "core/clean_queue.h"
#include "core/packet.h"
#include "core/repeated_line.h"
#include "core/timer.h"
#include "signalling/q921.h"

namespace ISDN {

class LAPD_NT;

class LAPD_NT_user {
public:
    enum State { unassigned = 0, assigned = 1, wait_answer = 2 };

    static constexpr unsigned kIdlePoll = 10000;   // ms without traffic before a poll
    static constexpr unsigned kRepeat = 1000;      // ms before a poll or I frame is repeated
    static constexpr unsigned kCheckAnswer = 2000;  // ms an identity check may stay unanswered
    static constexpr unsigned kRepeats = 3;        // repetitions before the TEI is dropped
    static constexpr unsigned kQueueLimit = 128;   // waiting messages; the oldest goes first
    static constexpr unsigned kWindow = 7;         // I frames outstanding at most

    LAPD_NT_user() = default;
    LAPD_NT_user(const LAPD_NT_user&) = delete;
    LAPD_NT_user& operator=(const LAPD_NT_user&) = delete;

    void set_lapd(LAPD_NT* owner) { lapd = owner; }
    void set_log(unsigned int level) { log = level; }
    unsigned char get_Tei() const { return tei; }
    void set_Tei(unsigned char t) { tei = t; }
    bool is_assigned() const { return state != unassigned; }
    bool is_check() const { return check != 0; }
    unsigned short get_ri() const { return ri; }
    void set_ri(unsigned short r) { ri = r; }

    // A fresh link (SABME, counters reset), or the confirmation of an outstanding check.
    void assign();
    void unassign();
    // Starts the identity check of an assigned TEI: unanswered, it is dropped
    // (the check timer runs unassign).
    void checking();

    // A frame for this TEI, address octets included; cr is the received C/R bit.
    void receive(Packet& frame, bool cr);
    // A layer-3 message for this terminal; false when it holds no TEI.
    bool message(Packet& msg);

    void on_I(Packet& info, unsigned char ns, unsigned char nr, bool p);
    void on_RR(unsigned char nr, bool pf, bool cr);
    void on_RNR(unsigned char nr, bool pf, bool cr);
    void on_REJ(unsigned char nr, bool pf, bool cr);
    void on_SABME(bool pf);
    void on_DM(bool pf);
    void on_DISC(bool pf);
    void on_FRMR(bool pf);
    void on_XID(Packet& frame, bool pf, bool cr);

    void tx_U(unsigned char type, bool pf, bool command);
    void tx_S(unsigned char type, bool pf, bool command);
    // Sends msg as the I frame N(S) = ns, N(R) = nr; msg itself is left unchanged.
    void tx_I(const Packet& msg, unsigned char nr, unsigned char ns);

    void on_timer();
    // Every unacknowledged frame again, oldest first, with their own N(S) and the current N(R).
    void retransmit();
    // Takes N(R): false when it lies outside V(A)..V(S).
    bool ack_queue(unsigned char nr);
    void set_busy();
    void set_unbusy();

    // "LAPD_user(NT BRI)[...]" with the TEI, state and flags.
    void PutHeader(std::ostream& os) const;

    State get_state() const { return static_cast<State>(state); }
    unsigned char get_vr() const { return vr; }
    unsigned char get_va() const { return va; }
    unsigned char get_vs() const { return vs; }
    unsigned outstanding() const { return window.count(); }
    unsigned queued() const { return outQueue.count(); }
    bool is_busy() const { return busy != 0; }
    bool repeats_left() const { return rc < kRepeats; }

private:
    // Sends a new I frame and keeps it for retransmission.
    void send_new(const Packet& msg);
    // Sends waiting messages while the window has room and the terminal is not busy.
    void send_queued();
    // After an accepted acknowledgement: idle with nothing outstanding, else the
    // repetition timer runs (restarted when the acknowledgement moved V(A)).
    void settle(bool advanced);
    bool trace() const { return log > 1; }

    unsigned char check = 0;
    LAPD_NT* lapd = nullptr;
    unsigned char vr = 0, va = 0, vs = 0;
    unsigned char tei = 0;
    int state = unassigned;
    Timer timers[2];  // [0] idle poll and repetition, [1] identity check answer
    unsigned int rc = 0;
    unsigned char busy = 0;
    unsigned int log = 0;
    CleanQueue<Packet, 135> outQueue;
    // The layer-3 messages of the sent, unacknowledged I frames: N(S) V(A) first.
    CleanQueue<Packet, kWindow> window;
    unsigned short ri = 0;  // the last identity check response accepted for this TEI
    RepeatedLine queueFullLine;
};

}  // namespace ISDN
