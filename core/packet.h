#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "core/lock_policy.h"
#include "core/packet_pool.h"
#include "core/smart_pointer.h"

constexpr unsigned packet_max_size = 65536;

// One pooled 64 KiB buffer: free head room before the data, tail room after.
class _Packet {
public:
    _Packet() : ref_count(0), fdata(buffer + packet_max_size), ftail(fdata) {}
    // Same offsets as the source; only the data bytes are copied.
    _Packet(const _Packet& o);
    ~_Packet() {}
    _Packet& operator=(const _Packet&) = delete;

    static void* operator new(std::size_t);
    static void operator delete(void* p);

    unsigned char* storage_begin() { return buffer; }
    unsigned char* storage_end() { return buffer + packet_max_size; }
    const unsigned char* storage_begin() const { return buffer; }
    const unsigned char* storage_end() const { return buffer + packet_max_size; }
    // fdata and ftail inside the storage, in order.
    bool pointers_valid() const {
        return fdata >= buffer && fdata <= storage_end() && ftail >= buffer && ftail <= storage_end() &&
               fdata <= ftail;
    }

    std::uint32_t ref_count;
    unsigned char* fdata;
    unsigned char* ftail;
    unsigned char buffer[packet_max_size];
};

using Packet_pool = List_allocator<_Packet, 1024, Dummy_critical_section>;

// The last blocks of the pool are kept for the controller's link: when the lines
// hold every other block, its answers and signals still go out.
constexpr unsigned packet_reserve = 16;

// While one is alive, allocations may take the reserved blocks. Held only around
// the controller link's own allocations, never around work done for a command.
class PacketReserve {
public:
    explicit PacketReserve(bool open = true) : open_(open) {
        if (open_) ++depth_;
    }
    ~PacketReserve() {
        if (open_) --depth_;
    }
    PacketReserve(const PacketReserve&) = delete;
    PacketReserve& operator=(const PacketReserve&) = delete;

    static bool is_open() { return depth_ != 0; }

private:
    bool open_;
    static constinit inline unsigned depth_ = 0;
};

// Packets copy on write: a change through a shared handle first gives that
// handle a block of its own.
template <>
void Smart_pointer<_Packet>::prepare_for_modify();

class Packet;

// A snapshot of a packet for an assertion report.
struct PacketInfo {
    explicit PacketInfo(const Packet& p);
    void put(std::ostream& os) const;

    bool null = true;
    bool bad = false;
    unsigned headroom = 0;
    unsigned length = 0;
    unsigned tailroom = 0;
    std::vector<unsigned char> data;
};
std::ostream& operator<<(std::ostream& os, const PacketInfo& info);

// A reference-counted, copy-on-write handle to a pooled buffer. A new packet
// is null until reserve_head or reserve_tail gives it a block. put16/pull16
// are little-endian, the *_b forms big-endian. Broken preconditions are
// programming errors and end the process with a report on the log stream.
class Packet : public Smart_pointer<_Packet> {
public:
    Packet() = default;

    // Blocks an allocation made here and now can take: the reserve counts only
    // while a PacketReserve is open.
    static unsigned available();
    // Allocations the pool refused since the start.
    static std::uint32_t refused() { return refused_; }

    void clear() { clean(); }

    unsigned length() const { return null() ? 0 : _length(); }
    bool empty() const { return length() == 0; }
    bool operator<(unsigned n) const { return length() < n; }

    unsigned _length() const { return static_cast<unsigned>((*this)->ftail - (*this)->fdata); }
    unsigned _headroom() const { return static_cast<unsigned>((*this)->fdata - (*this)->storage_begin()); }
    unsigned _tailroom() const { return static_cast<unsigned>((*this)->storage_end() - (*this)->ftail); }
    unsigned tailroom() const;

    unsigned char* data();
    const unsigned char* data() const;
    unsigned char* tail();

    unsigned char* put(unsigned n);
    unsigned char* put8(unsigned char b);
    unsigned char* put16(std::uint16_t v);
    unsigned char* put16_b(std::uint16_t v);
    void put(const Packet& other);
    // A length byte, then the characters; at most 255 of them.
    void put(const std::string& text);

    unsigned char* push(unsigned n);
    unsigned char* push8(unsigned char b);
    unsigned char* push16_b(std::uint16_t v);

    unsigned char* pull(unsigned n);
    unsigned char pull8();
    std::uint16_t pull16();
    std::uint16_t pull16_l() { return pull16(); }
    std::uint16_t pull16_b();
    std::string pull_string();

    unsigned char* trim(unsigned n);

    unsigned char& operator[](int i);
    unsigned char operator[](int i) const;

    // On a null packet: a fresh block, empty, with n bytes of head room (tail
    // room for reserve_tail). On a packet with a block: slides the data window
    // n bytes towards the tail (the head for reserve_tail); it must fit.
    void reserve_head(unsigned n);
    void reserve_tail(unsigned n);

    // The bytes [start, start + len) in a block of their own, at the same offsets.
    Packet sub(unsigned len, unsigned start) const;

    std::string text() const;
    bool dump(std::ostream& os) const;
    bool dump_context(std::ostream& os) const;

private:
    void passert(bool condition, const char* message) const {
        if (!condition) assertion_failed(message);
    }
    [[noreturn]] void assertion_failed(const char* message) const;
    void check(const char* op) const;
    [[noreturn]] static void check_fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

    // The block for a change, made private first when shared.
    _Packet* modify() { return Smart_pointer<_Packet>::operator->(); }
    void attach_new_block();

    friend class _Packet;
    static constinit inline std::uint32_t refused_ = 0;
};

std::ostream& operator<<(std::ostream& os, const Packet& p);
