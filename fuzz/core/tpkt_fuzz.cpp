// Random byte streams cut at random points into the TPKT layer. The input is a row of
// pieces, each a length byte and that many stream bytes. Every delivered body must be
// the body of a well-formed frame, as an independent scan of the whole stream finds
// it, and every pool buffer must be back afterwards.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/packet.h"
#include "core/protocol.h"
#include "core/tpkt_protocol.h"

namespace {

class Owner : public ProtocolsFamily {
public:
    Owner() { add_protocol_tail(new Tpkt_protocol); }
    void on_message(Packet& p) override {
        const Packet& body = p;
        bodies.emplace_back(body.null()
                                ? std::string()
                                : std::string(reinterpret_cast<const char*>(body.data()), body.length()));
    }
    std::vector<std::string> bodies;
};

// The frames of a stream: scan for 3, then 0, then a length of at least 4; anything
// else restarts the scan at the next byte. A frame cut off by the end is not counted.
std::vector<std::string> Frames(const std::string& s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) != 3) {
            ++i;
            continue;
        }
        if (i + 1 >= s.size()) break;
        if (s[i + 1] != 0) {
            i += 2;  // the reserved byte is dropped with the start byte
            continue;
        }
        if (i + 3 >= s.size()) break;
        const unsigned length =
            static_cast<unsigned char>(s[i + 2]) * 256u + static_cast<unsigned char>(s[i + 3]);
        if (length < 4) {
            i += 4;
            continue;
        }
        if (i + length > s.size()) break;
        out.push_back(s.substr(i + 4, length - 4));
        i += length;
    }
    return out;
}

std::ostringstream sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const unsigned pool_free = Packet_pool::available();
    std::streambuf* old = std::clog.rdbuf(sink.rdbuf());
    std::string stream;
    {
        Owner owner;
        size_t i = 0;
        while (i < size) {
            const size_t n = std::min<size_t>(data[i], size - i - 1);
            ++i;
            Packet piece;
            piece.reserve_head(0);
            std::memcpy(piece.put(static_cast<unsigned>(n)), data + i, n);
            stream.append(reinterpret_cast<const char*>(data + i), n);
            owner.receive(piece);
            i += n;
        }
        if (owner.bodies != Frames(stream)) std::abort();
    }
    std::clog.rdbuf(old);
    sink.str(std::string());
    if (Packet_pool::available() != pool_free) std::abort();
    return 0;
}
