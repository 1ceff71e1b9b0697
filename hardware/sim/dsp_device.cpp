#include "hardware/sim/dsp_device.h"

#include <algorithm>
#include <cerrno>

#include "hardware/board_record.h"
#include "hardware/dsproc_records.h"

namespace Sim {

namespace Dsproc = Hardware::Dsproc;

DspDevice::DspDevice() : BroadcastDevice(Dsproc::kPath) {}

void DspDevice::IReset() {
    slots_.clear();
    version_ = 2;
}

DspDevice::Feature DspDevice::feature(std::uint32_t ts, std::uint32_t bit) const {
    auto s = slots_.find(ts);
    if (s == slots_.end()) return {};
    auto f = s->second.features.find(bit);
    return f == s->second.features.end() ? Feature{} : f->second;
}

std::optional<DspDevice::Params> DspDevice::config(std::uint32_t ts, std::uint32_t kind) const {
    auto s = slots_.find(ts);
    if (s == slots_.end()) return std::nullopt;
    auto c = s->second.configs.find(kind);
    if (c == s->second.configs.end()) return std::nullopt;
    return c->second;
}

bool DspDevice::AnyOn(std::uint32_t ts) const {
    auto s = slots_.find(ts);
    if (s == slots_.end()) return false;
    const Slot& slot = s->second;
    return std::any_of(slot.features.begin(), slot.features.end(), [](const auto& f) { return f.second.on; }) ||
           std::any_of(slot.toneFilters.begin(), slot.toneFilters.end(), [](const auto& t) { return t.second; });
}

int DspDevice::IIoctl(OpenFile&, unsigned long request, void* record, std::size_t size) {
    if (request == Dsproc::VERSION) return version_;
    if (record == nullptr || size < 12) return -EINVAL;
    const auto* bytes = static_cast<const unsigned char*>(record);
    Hardware::ByteRecord<12> head(bytes);
    Slot& slot = slots_[head.get32(0)];
    std::uint32_t mask = head.get32(8);
    switch (request) {
        case Dsproc::CONFIGURE:
            return OnConfigure(slot, bytes);
        case Dsproc::ENABLE:
            for (std::uint32_t bit = 1; bit != 0 && bit <= mask; bit <<= 1)
                if (mask & bit) slot.features[bit] = {true, head.get32(4)};
            return 0;
        case Dsproc::DISABLE:
            for (std::uint32_t bit = 1; bit != 0 && bit <= mask; bit <<= 1)
                if (mask & bit) slot.features[bit].on = false;
            if (mask & Dsproc::TONE_FILTER) slot.toneFilters.clear();
            return 0;
        default:
            return -ENOTTY;
    }
}

// {ts, kind, 12 bytes of parameters}
int DspDevice::OnConfigure(Slot& slot, const unsigned char* record) {
    Hardware::ByteRecord<Dsproc::kConfigureSize> rec(record);
    std::uint32_t kind = rec.get32(4);
    Params params;
    std::copy(record + 8, record + Dsproc::kConfigureSize, params.begin());
    slot.configs[kind] = params;
    if (kind == Dsproc::TONE_FILTER) slot.toneFilters[rec.get16(8)] = rec.get8(10) != 0;
    return 0;
}

bool DspDevice::Inject(std::uint32_t ts, std::uint32_t type, std::uint32_t d0, std::uint32_t d1, std::uint32_t d2) {
    return InjectWithId(ts, feature(ts, type).id, type, d0, d1, d2);
}

bool DspDevice::InjectWithId(std::uint32_t ts, std::uint32_t id, std::uint32_t type, std::uint32_t d0,
                             std::uint32_t d1, std::uint32_t d2) {
    static_assert(Dsproc::kEventSize == 6 * 4);
    return BroadcastWords({ts, id, type, d0, d1, d2});
}

bool DspDevice::PostRaw(const std::vector<unsigned char>& bytes) {
    return BroadcastToAll(bytes.data(), bytes.size());
}

}  // namespace Sim
