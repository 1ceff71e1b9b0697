// The DSP processing device /dev/dsp: per DSP time slot a set of features
// selected by bit (VAD, SD, mute, BSS, delays, receive gain, noise gate, tone
// filters). One service owns the descriptor, configures and switches the
// features and routes their events by time slot, feature state and detector
// id to the channels that derive from DSProcReceiver.
#pragma once

#include <cstdint>

#include "core/cyclic_list.h"
#include "hardware/board_record.h"
#include "hardware/detector_service.h"
#include "hardware/dsproc_records.h"
#include "protocol/LGCP.h"

namespace Hardware {

class DSProcReceiver;

// The detectors' values as reported; -1: not reported in this event.
struct DSProcVADEvent {
    std::int32_t rx = 0;
    std::int32_t tx = 0;
};
struct DSProcSDEvent {
    std::int32_t rx = 0;
};

class DSProcReceiverService final : public DetectorService {
public:
    static DSProcReceiverService& instance();

    // Tests build their own; channels use instance().
    DSProcReceiverService();
    ~DSProcReceiverService() = default;

    bool configureVAD(std::uint32_t ts, const LGCP::VADParams& params);
    bool configureSD(std::uint32_t ts);
    void configureDelays(std::uint32_t ts, unsigned rx, unsigned tx);
    void configureRxGain(std::uint32_t ts, std::int8_t gain);
    void configureToneFilter(std::uint32_t ts, unsigned freq, unsigned enable, int durationMs, int levelDb);
    void disableToneAll(DSProcReceiver& receiver);

    bool enableVAD(DSProcReceiver& receiver, bool on);
    bool enableSD(DSProcReceiver& receiver, bool on);
    bool enableBSS(DSProcReceiver& receiver, bool on);
    bool enableNG(DSProcReceiver& receiver, bool on);
    bool enableMute(DSProcReceiver& receiver, bool rx, bool tx);

private:
    // Issues a configure request whose parameters are already in `rec`.
    bool Configure(std::uint32_t ts, Dsproc::Feature kind, ByteRecord<Dsproc::kConfigureSize>& rec,
                   const char* failName);
    bool Enable(DSProcReceiver& receiver, std::uint32_t mask, const char* name, std::int32_t& state,
                std::uint32_t& id, bool on);
    void IRecord(const unsigned char* record) override;
    void Route(const ByteRecord<Dsproc::kEventSize>& rec);
};

class DSProcReceiver {
public:
    DSProcReceiver();
    virtual ~DSProcReceiver();
    DSProcReceiver(const DSProcReceiver&) = delete;
    DSProcReceiver& operator=(const DSProcReceiver&) = delete;

    // What the channel supplies: the routed events and its DSP time slot.
    virtual void dsproc_vad_event(const DSProcVADEvent& event) = 0;
    virtual void dsproc_bss_event(const dsproc_bss_event* event) = 0;
    virtual void dsproc_sd_event(const DSProcSDEvent& event) = 0;
    virtual void dsproc_tone_flt_event(const dsproc_tone_event* event) = 0;
    virtual void dsproc_flags_event(const dsproc_flags_event* event) = 0;
    virtual std::uint32_t dsproc_timeslot() const = 0;

    bool configureVAD(const LGCP::VADParams& params);
    bool configureSD();
    void configureToneFilter(unsigned freq, unsigned enable, int durationMs, int levelDb);
    bool enableVAD(bool on);
    bool disableVAD() { return enableVAD(false); }
    bool enableSD(bool on);
    bool disableSD() { return enableSD(false); }
    bool enableBSS(bool on);
    bool disableBSS() { return enableBSS(false); }
    bool enableNG(bool on);
    bool disableNG() { return enableNG(false); }
    bool enableMute(bool rx, bool tx);
    bool disableMute() { return enableMute(false, false); }
    void configureDelays(unsigned rx, unsigned tx);
    void configureRxGain(std::int8_t gain);
    void disableToneAll();

    // Undoes what the channel switched on; called from the channel's
    // destructor while dsproc_timeslot() still answers.
    void CleanBeforeDestroy();

    // -1 unset (never switched), 0 off, 1 on.
    std::int32_t vad() const { return vadState; }
    std::int32_t sd() const { return sdState; }
    std::int32_t bss() const { return bssState; }
    std::int32_t ng() const { return ngState; }
    std::uint32_t vad_id() const { return vadId; }

private:
    friend class DSProcReceiverService;

    std::int32_t vadState = -1;
    std::uint32_t vadId = 0;
    std::int32_t bssState = 0;
    std::uint32_t bssId = 0;
    std::int32_t ngState = 0;
    std::uint32_t ngId = 0;
    std::int32_t sdState = -1;
    std::uint32_t sdId = 0;
    std::int32_t muteRxState = -1;
    std::int32_t muteTxState = -1;
    std::uint32_t muteId = 0;
    bool delaysSet = false;
    bool rxGainSet = false;
    Containers::CyclicList node;
};

}  // namespace Hardware
