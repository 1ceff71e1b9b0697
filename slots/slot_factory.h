// The chain of slot factories. Every factory joins the head of the chain when it is
// constructed; the slots service asks them in chain order to build a slot from a
// create command's parameters, to add their resources to the board's report, and
// shows them the trunk-status signals.
#pragma once

#include <iosfwd>
#include <list>

#include "protocol/LGCP.h"

class Slot;

class SlotFactory {
public:
    SlotFactory();
    virtual ~SlotFactory();
    SlotFactory(const SlotFactory&) = delete;
    SlotFactory& operator=(const SlotFactory&) = delete;

    // The factory's slot for these parameters, recorded in its list; null when the
    // parameters are not its kind or its checks fail.
    Slot* NewSlot(const LGCP::CreateParams& params);
    // Adds this factory's resources to the board's report.
    virtual void Query(LGCP::Resources&) {}
    // A signal of the board's services (trunk status) seen before the controller.
    virtual void SelfSignal(const LGCP::Signal&) {}
    virtual void PutHeader(std::ostream& os) const = 0;

    // A slot of this factory is going away.
    void Forget(Slot* slot) { slots_.remove(slot); }
    const std::list<Slot*>& GetSlots() const { return slots_; }

    static SlotFactory* First() { return head_; }
    SlotFactory* Next() const { return next_; }

protected:
    virtual Slot* INewSlot(const LGCP::CreateParams& params) = 0;

private:
    static SlotFactory* head_;
    SlotFactory* next_;
    std::list<Slot*> slots_;
};
