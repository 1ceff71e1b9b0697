#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace Sim {

// Writes frames to a pcapng file (one section, one interface) so a protocol
// analyser can read what crossed a link. Blocks are written in this machine's
// byte order, which the section header's magic announces to the reader.
class PcapngWriter {
public:
    // Link types of the frames carried.
    static constexpr std::uint16_t kLinkLapd = 203;  // Q.921 from the address field
    static constexpr std::uint16_t kLinkMtp2 = 140;  // signal units without check bits

    enum class Direction { inbound, outbound };

    PcapngWriter() = default;
    ~PcapngWriter() { Close(); }
    PcapngWriter(const PcapngWriter&) = delete;
    PcapngWriter& operator=(const PcapngWriter&) = delete;

    // Creates (truncates) the file and writes its headers; false when it cannot.
    bool Open(const std::string& path, std::uint16_t link_type);
    void Close();
    bool is_open() const { return file_ != nullptr; }

    // One frame, stamped with the wall clock unless a time is given.
    bool Write(const unsigned char* data, std::size_t length, Direction direction);
    bool Write(const unsigned char* data, std::size_t length, Direction direction, std::uint64_t time_us);

    std::uint32_t frames() const { return frames_; }

private:
    bool Block(std::uint32_t type, const unsigned char* body, std::size_t length);

    std::FILE* file_ = nullptr;
    std::uint32_t frames_ = 0;
};

}  // namespace Sim
