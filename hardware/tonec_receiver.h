// The tone device /dev/dtmf: per DSP time slot a DTMF detector, an IVA
// detector, a DTMF rejection filter, an echo canceller and a tone generator.
// One service owns the descriptor and routes the detector events by time slot
// and detector id to the channels that derive from TonecReceiver.
#pragma once

#include <cstdint>

#include "core/cyclic_list.h"
#include "core/timer.h"
#include "hardware/detector_service.h"
#include "protocol/LGCP.h"
#include "protocol/TERM.h"

namespace Hardware {

class TonecReceiver;

class TonecReceiverService final : public DetectorService {
public:
    static TonecReceiverService& instance();

    // Tests build their own; channels use instance().
    TonecReceiverService();
    ~TonecReceiverService() = default;

    bool configureDTMF(std::uint32_t ts, const LGCP::DTMFParams& params);
    bool echoCancel(std::uint32_t ts, bool on);
    bool enableDTMFReject(std::uint32_t ts, bool on);
    bool enableDTMF(TonecReceiver& receiver, bool on);
    bool enableToneGenerator(std::uint32_t ts, std::uint16_t freq1, std::uint16_t freq2, std::uint16_t amp1,
                             std::uint16_t amp2);
    bool configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params);
    bool enableIVA(TonecReceiver& receiver, bool on);
    void translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command);

private:
    bool Switch(std::uint32_t ts, bool on, unsigned long onRequest, unsigned long offRequest, const char* base,
                const char* onSuffix, const char* offSuffix);
    void IRecord(const unsigned char* record) override;
    void Route(std::uint32_t code, std::uint32_t ts, std::uint32_t timestamp, std::uint32_t id);
};

class TonecReceiver {
public:
    struct Params {
        std::uint32_t code = 0;
        std::uint32_t timestamp = 0;
    };

    TonecReceiver();
    virtual ~TonecReceiver();
    TonecReceiver(const TonecReceiver&) = delete;
    TonecReceiver& operator=(const TonecReceiver&) = delete;

    // What the channel supplies: its tone time slot (fixed while a detector is
    // on), the routed events and the end of a played digit string.
    virtual void tonec_event(const Params& params) = 0;
    virtual std::uint32_t tonec_timeslot() const = 0;
    virtual void tone_gen_complete() {}

    bool configureDTMF(const LGCP::DTMFParams& params);
    bool enableDTMF(bool on);
    bool disableDTMF();
    bool echoCancel(bool on);
    bool enableDTMFReject(bool on);
    bool enableIVA(bool on);
    bool configureIVA(const LGCP::IVAParams& params);
    void translateSelcal(const TERM::SelcalCommand& command);
    bool enableToneGenerator(std::uint16_t freq1, std::uint16_t freq2, std::uint16_t amp1, std::uint16_t amp2);
    // The generator keeps running at amplitude 0.
    bool enableSilence();
    // Without force it acts only while a digit string plays.
    bool disableToneGenerator(bool force);

    // Plays the digits; a string given while one plays replaces the digits
    // not yet played.
    void translateDTMF(const LGCP::TranslateDtmfParams& params);
    bool is_inDTMFTransmit() const { return inDTMFTransmit; }
    // Ring-back: 1000 ms of 425 Hz, 3000 ms of silence, until cancelled.
    void activateAudibleCall();
    void cancelAudibleCall();

    // Undoes what the channel switched on; called from the channel's
    // destructor while tonec_timeslot() still answers.
    void CleanBeforeDestroy();

    // Events are routed while either detector is on.
    bool enabled() const { return dtmfEnabled || ivaEnabled; }
    bool isDTMFEnabled() const { return dtmfEnabled; }
    bool isIVAEnabled() const { return ivaEnabled; }
    std::uint32_t id() const { return id_; }

    static constexpr unsigned kDefaultDuration = 70;  // ms, tone and pause
    static constexpr std::uint16_t kDefaultAmplitude = 16384;

private:
    friend class TonecReceiverService;

    void on_DTMFPauseFinish(Timer*);
    void on_DTMFToneFinish(Timer*);
    void on_waitPauseFinish(Timer*);
    void on_waitToneFinish(Timer*);

    Timer timer;
    bool inDTMFTransmit = false;
    std::uint32_t id_ = 0;  // of the last successful DTMF enable
    LGCP::TranslateDtmfParams dtmfParams;
    Containers::CyclicList node;
    // Kept apart: switching IVA never changes whether DTMF detection is on.
    bool dtmfEnabled = false;
    bool ivaEnabled = false;
    bool dtmfRejectEnabled = false;
};

}  // namespace Hardware
