#include "hardware/dsproc_receiver.h"

#include <fcntl.h>

#include <bit>
#include <iostream>
#include <string>

#include "config/trace_ctl.h"
#include "core/errno_text.h"
#include "core/output.h"
#include "hardware/device_names.h"
#include "hardware/driver.h"

namespace Hardware {

namespace {

// The live receivers in construction order; an event goes to the first one
// on its time slot.
Containers::CyclicList receivers;

using ConfigureRecord = ByteRecord<Dsproc::kConfigureSize>;

}  // namespace

DSProcReceiverService& DSProcReceiverService::instance() {
    static DSProcReceiverService service;
    return service;
}

DSProcReceiverService::DSProcReceiverService()
    : DetectorService({GetDSPDevName, O_RDWR, "dsproc", "open dsproc fail, VAD proceeding disabled",
                       "DSProcReceiverService::OnEvent", Dsproc::kEventSize}) {
    static_assert(Dsproc::kEventSize <= kMaxRecord);
}

bool DSProcReceiverService::Configure(std::uint32_t ts, Dsproc::Feature kind, ConfigureRecord& rec,
                                      const char* failName) {
    rec.put32(0, ts);
    rec.put32(4, kind);
    return Request(ts, Dsproc::CONFIGURE, rec.data(), failName);
}

bool DSProcReceiverService::configureVAD(std::uint32_t ts, const LGCP::VADParams& params) {
    if (!Opened(ts, "configure VAD fail: (interface not opened)")) return false;
    ConfigureRecord rec;
    if (driver().ioctl_value(fd(), Dsproc::VERSION, 0) == 2) {
        if (!params.v2_isSelected()) {
            std::cerr << "DSPROC_CONFIGURE VAD: params not specified for v2: " << " timeslot=" << ts << std::endl;
            return false;
        }
        const TERM::VADParamsV2& v2 = params.get_v2();
        rec.put16(8, static_cast<std::uint16_t>(v2.get_voice_th_msec().getValue()));
        rec.put16(10, static_cast<std::uint16_t>(v2.get_silence_th_msec().getValue()));
        rec.put8(12, static_cast<std::uint8_t>(v2.get_e_th_dB().getValue()));
    } else {
        // Older drivers take their own fixed thresholds.
        rec.put32(8, 3);
        rec.put32(12, 127);
        rec.put32(16, 0);
    }
    if (!Configure(ts, Dsproc::VAD, rec, "DSPROC_CONFIGURE VAD")) return false;
    std::clog << "DSPROC_CONFIGURE VAD" << " ts=" << ts << std::endl;
    return true;
}

bool DSProcReceiverService::configureSD(std::uint32_t ts) {
    if (!Opened(ts, "configure SD fail: (interface not opened)")) return false;
    ConfigureRecord rec;
    if (!Configure(ts, Dsproc::SD, rec, "DSPROC_CONFIGURE SD")) return false;
    std::clog << "DSPROC_CONFIGURE SD" << " ts=" << ts << std::endl;
    return true;
}

void DSProcReceiverService::configureDelays(std::uint32_t ts, unsigned rx, unsigned tx) {
    if (!Opened(ts, "configure Delays fail: (interface not opened)")) return;
    ConfigureRecord rec;
    rec.put32(8, rx);
    rec.put32(12, tx);
    if (!Configure(ts, Dsproc::DELAYS, rec, "DSPROC_CONFIGURE DELAYS")) return;
    std::clog << "DSPROC_CONFIGURE DELAYS" << " ts=" << ts << " rx=" << rx << " tx=" << tx << std::endl;
}

void DSProcReceiverService::configureRxGain(std::uint32_t ts, std::int8_t gain) {
    if (!Opened(ts, "Configure Rx gain fail: (interface not opened)")) return;
    auto byte = static_cast<std::uint8_t>(gain);
    ConfigureRecord rec;
    rec.put8(8, byte);
    if (!Configure(ts, Dsproc::RX_GAIN, rec, "DSPROC_CONFIGURE Rx Gain")) return;
    std::clog << "DSPROC_CONFIGURE RX GAIN" << " ts=" << ts << " gain_dB=" << unsigned{byte} << std::endl;
}

void DSProcReceiverService::configureToneFilter(std::uint32_t ts, unsigned freq, unsigned enable, int durationMs,
                                                int levelDb) {
    if (!Opened(ts, "Configure Tone Filter fail: (interface not opened)")) return;
    ConfigureRecord rec;
    rec.put16(8, static_cast<std::uint16_t>(freq));
    rec.put8(10, static_cast<std::uint8_t>(enable));
    rec.put16(12, static_cast<std::uint16_t>(durationMs));
    rec.put8(14, static_cast<std::uint8_t>(levelDb));
    if (!Configure(ts, Dsproc::TONE_FILTER, rec, "DSPROC_CONFIGURE Tone Filter")) return;
    std::clog << "DSPROC_CONFIGURE TONE FILTER" << " ts=" << ts << " freq=" << freq << ", en=" << enable
              << ", dur_th_msec=" << durationMs << ", det_lvl_dB=" << levelDb << std::endl;
}

void DSProcReceiverService::disableToneAll(DSProcReceiver& receiver) {
    std::uint32_t ts = receiver.dsproc_timeslot();
    if (!Opened(ts, "Disable All Tone fail: (interface not opened)")) return;
    ByteRecord<12> rec;
    rec.put32(0, ts);
    rec.put32(8, Dsproc::TONE_FILTER);
    if (!Request(ts, Dsproc::DISABLE, rec.data(), "Disable All Tone")) return;
    std::clog << "DISABLE ALL TONE done: " << " ts=" << ts << std::endl;
}

// One request per change: `state` and `id` are the receiver's for the
// feature and change only when the request succeeds.
bool DSProcReceiverService::Enable(DSProcReceiver& receiver, std::uint32_t mask, const char* name,
                                   std::int32_t& state, std::uint32_t& id, bool on) {
    if ((state == 0 || state == 1) && state == (on ? 1 : 0)) return true;
    std::uint32_t ts = receiver.dsproc_timeslot();
    ByteRecord<12> rec;
    rec.put32(0, ts);
    rec.put32(8, mask);
    if (on) {
        std::uint32_t newId = NextId();
        rec.put32(4, newId);
        if (driver().ioctl(RequestFd(), Dsproc::ENABLE, rec.data()) < 0) {
            Errno error;
            std::cerr << "DSPROC_ENABLE " << name << " fail:" << " timeslot=" << ts << " id=" << newId
                      << " errno=" << ext::quoted(error) << std::endl;
            return false;
        }
        id = newId;
        state = 1;
        std::cerr << "DSPROC_ENABLE " << name << " done:" << " timeslot=" << ts << " id=" << id << std::endl;
        return true;
    }
    if (!Request(ts, Dsproc::DISABLE, rec.data(), std::string("DSPROC_DISABLE ") + name)) return false;
    state = 0;
    std::cerr << "DSPROC_DISABLE " << name << " done:" << " timeslot=" << ts << std::endl;
    return true;
}

bool DSProcReceiverService::enableVAD(DSProcReceiver& r, bool on) {
    return Enable(r, Dsproc::VAD, "VAD", r.vadState, r.vadId, on);
}

bool DSProcReceiverService::enableSD(DSProcReceiver& r, bool on) {
    return Enable(r, Dsproc::SD, "SD", r.sdState, r.sdId, on);
}

bool DSProcReceiverService::enableBSS(DSProcReceiver& r, bool on) {
    return Enable(r, Dsproc::BSS, "BSS", r.bssState, r.bssId, on);
}

bool DSProcReceiverService::enableNG(DSProcReceiver& r, bool on) {
    return Enable(r, Dsproc::NG, "NG", r.ngState, r.ngId, on);
}

bool DSProcReceiverService::enableMute(DSProcReceiver& r, bool rx, bool tx) {
    auto known = [](std::int32_t state) { return state == 0 || state == 1; };
    if (known(r.muteRxState) && known(r.muteTxState) && r.muteRxState == (rx ? 1 : 0) &&
        r.muteTxState == (tx ? 1 : 0))
        return true;
    std::int32_t state = (rx || tx) ? 0 : 1;  // forces the request
    std::uint32_t mask = (rx || tx) ? (rx ? Dsproc::MUTE_RX : 0u) | (tx ? Dsproc::MUTE_TX : 0u)
                                    : (Dsproc::MUTE_RX | Dsproc::MUTE_TX);
    if (!Enable(r, mask, "MUTE", state, r.muteId, rx || tx)) return false;
    r.muteRxState = rx ? 1 : 0;
    r.muteTxState = tx ? 1 : 0;
    return true;
}

void DSProcReceiverService::IRecord(const unsigned char* record) {
    Route(ByteRecord<Dsproc::kEventSize>(record));
}

namespace {

void TraceEvent(std::uint32_t ts, std::uint32_t id, std::uint32_t type, std::uint32_t d0, std::uint32_t d1,
                std::uint32_t d2) {
    std::clog << "dsproc event: " << " timeslot=" << ts << " id=" << id << " type=" << type << std::endl;
    switch (type) {
        case Dsproc::VAD:
            std::clog << "dsproc vad event: " << " dir_mask=" << d0 << " vad_rx=" << static_cast<std::int32_t>(d1)
                      << " vad_tx=" << static_cast<std::int32_t>(d2) << std::endl;
            break;
        case Dsproc::SD:
            std::clog << "dsproc sd event: " << " sd_rx=" << static_cast<std::int32_t>(d0) << std::endl;
            break;
        case Dsproc::BSS:
            std::clog << "dsproc bss event: " << " score=" << std::bit_cast<float>(d0) << std::endl;
            break;
        case Dsproc::FLAGS:
            std::clog << "dsproc flags event: " << " flags=" << std::hex << d0 << ", mask=" << d1 << std::dec
                      << std::endl;
            break;
        default:
            break;
    }
}

}  // namespace

void DSProcReceiverService::Route(const ByteRecord<Dsproc::kEventSize>& rec) {
    const std::uint32_t ts = rec.get32(0), id = rec.get32(4), type = rec.get32(8);
    const std::uint32_t d0 = rec.get32(12), d1 = rec.get32(16), d2 = rec.get32(20);
    const bool trace = traces.signalling.events;
    if (trace) TraceEvent(ts, id, type, d0, d1, d2);

    auto fields = [&](std::ostream& os) -> std::ostream& {
        return os << " timeslot=" << ts << " id=" << id << " type=" << type;
    };
    // The two tests of a detecting feature; true when the event may pass.
    auto accepted = [&](const char* what, std::int32_t state, std::uint32_t rid) {
        if (state == 0) {
            if (trace) fields(std::clog << "ignore spurious dsproc " << what << " event (dsproc disabled): ") << std::endl;
            return false;
        }
        if (rid != id) {
            if (trace) fields(std::clog << "ignore spurious dsproc " << what << " event: ") << " rid=" << rid << std::endl;
            return false;
        }
        return true;
    };

    for (auto it = receivers.begin(); it != receivers.end(); ++it) {
        DSProcReceiver* r = Containers::offset(*it, &DSProcReceiver::node);
        if (r->dsproc_timeslot() != ts) continue;
        switch (type) {
            case Dsproc::VAD:
                if (accepted("vad", r->vadState, r->vadId)) {
                    DSProcVADEvent event{-1, -1};
                    if (d0 & 1) event.rx = static_cast<std::int32_t>(d1);
                    if (d0 & 2) event.tx = static_cast<std::int32_t>(d2);
                    r->dsproc_vad_event(event);
                }
                break;
            case Dsproc::SD:
                if (accepted("sd", r->sdState, r->sdId)) r->dsproc_sd_event(DSProcSDEvent{static_cast<std::int32_t>(d0)});
                break;
            case Dsproc::BSS:
                // Its id is not compared.
                if (r->bssState == 0) {
                    if (trace) fields(std::clog << "ignore spurious dsproc bss event (dsproc disabled): ") << std::endl;
                } else {
                    dsproc_bss_event event{std::bit_cast<float>(d0)};
                    r->dsproc_bss_event(&event);
                }
                break;
            case Dsproc::FLAGS: {
                dsproc_flags_event event{d0, d1};
                r->dsproc_flags_event(&event);
                break;
            }
            case Dsproc::TONE_FILTER: {
                dsproc_tone_event event{d0, d1};
                r->dsproc_tone_flt_event(&event);
                break;
            }
            default:
                break;
        }
        return;
    }
    if (trace) std::cerr << "receive dsproc event from unknown timeslot " << ts << std::endl;
}

DSProcReceiver::DSProcReceiver() {
    receivers.AddToTail(&node);
}

// The node unlinks itself.
DSProcReceiver::~DSProcReceiver() = default;

bool DSProcReceiver::configureVAD(const LGCP::VADParams& params) {
    return DSProcReceiverService::instance().configureVAD(dsproc_timeslot(), params);
}

bool DSProcReceiver::configureSD() {
    return DSProcReceiverService::instance().configureSD(dsproc_timeslot());
}

void DSProcReceiver::configureToneFilter(unsigned freq, unsigned enable, int durationMs, int levelDb) {
    DSProcReceiverService::instance().configureToneFilter(dsproc_timeslot(), freq, enable, durationMs, levelDb);
}

bool DSProcReceiver::enableVAD(bool on) {
    return DSProcReceiverService::instance().enableVAD(*this, on);
}

bool DSProcReceiver::enableSD(bool on) {
    return DSProcReceiverService::instance().enableSD(*this, on);
}

bool DSProcReceiver::enableBSS(bool on) {
    return DSProcReceiverService::instance().enableBSS(*this, on);
}

bool DSProcReceiver::enableNG(bool on) {
    return DSProcReceiverService::instance().enableNG(*this, on);
}

bool DSProcReceiver::enableMute(bool rx, bool tx) {
    return DSProcReceiverService::instance().enableMute(*this, rx, tx);
}

void DSProcReceiver::configureDelays(unsigned rx, unsigned tx) {
    DSProcReceiverService::instance().configureDelays(dsproc_timeslot(), rx, tx);
    delaysSet = rx != 0 || tx != 0;
}

void DSProcReceiver::configureRxGain(std::int8_t gain) {
    DSProcReceiverService::instance().configureRxGain(dsproc_timeslot(), gain);
    rxGainSet = gain != 0;
}

void DSProcReceiver::disableToneAll() {
    DSProcReceiverService::instance().disableToneAll(*this);
}

void DSProcReceiver::CleanBeforeDestroy() {
    if (vadState > 0) enableVAD(false);
    // SD and mute too: no detector may outlive its channel.
    if (sdState > 0) disableSD();
    if (bssState > 0) disableBSS();
    if (ngState > 0) disableNG();
    if (muteRxState > 0 || muteTxState > 0) disableMute();
    if (delaysSet) configureDelays(0, 0);
    if (rxGainSet) configureRxGain(0);
    disableToneAll();
}

}  // namespace Hardware
