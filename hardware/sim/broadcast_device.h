#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>

#include "hardware/sim/device.h"

namespace Sim {

// A device whose event records go to every open of it alike.
class BroadcastDevice : public Device {
public:
    using Device::Device;

    void IOpen(OpenFile& file) override { opens_[file.inode] = file; }
    void IRelease(OpenFile& file) override { opens_.erase(file.inode); }

protected:
    // Queues the record for every open; the number of opens that took it.
    int Broadcast(const void* data, std::size_t length) const;
    // True when there is an open and every open took the record.
    bool BroadcastToAll(const void* data, std::size_t length) const;
    // A record of 32-bit words in the board's byte order, to every open.
    bool BroadcastWords(std::initializer_list<std::uint32_t> words) const;
    void ForgetOpens() { opens_.clear(); }

private:
    std::map<ino_t, OpenFile> opens_;
};

}  // namespace Sim
