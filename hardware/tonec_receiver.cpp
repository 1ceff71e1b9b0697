#include "hardware/tonec_receiver.h"

#include <fcntl.h>

#include <iostream>
#include <string>

#include "core/errno_text.h"
#include "core/output.h"
#include "hardware/board_record.h"
#include "hardware/device_names.h"
#include "hardware/driver.h"
#include "hardware/tonec_requests.h"

namespace Hardware {

namespace {

// The live receivers in construction order; an event goes to the first one
// on its time slot.
Containers::CyclicList receivers;

}  // namespace

TonecReceiverService& TonecReceiverService::instance() {
    static TonecReceiverService service;
    return service;
}

TonecReceiverService::TonecReceiverService()
    : DetectorService({GetDTMFDevName, O_RDONLY, "tonec", "open tonec fail, DTMF proceeding disabled",
                       "TonecReceiverService::OnEvent", Tonec::kEventSize}) {
    static_assert(Tonec::kEventSize <= kMaxRecord);
}

bool TonecReceiverService::configureDTMF(std::uint32_t ts, const LGCP::DTMFParams& params) {
    if (!Opened(ts, "configure DTMF fail: (interface not opened)")) return false;
    unsigned twist = params.get_threshold().get_twist().getValue();
    unsigned ratio = params.get_threshold().get_ratio().getValue();
    unsigned noise = params.get_threshold().get_noise().getValue();
    unsigned silence = params.get_level().get_silence().getValue();
    ByteRecord<20> rec;
    rec.put32(0, ts);
    rec.put32(4, twist);
    rec.put32(8, ratio);
    rec.put32(12, silence);
    rec.put32(16, noise);
    if (!Request(ts, Tonec::DTMF_CONFIGURE_DETECTOR, rec.data(), "DTMF_CONFIGURE_DETECTOR")) return false;
    std::clog << "DTMF_CONFIGURE_DETECTOR" << " ts=" << ts << " twist=" << twist << " ratio=" << ratio
              << " noise=" << noise << " silence=" << silence << std::endl;
    return true;
}

bool TonecReceiverService::Switch(std::uint32_t ts, bool on, unsigned long onRequest, unsigned long offRequest,
                                  const char* base, const char* onSuffix, const char* offSuffix) {
    const char* suffix = on ? onSuffix : offSuffix;
    if (!RequestValue(ts, on ? onRequest : offRequest, ts, std::string(base) + suffix)) return false;
    std::clog << base << suffix << "[" << ts << "] ok" << std::endl;
    return true;
}

bool TonecReceiverService::echoCancel(std::uint32_t ts, bool on) {
    return Switch(ts, on, Tonec::CHANNEL_LMS_ON, Tonec::CHANNEL_LMS_OFF, "CHANNEL_LMS", "_ON", "_OFF");
}

bool TonecReceiverService::enableDTMFReject(std::uint32_t ts, bool on) {
    return Switch(ts, on, Tonec::DTMF_REJECTION_ENABLE, Tonec::DTMF_REJECTION_DISABLE, "DTMF_REJECTION", "_ENABLE",
                  "_DISABLE");
}

bool TonecReceiverService::enableIVA(TonecReceiver& receiver, bool on) {
    if (!Switch(receiver.tonec_timeslot(), on, Tonec::IVA_DETECTOR_ENABLE, Tonec::IVA_DETECTOR_DISABLE,
                "IVA_DETECTOR", "_ENABLE", "_DISABLE"))
        return false;
    receiver.ivaEnabled = on;
    return true;
}

bool TonecReceiverService::enableDTMF(TonecReceiver& receiver, bool on) {
    if (receiver.dtmfEnabled == on) return true;
    std::uint32_t ts = receiver.tonec_timeslot();
    if (on) {
        const std::uint32_t id = NextId();
        ByteRecord<8> rec;
        rec.put32(0, ts);
        rec.put32(4, id);
        if (driver().ioctl(RequestFd(), Tonec::DTMF_ENABLE_DETECTOR, rec.data()) < 0) {
            Errno error;
            std::cerr << "DTMF_ENABLE_DETECTOR fail:" << " timeslot=" << ts << " id=" << id
                      << " errno=" << ext::quoted(error) << std::endl;
            return false;
        }
        receiver.id_ = id;
        receiver.dtmfEnabled = true;
        std::cerr << "DTMF_ENABLE_DETECTOR done:" << " timeslot=" << ts << " id=" << receiver.id_ << std::endl;
        return true;
    }
    if (!RequestValue(ts, Tonec::DTMF_DISABLE_DETECTOR, ts, "DTMF_DISABLE_DETECTOR")) return false;
    receiver.dtmfEnabled = false;
    std::cerr << "DTMF_DISABLE_DETECTOR done:" << " timeslot=" << ts << std::endl;
    return true;
}

bool TonecReceiverService::enableToneGenerator(std::uint32_t ts, std::uint16_t freq1, std::uint16_t freq2,
                                               std::uint16_t amp1, std::uint16_t amp2) {
    ByteRecord<12> rec;
    rec.put32(0, ts);
    rec.put16(4, freq1);
    rec.put16(6, freq2);
    rec.put16(8, amp1);
    rec.put16(10, amp2);
    return Request(ts, Tonec::DTMF_DIAL, rec.data(), "DTMF_DIAL");
}

bool TonecReceiverService::configureIVA(TonecReceiver& receiver, const LGCP::IVAParams& params) {
    std::uint32_t ts = receiver.tonec_timeslot();
    if (!Opened(ts, "configure IVA fail: (interface not opened)")) return false;
    int level = params.get_det_lvl_dB().getValue();
    ByteRecord<8> rec;
    rec.put32(0, ts);
    rec.put32(4, static_cast<std::uint32_t>(level));
    if (!Request(ts, Tonec::IVA_CONFIGURE_DETECTOR, rec.data(), "IVA_CONFIGURE_DETECTOR")) return false;
    std::clog << "IVA_CONFIGURE_DETECTOR" << " ts=" << ts << " det_lvl_dB=" << level << std::endl;
    return true;
}

void TonecReceiverService::translateSelcal(TonecReceiver& receiver, const TERM::SelcalCommand& command) {
    std::uint32_t ts = receiver.tonec_timeslot();
    const std::string& signs = command.get_signs();
    if (signs.size() < 4) {
        std::cerr << "SELCAL_DIAL fail:" << " timeslot=" << ts << " incorect signs:" << signs << std::endl;
        return;
    }
    constexpr std::uint16_t kDefaultAmplitude = 12000;
    ByteRecord<12> rec;
    rec.put32(0, ts);
    rec.put16(4, command.amp_isPresent() ? static_cast<std::uint16_t>(command.get_amp().getValue())
                                         : kDefaultAmplitude);
    for (std::size_t i = 0; i < 4; ++i) rec.put8(6 + i, static_cast<std::uint8_t>(signs[i]));
    Request(ts, Tonec::SELCAL_DIAL, rec.data(), "SELCAL_DIAL");
}

void TonecReceiverService::IRecord(const unsigned char* record) {
    const ByteRecord<Tonec::kEventSize> rec(record);
    Route(rec.get32(0), rec.get32(4), rec.get32(8), rec.get32(12));
}

void TonecReceiverService::Route(std::uint32_t code, std::uint32_t ts, std::uint32_t timestamp, std::uint32_t id) {
    auto fields = [&](std::ostream& os) -> std::ostream& {
        return os << " timestamp=" << timestamp << " timeslot=" << ts << " code=" << code << " id=" << id;
    };
    fields(std::clog << "dtmf event: ") << std::endl;
    for (auto it = receivers.begin(); it != receivers.end(); ++it) {
        TonecReceiver* receiver = Containers::offset(*it, &TonecReceiver::node);
        if (receiver->tonec_timeslot() != ts) continue;
        if (!receiver->enabled()) {
            fields(std::clog << "ignore spurious dtmf event (DTMF disabled): ") << std::endl;
        } else if (receiver->id_ != id) {
            fields(std::clog << "ignore spurious dtmf event: ") << " rid=" << receiver->id_ << std::endl;
        } else {
            receiver->tonec_event(TonecReceiver::Params{code, timestamp});
        }
        return;
    }
    std::cerr << "receive tonec event from unknown timeslot " << ts << std::endl;
}

TonecReceiver::TonecReceiver() {
    receivers.AddToTail(&node);
}

// The node unlinks itself and the timer cancels a pending expiry.
TonecReceiver::~TonecReceiver() = default;

bool TonecReceiver::configureDTMF(const LGCP::DTMFParams& params) {
    return TonecReceiverService::instance().configureDTMF(tonec_timeslot(), params);
}

bool TonecReceiver::enableDTMF(bool on) {
    return TonecReceiverService::instance().enableDTMF(*this, on);
}

bool TonecReceiver::disableDTMF() {
    return TonecReceiverService::instance().enableDTMF(*this, false);
}

bool TonecReceiver::echoCancel(bool on) {
    return TonecReceiverService::instance().echoCancel(tonec_timeslot(), on);
}

bool TonecReceiver::enableDTMFReject(bool on) {
    if (!TonecReceiverService::instance().enableDTMFReject(tonec_timeslot(), on)) return false;
    dtmfRejectEnabled = on;
    return true;
}

bool TonecReceiver::enableIVA(bool on) {
    return TonecReceiverService::instance().enableIVA(*this, on);
}

bool TonecReceiver::configureIVA(const LGCP::IVAParams& params) {
    return TonecReceiverService::instance().configureIVA(*this, params);
}

void TonecReceiver::translateSelcal(const TERM::SelcalCommand& command) {
    TonecReceiverService::instance().translateSelcal(*this, command);
}

bool TonecReceiver::enableToneGenerator(std::uint16_t freq1, std::uint16_t freq2, std::uint16_t amp1,
                                        std::uint16_t amp2) {
    return TonecReceiverService::instance().enableToneGenerator(tonec_timeslot(), freq1, freq2, amp1, amp2);
}

bool TonecReceiver::enableSilence() {
    return enableToneGenerator(1000, 1000, 0, 0);
}

bool TonecReceiver::disableToneGenerator(bool force) {
    if (!force && !inDTMFTransmit) return false;
    if (inDTMFTransmit) {
        timer.reset();
        inDTMFTransmit = false;
    }
    return enableToneGenerator(0, 0, 0, 0);
}

namespace {

constexpr unsigned kLongestDuration = 60000;  // ms

// A duration from the controller; out of range it would queue a timer that
// the loop takes for a broken clock.
unsigned Duration(const char* what, const ASN1::INTEGER* given) {
    if (given == nullptr) return TonecReceiver::kDefaultDuration;
    int ms = given->getValue();
    if (ms >= 0 && static_cast<unsigned>(ms) <= kLongestDuration) return static_cast<unsigned>(ms);
    unsigned used = ms < 0 ? 0 : kLongestDuration;
    std::clog << "DTMF " << what << " duration out of range: " << ms << ", " << used << " used" << std::endl;
    return used;
}

}  // namespace

void TonecReceiver::translateDTMF(const LGCP::TranslateDtmfParams& params) {
    dtmfParams = params;
    if (inDTMFTransmit) return;
    inDTMFTransmit = true;
    on_DTMFPauseFinish(nullptr);
}

void TonecReceiver::on_DTMFPauseFinish(Timer*) {
    auto& digits = dtmfParams.set_digits();
    if (digits.empty()) {
        disableToneGenerator(true);
        tone_gen_complete();
        return;
    }
    const LGCP::DualTone& tone = digits[0];
    auto low16 = [](int v) { return static_cast<std::uint16_t>(v); };
    std::uint16_t amp1 = dtmfParams.amp1_isPresent() ? low16(dtmfParams.get_amp1().getValue()) : kDefaultAmplitude;
    std::uint16_t amp2 = dtmfParams.amp2_isPresent() ? low16(dtmfParams.get_amp2().getValue()) : kDefaultAmplitude;
    enableToneGenerator(low16(tone.get_freq1().getValue()), low16(tone.get_freq2().getValue()), amp1, amp2);
    digits.erase(digits.begin());
    unsigned ms = Duration("tone", dtmfParams.toneDuration_isPresent() ? &dtmfParams.get_toneDuration() : nullptr);
    timer.set(ms, &TonecReceiver::on_DTMFToneFinish, this);
}

void TonecReceiver::on_DTMFToneFinish(Timer*) {
    enableSilence();
    unsigned ms =
        Duration("pause", dtmfParams.pauseDuration_isPresent() ? &dtmfParams.get_pauseDuration() : nullptr);
    timer.set(ms, &TonecReceiver::on_DTMFPauseFinish, this);
}

void TonecReceiver::activateAudibleCall() {
    // The digits own the generator and the timer until they are played out.
    if (inDTMFTransmit) {
        std::clog << "ring-back not started: digits playing" << " timeslot=" << tonec_timeslot() << std::endl;
        return;
    }
    on_waitPauseFinish(nullptr);
}

void TonecReceiver::cancelAudibleCall() {
    if (inDTMFTransmit) return;
    timer.reset();
    enableToneGenerator(0, 0, 0, 0);
}

void TonecReceiver::on_waitPauseFinish(Timer*) {
    enableToneGenerator(425, 0, 2048, 2048);
    timer.set(1000, &TonecReceiver::on_waitToneFinish, this);
}

void TonecReceiver::on_waitToneFinish(Timer*) {
    enableSilence();
    timer.set(3000, &TonecReceiver::on_waitPauseFinish, this);
}

void TonecReceiver::CleanBeforeDestroy() {
    if (dtmfEnabled) disableDTMF();
    if (ivaEnabled) enableIVA(false);
    if (dtmfRejectEnabled) enableDTMFReject(false);
    // A tone still playing (digits or ring-back) would outlive the channel.
    if (inDTMFTransmit || timer.is_running()) {
        timer.reset();
        inDTMFTransmit = false;
        enableToneGenerator(0, 0, 0, 0);
    }
}

}  // namespace Hardware
