// The slots service: executes the controller's channel commands on the table of
// slots, creates slots through the factory chain, interconnects them, and releases
// them, answering a destroy whose release completes later with a late success.
#pragma once

#include <array>
#include <vector>

#include "core/dpc.h"
#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"
#include "slots/slot.h"

class Slots : public CtrlSrv::Service, public SlotHost {
public:
    static constexpr int kSlots = 1024;
    // How long the process waits, after the controller left, for the slots whose
    // release is asynchronous before it deletes them.
    static constexpr unsigned kReleasePause = 1000;  // ms

    // Pauses the whole process; the daemon sleeps, tests record the call.
    using PauseFunction = void (*)(unsigned ms);

    static Slots& instance();

    Slots();
    ~Slots() override;

    void OnConnect() override {}
    void OnDisconnect() override;
    bool OnCommand(const LGCP::Command& command) override;
    void OnSignal(const LGCP::Signal& signal) override;

    void CmdIoctl(const LGCP::IoctlParams& params);
    // Collects the board's resources from every factory and sends them as the
    // `query` signal.
    void UpdateHardwareResources();
    LGCP::Resources CollectResources() const;

    void SendSlotSignal(unsigned slot, const LGCP::Signal& signal) override;
    void OnSlotReleased(Slot* slot) override;
    void RemoveSlot(Slot* slot) override;

    Slot* Find(int number) const;
    std::size_t Count() const;

    // Returns the function it replaces.
    static PauseFunction SetPause(PauseFunction pause);
    static void Sleep(unsigned ms);

private:
    void CmdQuery();
    void CmdConnect(unsigned target);
    void CmdDisconnect();
    void CmdCreate(const LGCP::CreateParams& params);
    void CmdDestroy();
    void CmdActivate(const TERM::TermActivateParams& params);
    void CmdDeactivate();
    void CmdUserData(const ASN1::OCTET_STRING& data);

    // The addressed slot, or the `slotNotExists` answer and null.
    Slot* Addressed();
    // Starts the slot's release; true when it completed and the slot is gone.
    bool Release(Slot* slot);
    void Remove(Slot* slot);
    void DeleteLater(Slot* slot);
    void OnDpcDelete();

    std::array<Slot*, kSlots> table_{};
    std::vector<Slot*> released_;
    Dpc deleteDpc_;
    Slot* destroying_ = nullptr;
    bool releasedDuringDestroy_ = false;

    static PauseFunction pause_;
};
