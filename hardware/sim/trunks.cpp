#include "hardware/sim/trunks.h"

#include <algorithm>

#include "hardware/sim/hal_device.h"
#include "hardware/sim/mcc_device.h"

namespace Sim {

Trunks::Trunks(HalDevice& hal, MccDevice& mcc) : hal_(hal), mcc_(mcc) {
    cable_.fill(-1);
}

bool Trunks::Cable(int a, int b) {
    if (a < 0 || b < 0 || a >= Tdm::kE1Trunks || b >= Tdm::kE1Trunks || a == b) return false;
    Uncable(a);
    Uncable(b);
    cable_[a] = b;
    cable_[b] = a;
    Rewatch();
    return true;
}

void Trunks::Uncable(int trunk) {
    if (trunk < 0 || trunk >= Tdm::kE1Trunks) return;
    if (cable_[trunk] >= 0) cable_[cable_[trunk]] = -1;
    cable_[trunk] = -1;
    Rewatch();
}

void Trunks::Attach(int ch, FarEnd* end) {
    if (!Tdm::IsLineChannel(ch)) return;
    lines_[ch].end = end;
    Rewatch();
}

bool Trunks::Tap(int ch, const std::string& path, std::uint16_t link_type) {
    if (!Tdm::IsLineChannel(ch)) return false;
    auto writer = std::make_unique<PcapngWriter>();
    if (!writer->Open(path, link_type)) return false;
    lines_[ch].tap = std::move(writer);
    Rewatch();
    return true;
}

void Trunks::Untap(int ch) {
    auto it = lines_.find(ch);
    if (it != lines_.end()) it->second.tap.reset();
    Rewatch();
}

std::uint32_t Trunks::left(int ch) const {
    auto it = lines_.find(ch);
    return it == lines_.end() ? 0 : it->second.left;
}

std::uint32_t Trunks::arrived(int ch) const {
    auto it = lines_.find(ch);
    return it == lines_.end() ? 0 : it->second.arrived;
}

void Trunks::Reset() {
    cable_.fill(-1);
    lines_.clear();
    watched_.clear();
}

// Only line channels where a frame can go somewhere are looked at per frame.
void Trunks::Rewatch() {
    watched_.clear();
    for (auto& [ch, line] : lines_)
        if (line.end != nullptr || line.tap) watched_.push_back(ch);
    for (int trunk = 0; trunk < Tdm::kE1Trunks; ++trunk) {
        if (cable_[trunk] < 0) continue;
        for (int ts = 0; ts < Tdm::kE1TimeSlots; ++ts) watched_.push_back(Tdm::TrunkTimeSlot(trunk, ts));
    }
    std::sort(watched_.begin(), watched_.end());
    watched_.erase(std::unique(watched_.begin(), watched_.end()), watched_.end());
}

void Trunks::Leave(int src, const unsigned char* frame, std::size_t length, int depth) {
    if (depth > kMaxHops) return;
    // By index: a far end that attaches or detaches while it takes a frame
    // changes the list under the walk.
    for (std::size_t i = 0; i < watched_.size(); ++i)
        if (hal_.Feeds(src, watched_[i])) Out(watched_[i], frame, length, depth);
}

void Trunks::Out(int ch, const unsigned char* frame, std::size_t length, int depth) {
    auto it = lines_.find(ch);
    if (it != lines_.end()) {
        Line& line = it->second;
        ++line.left;
        if (line.tap) line.tap->Write(frame, length, PcapngWriter::Direction::outbound);
        if (line.end != nullptr) line.end->OnFrame(frame, length);
    }
    Tdm::LinePlace place = Tdm::PlaceOf(ch);
    if (place.kind == Tdm::LinePlace::e1 && cable_[place.line] >= 0)
        Arrive(Tdm::TrunkTimeSlot(cable_[place.line], place.channel), frame, length, depth + 1);
}

void Trunks::Arrive(int ch, const unsigned char* frame, std::size_t length, int depth) {
    if (!Tdm::IsLineChannel(ch) || depth > kMaxHops) return;
    auto it = lines_.find(ch);
    if (it != lines_.end()) {
        ++it->second.arrived;
        if (it->second.tap) it->second.tap->Write(frame, length, PcapngWriter::Direction::inbound);
    }
    mcc_.Switch(ch, frame, length, depth);
}

}  // namespace Sim
