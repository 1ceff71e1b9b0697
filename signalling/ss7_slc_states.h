// The pieces of the MTP level 2 link's state machine that do not depend on the
// link itself: the state objects that forward each event to the link's handler
// for their own type, the link status indications, the trace switches and the
// state names. The link (ss7_slc.h) gives them their nested names.
#pragma once

#include <cstdint>
#include <ostream>

#include "core/packet.h"

namespace SS7::L2 {

// Status of a link status signal unit. Only the first four are ever sent.
enum Indication : std::uint8_t { SIO = 0, SIN = 1, SIE = 2, SIOS = 3 };
std::ostream& operator<<(std::ostream& os, Indication indication);

enum StateType : unsigned {
    idle = 0,
    not_aligned = 1,
    aligned = 2,
    proving = 3,
    aligned_ready = 4,
    worked = 5,
};
// "unknown" for a number that is no state.
const char* state_name(unsigned type);

// The controller switches them all at once, field by field in this order.
struct Trace {
    bool state = false;
    bool raw_receive = false;
    bool raw_transmit = false;
    bool mtp_transmit = false;
    bool mtp_receive = false;
    bool mtp_activate = false;
    bool timers = false;
    bool msu_processing = false;
};

template <class Link>
class State {
public:
    explicit State(unsigned type) : type(type) {}
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    virtual ~State() = default;

    virtual void on_enter(Link& link) = 0;
    virtual void on_leave(Link& link) = 0;
    virtual void fisu(Link& link) = 0;
    virtual void lssu(Link& link, Indication status) = 0;
    virtual void msu(Link& link, Packet& su) = 0;
    // True when the link took the MSU for sending.
    virtual bool message(Link& link, Packet& msu) = 0;
    virtual unsigned get_state_id() const = 0;

    const char* name() const { return state_name(get_state_id()); }

protected:
    unsigned type;
};

// A state is written as its name.
template <class Link>
std::ostream& operator<<(std::ostream& os, const State<Link>& state) {
    return os << state.name();
}

// A concrete state: each event calls the link's handler with the state object
// itself, so overload resolution picks the handler for this state type, or for
// the nearest base state that has one, or the link's generic do-nothing one.
template <class Link, unsigned id, class Base = State<Link>>
class TState : public Base {
public:
    explicit TState(unsigned type = id) : Base(type) {}

    void on_enter(Link& link) override { link.on_enter(*this); }
    void on_leave(Link& link) override { link.on_leave(*this); }
    void fisu(Link& link) override { link.fisu(*this); }
    void lssu(Link& link, Indication status) override { link.lssu(*this, status); }
    void msu(Link& link, Packet& su) override { link.msu(*this, su); }
    bool message(Link& link, Packet& msu) override { return link.message(*this, msu); }
    unsigned get_state_id() const override { return id; }
};

}  // namespace SS7::L2
