#include "core/packet.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>

_Packet::_Packet(const _Packet& o)
    : ref_count(0), fdata(buffer + (o.fdata - o.buffer)), ftail(buffer + (o.ftail - o.buffer)) {
    std::memcpy(fdata, o.fdata, static_cast<std::size_t>(o.ftail - o.fdata));
}

void* _Packet::operator new(std::size_t) {
    void* p = Packet::available() > 0 ? Packet_pool::allocate() : nullptr;
    if (!p) {
        ++Packet::refused_;
        throw std::bad_alloc();
    }
    return p;
}

void _Packet::operator delete(void* p) {
    Packet_pool::deallocate(static_cast<_Packet*>(p));
}

template <>
void Smart_pointer<_Packet>::prepare_for_modify() {
    if (ptr_ && ptr_->ref_count > 1) assign(new _Packet(*ptr_));
}

// ---- assertion reports

PacketInfo::PacketInfo(const Packet& p) {
    const _Packet* b = p.get();
    if (!b) return;
    null = false;
    bad = !b->pointers_valid();
    headroom = static_cast<unsigned>(b->fdata - b->storage_begin());
    length = static_cast<unsigned>(b->ftail - b->fdata);
    tailroom = static_cast<unsigned>(b->storage_end() - b->ftail);
    if (!bad) data.assign(b->fdata, b->ftail);
}

void PacketInfo::put(std::ostream& os) const {
    if (null) {
        os << "(null)\n";
        return;
    }
    os << "head=" << headroom << ", data=" << length << ", tail=" << tailroom << '\n';
    if (bad) {
        os << "can't dump packet: wrong pointers\n";
    } else if (!data.empty()) {
        os << "dump:\n";
        const auto flags = os.flags();
        os << std::hex << std::nouppercase;
        for (unsigned char c : data) os << ' ' << static_cast<unsigned>(c);
        os.flags(flags);
        os << '\n';
    }
}

std::ostream& operator<<(std::ostream& os, const PacketInfo& info) {
    info.put(os);
    return os;
}

void Packet::assertion_failed(const char* message) const {
    std::clog << "PACKET ASSERTION FAILED!\n" << message << '\n' << PacketInfo(*this) << std::endl;
    std::terminate();
}

