// Arbitrary frames into the Q.931 trace decoder and into a LAPD entity's
// receive path, mixed with requests from above. The first byte picks the side,
// the trace level, basic rate and a link brought up first; then each record is
// a length byte and that many frame bytes, or 0xFF and a request byte. The text
// must end within its buffer, and every pool buffer must be back afterwards.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/packet.h"
#include "core/protocol.h"
#include "fuzz/quiet_logs.h"
#include "signalling/dlogframe.h"
#include "signalling/lapd.h"

namespace {

struct Wire : GenericHDLC {
    bool hdlc_transmit(Packet& frame) override { return !frame.empty() && ++sent % 5 != 0; }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    unsigned sent = 0;
};

struct Upper : ProtocolsList {
    void on_status(Protocol_status) override {}
    void on_message(Packet&) override {}
};

Packet Frame(const uint8_t* data, size_t n) {
    Packet p;
    p.reserve_head(0);
    if (n != 0) std::memcpy(p.put(static_cast<unsigned>(n)), data, n);
    return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietLogs();
    static const unsigned pool_free = Packet_pool::available();
    if (size == 0) return 0;
    {
        const uint8_t mode = data[0];
        const auto side = (mode & 1) != 0 ? ISDN::Side::network : ISDN::Side::user;
        Wire wire;
        Upper upper;
        auto* lapd = new ISDN::LAPD(side, (mode >> 1) & 7);
        upper.add_protocol_tail(lapd);
        lapd->hdlc(&wire);
        if ((mode & 0x10) != 0) lapd->change_to_bri();
        if ((mode & 0x20) != 0) {
            lapd->local_activate();
            const uint8_t ua[] = {static_cast<uint8_t>(side == ISDN::Side::user ? 0x00 : 0x02), 0x01, 0x73};
            Packet p = Frame(ua, sizeof ua);
            lapd->receive(p);
        }
        for (size_t i = 1; i < size;) {
            const uint8_t n = data[i++];
            if (n == 0xFF) {
                if (i >= size) break;
                const uint8_t request = data[i++];
                switch (request % 6) {
                case 0: lapd->local_activate(); break;
                case 1: lapd->local_deactivate(); break;
                case 2: {
                    const size_t available = size - (i - 1);
                    const size_t len = request % 40u < available ? request % 40u : available;
                    Packet m = Frame(data + i - 1, len);
                    lapd->message(m);
                    break;
                }
                case 3: lapd->mdl_remove(); break;
                case 4: lapd->on_hdlc_ready(); break;
                default: lapd->on_error(request * 97u); break;
                }
                continue;
            }
            const size_t len = n < size - i ? n : size - i;
            // An exact-size copy, so that a read past the frame shows.
            std::vector<uint8_t> copy(data + i, data + i + len);
            char text[ISDN::kLogBufSize];
            ISDN::dlogframe(copy.data(), static_cast<int>(len), mode & 0x40, text);
            if (std::memchr(text, '\0', sizeof text) == nullptr) std::abort();
            Packet p = Frame(data + i, len);
            lapd->receive(p);
            i += len;
        }
        ACP::IsdnLinkInfo info;
        lapd->GetInfo(info);
        if (lapd->queued() > 135 || lapd->unacknowledged() > 7) std::abort();
    }
    if (Packet_pool::available() != pool_free) std::abort();
    return 0;
}
