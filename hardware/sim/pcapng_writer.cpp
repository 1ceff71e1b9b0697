#include "hardware/sim/pcapng_writer.h"

#include <sys/time.h>

#include <cstring>
#include <vector>

namespace Sim {
namespace {

constexpr std::uint32_t kSectionHeader = 0x0A0D0D0A;
constexpr std::uint32_t kInterfaceDescription = 1;
constexpr std::uint32_t kEnhancedPacket = 6;
constexpr std::uint32_t kByteOrderMagic = 0x1A2B3C4D;
constexpr std::uint16_t kOptionEnd = 0;
constexpr std::uint16_t kOptionEpbFlags = 2;
constexpr std::uint32_t kSnapLength = 65535;

// Fields in this machine's byte order, as the section's magic declares.
struct Body {
    std::vector<unsigned char> bytes;

    void u16(std::uint16_t v) { Raw(&v, sizeof v); }
    void u32(std::uint32_t v) { Raw(&v, sizeof v); }
    void Raw(const void* p, std::size_t n) {
        const auto* b = static_cast<const unsigned char*>(p);
        bytes.insert(bytes.end(), b, b + n);
    }
    void Pad() {
        while (bytes.size() % 4 != 0) bytes.push_back(0);
    }
};

}  // namespace

bool PcapngWriter::Open(const std::string& path, std::uint16_t link_type) {
    Close();
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) return false;
    frames_ = 0;

    Body section;
    section.u32(kByteOrderMagic);
    section.u16(1);  // major version
    section.u16(0);  // minor version
    section.u32(0xFFFFFFFF);  // section length unknown
    section.u32(0xFFFFFFFF);
    Body interface;
    interface.u16(link_type);
    interface.u16(0);
    interface.u32(kSnapLength);
    if (!Block(kSectionHeader, section.bytes.data(), section.bytes.size()) ||
        !Block(kInterfaceDescription, interface.bytes.data(), interface.bytes.size())) {
        Close();
        return false;
    }
    std::fflush(file_);
    return true;
}

void PcapngWriter::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

bool PcapngWriter::Write(const unsigned char* data, std::size_t length, Direction direction) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    return Write(data, length, direction,
                 static_cast<std::uint64_t>(now.tv_sec) * 1000000u + static_cast<std::uint64_t>(now.tv_usec));
}

bool PcapngWriter::Write(const unsigned char* data, std::size_t length, Direction direction,
                         std::uint64_t time_us) {
    if (file_ == nullptr) return false;
    if (length > kSnapLength) length = kSnapLength;
    Body packet;
    packet.u32(0);  // interface
    packet.u32(static_cast<std::uint32_t>(time_us >> 32));
    packet.u32(static_cast<std::uint32_t>(time_us));
    packet.u32(static_cast<std::uint32_t>(length));  // captured
    packet.u32(static_cast<std::uint32_t>(length));  // on the wire
    packet.Raw(data, length);
    packet.Pad();
    packet.u16(kOptionEpbFlags);
    packet.u16(4);
    packet.u32(direction == Direction::inbound ? 1u : 2u);
    packet.u16(kOptionEnd);
    packet.u16(0);
    if (!Block(kEnhancedPacket, packet.bytes.data(), packet.bytes.size())) return false;
    ++frames_;
    // Readers may open the file while the link still runs.
    return std::fflush(file_) == 0;
}

bool PcapngWriter::Block(std::uint32_t type, const unsigned char* body, std::size_t length) {
    const std::uint32_t total = static_cast<std::uint32_t>(12 + length);
    return std::fwrite(&type, sizeof type, 1, file_) == 1 && std::fwrite(&total, sizeof total, 1, file_) == 1 &&
           (length == 0 || std::fwrite(body, length, 1, file_) == 1) &&
           std::fwrite(&total, sizeof total, 1, file_) == 1;
}

}  // namespace Sim