void Packet::check_fail(const char* format, ...) {
    char message[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::clog << "packet check fail\n" << message << "\nterminate." << std::endl;
    std::terminate();
}

void Packet::check(const char* op) const {
    const _Packet* b = get();
    if (!b) check_fail("after \"%s\" packet is null", op);
    if (b->fdata < b->storage_begin() || b->fdata > b->storage_end())
        check_fail("after \"%s\" fdata invalid", op);
    if (b->ftail < b->storage_begin() || b->ftail > b->storage_end())
        check_fail("after \"%s\" ftail invalid", op);
    if (b->fdata > b->ftail) check_fail("after \"%s\" fdata>ftail", op);
}

// ---- access

unsigned Packet::available() {
    const unsigned free = Packet_pool::available();
    if (PacketReserve::is_open()) return free;
    return free > packet_reserve ? free - packet_reserve : 0;
}

unsigned Packet::tailroom() const {
    passert(!null(), "null packet");
    return _tailroom();
}

unsigned char* Packet::data() {
    passert(!null(), "null packet");
    return modify()->fdata;
}

const unsigned char* Packet::data() const {
    passert(!null(), "null packet");
    return (*this)->fdata;
}

unsigned char* Packet::tail() {
    passert(!null(), "null packet");
    return modify()->ftail;
}

unsigned char& Packet::operator[](int i) {
    passert(!null(), "null packet");
    passert(i >= 0 && static_cast<unsigned>(i) < _length(), "index out of range");
    return modify()->fdata[i];
}

unsigned char Packet::operator[](int i) const {
    passert(!null(), "null packet");
    passert(i >= 0 && static_cast<unsigned>(i) < _length(), "index out of range");
    return (*this)->fdata[i];
}

// ---- appending at the tail

unsigned char* Packet::put(unsigned n) {
    passert(!null(), "null packet");
    passert(n <= _tailroom(), "len<=_tailroom()");
    _Packet* b = modify();
    unsigned char* old = b->ftail;
    b->ftail += n;
    check("put");
    return old;
}

unsigned char* Packet::put8(unsigned char v) {
    passert(!null(), "null packet");
    unsigned char* p = put(1);
    *p = v;
    return p;
}

unsigned char* Packet::put16(std::uint16_t v) {
    passert(!null(), "null packet");
    put8(static_cast<unsigned char>(v & 255));
    return put8(static_cast<unsigned char>(v >> 8));
}

unsigned char* Packet::put16_b(std::uint16_t v) {
    passert(!null(), "null packet");
    put8(static_cast<unsigned char>(v >> 8));
    return put8(static_cast<unsigned char>(v & 255));
}

void Packet::put(const Packet& other) {
    passert(!null(), "null packet");
    if (other.empty()) return;
    // Holding the source keeps its bytes even when it is this very packet.
    const Packet source = other;
    const unsigned n = source._length();
    passert(n <= _tailroom(), "len<=_tailroom()");
    std::memcpy(put(n), source->fdata, n);
}

void Packet::put(const std::string& text) {
    passert(!null(), "null packet");
    // The length byte could not say more; a longer text would corrupt the framing.
    passert(text.size() <= 255, "len<=255");
    passert(text.size() + 1 <= _tailroom(), "len<=_tailroom()");
    put8(static_cast<unsigned char>(text.size()));
    if (!text.empty()) std::memcpy(put(static_cast<unsigned>(text.size())), text.data(), text.size());
}

// ---- prepending into the head room

unsigned char* Packet::push(unsigned n) {
    passert(!null(), "null packet");
    passert(n <= _headroom(), "len<=_headroom()");
    _Packet* b = modify();
    b->fdata -= n;
    check("push");
    return b->fdata;
}

unsigned char* Packet::push8(unsigned char v) {
    passert(!null(), "null packet");
    unsigned char* p = push(1);
    *p = v;
    return p;
}

unsigned char* Packet::push16_b(std::uint16_t v) {
    passert(!null(), "null packet");
    push8(static_cast<unsigned char>(v & 255));
    return push8(static_cast<unsigned char>(v >> 8));
}

// ---- taking from the front and the end

unsigned char* Packet::pull(unsigned n) {
    passert(!null(), "null packet");
    passert(n <= _length(), "len<=_length()");
    _Packet* b = modify();
    unsigned char* old = b->fdata;
    b->fdata += n;
    return old;
}

unsigned char Packet::pull8() {
    passert(!null(), "null packet");
    // Nothing changes, so a shared block is not copied.
    if (_length() == 0) return 0;
    return *pull(1);
}

std::uint16_t Packet::pull16() {
    passert(!null(), "null packet");
    const unsigned low = pull8();
    const unsigned high = pull8();
    return static_cast<std::uint16_t>(low | high << 8);
}

std::uint16_t Packet::pull16_b() {
    passert(!null(), "null packet");
    const unsigned high = pull8();
    const unsigned low = pull8();
    return static_cast<std::uint16_t>(high << 8 | low);
}

std::string Packet::pull_string() {
    passert(!null(), "null packet");
    const unsigned n = pull8();
    std::string text;
    text.reserve(n);
    for (unsigned i = 0; i < n; ++i) text.push_back(static_cast<char>(pull8()));
    return text;
}

unsigned char* Packet::trim(unsigned n) {
    passert(!null(), "null packet");
    passert(n <= _length(), "len<=_length()");
    _Packet* b = modify();
    b->ftail -= n;
    check("trim");
    return b->ftail;
}

// ---- room for headers

void Packet::attach_new_block() {
    assign(new _Packet);
    passert(!null(), "allocation fail");
}

void Packet::reserve_head(unsigned n) {
    passert(n <= packet_max_size, "length>packet_max_size");
    if (null()) {
        attach_new_block();
        _Packet* b = modify();
        b->fdata = b->ftail = b->storage_begin() + n;
        return;
    }
    // The whole window moves, so the tail room must take it: the data never
    // leaves the block.
    passert(n <= _tailroom(), "new_len>packet_max_size");
    _Packet* b = modify();
    b->fdata += n;
    b->ftail += n;
}

void Packet::reserve_tail(unsigned n) {
    passert(n <= packet_max_size, "len>packet_max_size");
    if (null()) {
        attach_new_block();
        _Packet* b = modify();
        b->fdata = b->ftail = b->storage_end() - n;
        return;
    }
    passert(n <= _headroom(), "_tailroom()+len <= packet_max_size");
    _Packet* b = modify();
    b->fdata -= n;
    b->ftail -= n;
}

Packet Packet::sub(unsigned len, unsigned start) const {
    passert(!null(), "null packet");
    passert(start <= _length(), "start<=_length()");
    // Compared without the sum, which could wrap.
    passert(len <= _length() - start, "start+len<=_length()");
    Packet result;
    result.attach_new_block();
    _Packet* b = result.modify();
    b->fdata = b->storage_begin() + _headroom() + start;
    b->ftail = b->fdata + len;
    std::memcpy(b->fdata, (*this)->fdata + start, len);
    return result;
}

// ---- text forms

std::string Packet::text() const {
    const _Packet* b = get();
    if (!b) return "(null)";
    if (!b->pointers_valid()) return "(bad)";
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    const unsigned n = _length();
    if (n) out.reserve(n * 3 - 1);
    for (const unsigned char* p = b->fdata; p != b->ftail; ++p) {
        if (p != b->fdata) out.push_back(' ');
        out.push_back(digits[*p >> 4]);
        out.push_back(digits[*p & 15]);
    }
    return out;
}

bool Packet::dump(std::ostream& os) const {
    if (null()) return false;
    os << "head=" << _headroom() << ", data=" << _length() << ", tail=" << _tailroom();
    return true;
}

bool Packet::dump_context(std::ostream& os) const {
    const _Packet* b = get();
    if (!b || !b->pointers_valid()) return false;
    if (b->fdata == b->ftail) return true;
    // The caller's number format is restored, so later output stays decimal.
    const auto flags = os.flags();
    os << "dump:" << std::hex << std::nouppercase;
    for (const unsigned char* p = b->fdata; p != b->ftail; ++p) os << ' ' << static_cast<unsigned>(*p);
    os.flags(flags);
    return true;
}

std::ostream& operator<<(std::ostream& os, const Packet& p) {
    return os << p.text();
}
