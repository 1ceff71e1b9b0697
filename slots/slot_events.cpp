// The signals a slot sends for the events of its tone and DSP detectors.
#include <cstdio>
#include <iostream>

#include "hardware/dsproc_receiver.h"
#include "slots/slot.h"

namespace {

constexpr int kCed = 17;
constexpr int kCng = 18;
constexpr int kLastDigit = 127;
// IVA codes sit above the low byte; the last one is ring-off.
constexpr int kLastIvaCode = 20;
constexpr int kIvaRingOff = 21;

}  // namespace

void Slot::processTonecEvent(int code, std::uint32_t timestamp) {
    LGCP::TonecEvent event;
    event.set_timestamp(static_cast<int>(timestamp));
    LGCP::TonecCode& tone = event.set_event();
    if (code == kCed) {
        tone.select_ced();
    } else if (code == kCng) {
        tone.select_cng();
    } else if (code >= 0 && code <= kLastDigit) {
        tone.select_dtmf(static_cast<unsigned>(code));
    } else if (int iva = code >> 8; iva >= 1 && iva <= kLastIvaCode) {
        tone.select_iva().select_code(static_cast<unsigned>(iva));
    } else if (iva == kIvaRingOff) {
        tone.select_iva().select_ringoff();
    } else {
        std::cerr << "bad DTMF code, ignored." << std::endl;
        return;
    }
    SendSignal(LGCP::Signal(LGCP::Signal::tonec::id, event));
}

void Slot::processToneFltEvent(const dsproc_tone_event* event) {
    LGCP::TonecEvent tonec;
    tonec.set_timestamp(0);
    LGCP::TonePresence& presence = tonec.set_event().select_tone_presence();
    presence.set_freq(static_cast<int>(event->freq));
    presence.set_presence(event->presence != 0);
    SendSignal(LGCP::Signal(LGCP::Signal::tonec::id, tonec));
}

void Slot::processToneGenEvent() {
    LGCP::TonecEvent tonec;
    tonec.set_timestamp(0);
    tonec.set_event().select_dtmfDone();
    SendSignal(LGCP::Signal(LGCP::Signal::tonec::id, tonec));
}

void Slot::processFlagsEvent(const dsproc_flags_event* event) {
    namespace Dsproc = Hardware::Dsproc;
    const std::uint32_t flags = event->flags, mask = event->mask;
    if (mask & (Dsproc::kFlagVoiceRx | Dsproc::kFlagVoiceTx)) {
        LGCP::VADEvent vad;
        if (mask & Dsproc::kFlagVoiceRx) vad.set_vad_rx((flags & Dsproc::kFlagVoiceRx) != 0);
        if (mask & Dsproc::kFlagVoiceTx) vad.set_vad_tx((flags & Dsproc::kFlagVoiceTx) != 0);
        SendSignal(LGCP::Signal(LGCP::Signal::vad::id, vad));
    }
    if (mask & Dsproc::kFlagSelcal) {
        LGCP::SelcalEvent selcal;
        selcal.set_in_progress((flags & Dsproc::kFlagSelcal) != 0);
        SendSignal(LGCP::Signal(LGCP::Signal::selcal::id, selcal));
    }
}

void Slot::processVADEvent(const Hardware::DSProcVADEvent& event) {
    if (event.rx < 0 && event.tx < 0) {
        std::cerr << "bad VAD event, ignored." << std::endl;
        return;
    }
    LGCP::VADEvent vad;
    if (event.rx >= 0) vad.set_vad_rx(event.rx != 0);
    if (event.tx >= 0) vad.set_vad_tx(event.tx != 0);
    SendSignal(LGCP::Signal(LGCP::Signal::vad::id, vad));
}

void Slot::processSDEvent(const Hardware::DSProcSDEvent& event) {
    LGCP::SDEvent sd;
    sd.set_sd_rx(event.rx != 0);
    SendSignal(LGCP::Signal(LGCP::Signal::sd::id, sd));
}

void Slot::processBSSEvent(const dsproc_bss_event* event) {
    char score[31];  // at most 30 characters
    std::snprintf(score, sizeof score, "%4.6f", static_cast<double>(event->score));
    LGCP::BSSEvent bss;
    bss.set_score(score);
    SendSignal(LGCP::Signal(LGCP::Signal::bss::id, bss));
}

void Slot::processRtpEvent(int value, int timeout) {
    LGCP::RtpEvent rtp;
    LGCP::RtpPDEvent& pd = rtp.select_pd();
    pd.set_value(value);
    pd.set_timeout(timeout);
    SendSignal(LGCP::Signal(LGCP::Signal::rtp::id, rtp));
}
