// Stream adapters that shape log lines: the writing object's prefix, a short state
// summary, a quoted value, hexadecimal dumps and a slot's network peer. Each lives
// for one << expression only.
#pragma once

#include <cstdint>
#include <ostream>

namespace ext {

// Streams the object's own prefix through its PutHeader(std::ostream&).
template <class T>
struct OutObjHeader {
    const T& obj;
};

template <class T>
OutObjHeader<T> header(const T* obj) {
    return OutObjHeader<T>{*obj};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const OutObjHeader<T>& h) {
    h.obj.PutHeader(os);
    return os;
}

// Streams a short state summary through PutShortInfo(std::ostream&).
template <class T>
struct OutShortInfo {
    const T& obj;
};

template <class T>
OutShortInfo<T> shortinfo(const T* obj) {
    return OutShortInfo<T>{*obj};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const OutShortInfo<T>& s) {
    s.obj.PutShortInfo(os);
    return os;
}

// The value between double quotes, unescaped.
template <class T>
struct OutQuoted {
    const T& value;
};

template <class T>
OutQuoted<T> quoted(const T& value) {
    return OutQuoted<T>{value};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const OutQuoted<T>& q) {
    return os << '"' << q.value << '"';
}

// Bytes as upper-case hex pairs, each followed by a blank.
struct OutBufInHex {
    const unsigned char* begin;
    const unsigned char* end;
};

// "0x" and the value in upper-case hex; a non-zero width pads the digits with zeros.
struct OutUnsignedInHex {
    uint32_t value;
    unsigned width;
};

inline OutBufInHex hex(const unsigned char* begin, const unsigned char* end) {
    return OutBufInHex{begin, end};
}

inline OutBufInHex hex(const char* buffer, unsigned length) {
    auto* p = reinterpret_cast<const unsigned char*>(buffer);
    return OutBufInHex{p, p + length};
}

inline OutUnsignedInHex hex(unsigned value, unsigned width) {
    return OutUnsignedInHex{value, width};
}
// Keeps hex(0, 0) from being taken for a null buffer.
inline OutUnsignedInHex hex(int value, unsigned width) {
    return OutUnsignedInHex{static_cast<uint32_t>(value), width};
}

std::ostream& operator<<(std::ostream& os, const OutBufInHex& h);
std::ostream& operator<<(std::ostream& os, const OutUnsignedInHex& h);

}  // namespace ext

// A slot's network peer, streamed through its PutAddr(std::ostream&).
template <class T>
struct Host {
    const T* obj;
};

template <class T>
Host<T> host(const T* obj) {
    return Host<T>{obj};
}

template <class T>
std::ostream& operator<<(std::ostream& os, const Host<T>& h) {
    h.obj->PutAddr(os);
    return os;
}
