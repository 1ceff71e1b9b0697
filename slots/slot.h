// A channel slot: one numbered channel of the board (0..1023), fed by at most one
// source slot and feeding any number of sinks, made by a factory, with the hooks
// through which the slots service applies the controller's commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <list>
#include <string>

#include "protocol/LGCP.h"
#include "protocol/TERM.h"

class Slot;
class SlotFactory;
struct dsproc_bss_event;
struct dsproc_flags_event;
struct dsproc_tone_event;
namespace Hardware {
struct DSProcSDEvent;
struct DSProcVADEvent;
}  // namespace Hardware

// Where a slot's signals and its late release go (the slots service).
class SlotHost {
public:
    virtual ~SlotHost() = default;
    virtual void SendSlotSignal(unsigned slot, const LGCP::Signal& signal) = 0;
    // A slot whose release was put off has completed it.
    virtual void OnSlotReleased(Slot* slot) = 0;
    // A factory takes the channel of one of its slots for a new one: the slot is
    // released without an answer of its own and its number freed.
    virtual void RemoveSlot(Slot* slot) = 0;
};

class Slot {
public:
    static constexpr int kNoNumber = -1;
    static constexpr int kNoChannel = -1;
    // Longest octet string a message to the controller can carry: the control
    // protocol's encoding has no fragmentation.
    static constexpr std::size_t kMaxCarried = 16383;

    // State of one direction of the slot's media stream.
    enum class Stream { inactive, active };

    explicit Slot(SlotFactory* factory);
    virtual ~Slot();
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

    virtual const char* GetName() const = 0;
    int GetNumber() const { return number_; }
    SlotFactory* GetFactory() const { return factory_; }
    void DetachFactory() { factory_ = nullptr; }
    // Where its signals go; null until it is installed.
    SlotHost* GetHost() const { return host_; }
    // The TDM channel the slot sends on and the one it receives on; kNoChannel for none.
    virtual int GetTransmitChannel() const { return kNoChannel; }
    virtual int GetReceiveChannel() const { return kNoChannel; }

    // Placed in the table under `number`; signals then go to `host`.
    void Install(SlotHost* host, int number);

    // The controller's commands. False refuses the command (answered `unsupported`).
    virtual bool IActivate(const TERM::TermActivateParams&) { return false; }
    virtual bool IDeactivate() { return false; }
    virtual bool IUserData(const ASN1::OCTET_STRING&) { return false; }
    virtual bool Ioctl(const LGCP::IoctlParams&) { return false; }
    // Runs after the create command was answered.
    virtual void IAfterCreate() {}
    // Starts the release: true when it is complete now, false when the slot calls
    // Released() later.
    virtual bool IDestroy() { return true; }
    // A line's framer status (an ACP::TrunkState): the line is E1 trunk or
    // basic-rate line `trunk` after `type`.
    virtual void OnTrunkStatus(ACP::TrunkType::NamedNumber /*type*/, int /*trunk*/, int /*status*/) {}

    // Interconnection: `source` feeds this slot (its transmit onto our receive).
    bool SetSource(Slot* source);
    // This slot's receive goes idle and it no longer has a source.
    bool RemoveSource();
    Slot* GetSource() const { return source_; }
    const std::list<Slot*>& GetSinks() const { return sinks_; }
    // Takes the slot out of every connection, as it goes away.
    void Isolate();

    bool IsReleasing() const { return releasing_; }
    void SetReleasing() { releasing_ = true; }
    // The put-off answer of the destroy command that started the release.
    void KeepDestroySeq(bool present, int seq) {
        destroySeqPresent_ = present;
        destroySeq_ = seq;
        destroyAnswerPending_ = true;
    }
    bool IsDestroyAnswerPending() const { return destroyAnswerPending_; }
    bool IsDestroySeqPresent() const { return destroySeqPresent_; }
    int GetDestroySeq() const { return destroySeq_; }

    void SendSignal(const LGCP::Signal& signal);
    void OnIoctlResponse(const LGCP::IoctlResponse& response);
    // Signals the new state of a direction, only when it changes.
    void OnChangeInputStream(Stream state, int channel);
    void OnChangeOutputStream(Stream state, int channel);
    Stream GetInputStream() const { return input_; }
    Stream GetOutputStream() const { return output_; }

    // Signals built from the detectors' events of the channel.
    void processTonecEvent(int code, std::uint32_t timestamp);
    void processToneFltEvent(const dsproc_tone_event* event);
    // A played digit string has ended.
    void processToneGenEvent();
    void processFlagsEvent(const dsproc_flags_event* event);
    void processVADEvent(const Hardware::DSProcVADEvent& event);
    void processSDEvent(const Hardware::DSProcSDEvent& event);
    void processBSSEvent(const dsproc_bss_event* event);
    // A PD report: its value and the time-out the detector was given.
    void processRtpEvent(int value, int timeout);

    void Put(std::ostream& os) const;

protected:
    // A slot whose release was put off calls this when it is complete.
    void Released();

private:
    SlotFactory* factory_;
    SlotHost* host_ = nullptr;
    int number_ = kNoNumber;
    Slot* source_ = nullptr;
    std::list<Slot*> sinks_;
    Stream input_ = Stream::inactive;
    Stream output_ = Stream::inactive;
    bool releasing_ = false;
    bool destroyAnswerPending_ = false;
    bool destroySeqPresent_ = false;
    int destroySeq_ = 0;
};

std::ostream& operator<<(std::ostream& os, const Slot& slot);
