#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/event.h"
#include "hardware/sim/trunks.h"

namespace Sim {

// Line channels offered to programs outside the board: one listening Unix
// SOCK_SEQPACKET socket per channel in a directory, named as Name() gives it.
// A program that connects sends and receives whole frames (one datagram each,
// no flags, no check bits; an empty datagram is no frame) on that channel; a
// later connection replaces the earlier one. The loop polls the sockets.
class TrunkPorts {
public:
    explicit TrunkPorts(Trunks& trunks);
    ~TrunkPorts();
    TrunkPorts(const TrunkPorts&) = delete;
    TrunkPorts& operator=(const TrunkPorts&) = delete;

    // "e1-<trunk>-<time slot>" or "bri-<line>-<b1|b2|d>"; empty for a channel
    // that is not on a line.
    static std::string Name(int ch);
    // The line channel of a name, or -1.
    static int Parse(const std::string& name);

    // Listens for channel `ch` in `dir`; false, with a line on the error
    // stream, when the socket cannot be made.
    bool Open(const std::string& dir, int ch);

    bool connected(int ch) const;
    // Told when a program connects to a channel's port (true) and when the one
    // connected hangs up (false).
    void OnConnection(std::function<void(int ch, bool connected)> hook) { hook_ = std::move(hook); }
    // Frames that found no program or a full socket.
    std::uint32_t lost(int ch) const;
    // Empty datagrams, taken as no frame; datagrams longer than a packet, dropped
    // with a line.
    std::uint32_t empty(int ch) const;
    std::uint32_t tooLong(int ch) const;

private:
    class Port;

    Port* Find(int ch) const;

    Trunks& trunks_;
    std::vector<std::unique_ptr<Port>> ports_;
    std::function<void(int, bool)> hook_;
};

}  // namespace Sim
