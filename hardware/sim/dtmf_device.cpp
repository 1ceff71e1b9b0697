#include "hardware/sim/dtmf_device.h"

#include <cerrno>

#include "core/clock.h"
#include "hardware/board_record.h"
#include "hardware/tonec_requests.h"

namespace Sim {

namespace Tonec = Hardware::Tonec;

DtmfDevice::DtmfDevice() : BroadcastDevice(Tonec::kPath) {}

void DtmfDevice::IReset() {
    slots_.clear();
    ClearHistory();
}

void DtmfDevice::ClearHistory() {
    tones_.clear();
    selcals_.clear();
}

DtmfDevice::Slot DtmfDevice::slot(std::uint32_t ts) const {
    auto it = slots_.find(ts);
    return it == slots_.end() ? Slot{} : it->second;
}

bool DtmfDevice::DetectorOn(std::uint32_t ts) const {
    Slot s = slot(ts);
    return s.dtmf || s.iva || s.reject;
}

int DtmfDevice::IIoctl(OpenFile&, unsigned long request, void* record, std::size_t size) {
    if (record == nullptr || size < 4) return -EINVAL;
    const auto* bytes = static_cast<const unsigned char*>(record);
    auto get32 = [bytes](std::size_t off) { return Hardware::ByteRecord<4>(bytes + off).get32(0); };
    auto get16 = [bytes](std::size_t off) { return Hardware::ByteRecord<2>(bytes + off).get16(0); };
    std::uint32_t ts = get32(0);
    Slot& s = slots_[ts];
    switch (request) {
        case Tonec::DTMF_CONFIGURE_DETECTOR:
            s.dtmfConfig = DtmfConfig{get32(4), get32(8), get32(12), get32(16)};
            return 0;
        case Tonec::DTMF_ENABLE_DETECTOR:
            s.dtmf = true;
            s.id = get32(4);
            return 0;
        case Tonec::DTMF_DISABLE_DETECTOR:
            s.dtmf = false;
            return 0;
        case Tonec::DTMF_DIAL:
            s.tone = Tone{get16(4), get16(6), get16(8), get16(10)};
            if (tones_.size() >= kHistoryLimit) tones_.pop_front();
            tones_.push_back({ts, Mux::milliseconds(), s.tone});
            return 0;
        case Tonec::CHANNEL_LMS_ON:
        case Tonec::CHANNEL_LMS_OFF:
            s.lms = request == Tonec::CHANNEL_LMS_ON;
            return 0;
        case Tonec::DTMF_REJECTION_ENABLE:
        case Tonec::DTMF_REJECTION_DISABLE:
            s.reject = request == Tonec::DTMF_REJECTION_ENABLE;
            return 0;
        case Tonec::IVA_DETECTOR_ENABLE:
        case Tonec::IVA_DETECTOR_DISABLE:
            s.iva = request == Tonec::IVA_DETECTOR_ENABLE;
            return 0;
        case Tonec::IVA_CONFIGURE_DETECTOR:
            s.ivaLevel = static_cast<std::int32_t>(get32(4));
            return 0;
        case Tonec::SELCAL_DIAL:
            if (selcals_.size() >= kHistoryLimit) selcals_.pop_front();
            selcals_.push_back({ts, get16(4), std::string(reinterpret_cast<const char*>(bytes) + 6, 4)});
            return 0;
        default:
            return -ENOTTY;
    }
}

bool DtmfDevice::Inject(std::uint32_t ts, std::uint32_t code, std::uint32_t timestamp) {
    return Inject(ts, code, timestamp, slot(ts).id);
}

bool DtmfDevice::Inject(std::uint32_t ts, std::uint32_t code, std::uint32_t timestamp, std::uint32_t id) {
    static_assert(Tonec::kEventSize == 4 * 4);
    return BroadcastWords({code, ts, timestamp, id});
}

bool DtmfDevice::PostRaw(const std::vector<unsigned char>& bytes) {
    return BroadcastToAll(bytes.data(), bytes.size());
}

}  // namespace Sim
