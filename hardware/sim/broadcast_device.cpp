#include "hardware/sim/broadcast_device.h"

#include <vector>

#include "hardware/board_record.h"

namespace Sim {

int BroadcastDevice::Broadcast(const void* data, std::size_t length) const {
    int told = 0;
    for (const auto& [inode, file] : opens_) told += file.Post(data, length) ? 1 : 0;
    return told;
}

bool BroadcastDevice::BroadcastToAll(const void* data, std::size_t length) const {
    return !opens_.empty() && static_cast<std::size_t>(Broadcast(data, length)) == opens_.size();
}

bool BroadcastDevice::BroadcastWords(std::initializer_list<std::uint32_t> words) const {
    std::vector<unsigned char> record(words.size() * 4);
    std::size_t i = 0;
    for (std::uint32_t w : words) Hardware::PutBoardWord(record.data(), i++, static_cast<std::int32_t>(w));
    return BroadcastToAll(record.data(), record.size());
}

}  // namespace Sim
