// Random byte streams from the PPP authentication peer, cut at random points, through
// the record gathering and the record decoders. The input is a row of pieces, each a
// length byte and that many stream bytes, each piece handed over from an exact-size
// heap copy. The records delivered must be exactly those an independent scan of the
// stream finds, up to the first length word out of range, which ends the stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "slots/auth_record.h"

namespace {

uint32_t HostWord(const std::string& s, size_t at) {
    uint32_t w = 0;
    std::memcpy(&w, s.data() + at, sizeof w);
    return w;
}

std::vector<std::string> Records(const std::string& s) {
    std::vector<std::string> out;
    for (size_t at = 0; s.size() - at >= 4;) {
        const uint32_t length = HostWord(s, at);
        if (length < AuthRecord::kHeaderSize || length > AuthRecord::kMaxSize || s.size() - at < length)
            break;
        out.push_back(s.substr(at, length));
        at += length;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    AuthRecord::Stream stream;
    std::string whole;
    std::vector<std::string> got;
    bool bad = false;
    for (size_t at = 0; at < size && !bad;) {
        size_t piece = data[at++];
        if (piece > size - at) piece = size - at;
        whole.append(reinterpret_cast<const char*>(data + at), piece);
        while (piece > 0 && !bad) {
            const size_t n = piece < stream.room() ? piece : stream.room();
            if (n == 0) std::abort();  // the stream would stall
            std::unique_ptr<uint8_t[]> copy(new uint8_t[n]);
            std::memcpy(copy.get(), data + at, n);
            uint8_t* space = stream.space();
            std::memcpy(space, copy.get(), n);
            stream.Filled(n);
            at += n;
            piece -= n;
            const uint8_t* record = nullptr;
            uint32_t length = 0;
            for (;;) {
                const auto result = stream.Next(record, length);
                if (result == AuthRecord::Stream::kBadLength) bad = true;
                if (result != AuthRecord::Stream::kRecord) break;
                got.emplace_back(reinterpret_cast<const char*>(record), length);
                std::unique_ptr<uint8_t[]> exact(new uint8_t[length]);
                std::memcpy(exact.get(), record, length);
                AuthRecord::Login login;
                AuthRecord::Accounting accounting;
                if (AuthRecord::DecodeLogin(exact.get(), length, login) &&
                    (login.user.size() > 64 || login.password.size() > 64))
                    std::abort();
                AuthRecord::DecodeAccounting(exact.get(), length, accounting);
            }
        }
    }
    // Every whole record up to the end or a bad length word, and nothing else.
    if (got != Records(whole)) std::abort();
    return 0;
}
