// Arbitrary signal units into the receive path of an MTP level 2 link,
// mixed with MSUs from above. The input is a row of records: an operation
// octet, then for a unit from below that many octets (low 7 bits). An
// operation with the top bit set hands down an MSU of (op & 0x3F) octets;
// 0xFF runs the channel-ready path. Every unit the link sends must carry a
// length indicator that matches its length, its buffers stay bounded, and
// every pool buffer is back after the link is gone.
#include <cstdint>
#include <cstdlib>

#include "core/packet.h"
#include "core/protocol.h"
#include "fuzz/quiet_logs.h"
#include "signalling/ss7_slc.h"

namespace {

struct Channel : GenericHDLC {
    bool hdlc_transmit(Packet& su) override {
        const unsigned n = su.length();
        if (n < 3) std::abort();
        const bool lssu = n == 4 && su[0] == 0xFF && su[1] == 0xFF && su[2] == 1;
        if (!lssu && su[2] != (n - 3 < 63 ? n - 3 : 63)) std::abort();
        return !refuse;
    }
    bool is_open() const override { return true; }
    bool is_ready() const override { return true; }
    bool refuse = false;
};

struct User : Protocol {
    void receive(Packet& p) override {
        if (p.length() < 3) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::QuietLogs();
    {
        Channel channel;
        ProtocolsList stack;
        auto* link = new SS7::SLC;
        auto* user = new User;
        stack.add_protocol_tail(link);
        stack.add_protocol_tail(user);
        link->hdlc(&channel);
        size_t i = 0;
        if (size > 0) {
            // The first octet picks the starting point: idle, or worked.
            link->set_emergency(data[0] & 1);
            link->trace = SS7::SLC::Trace{true, true, true, true, true, true, true, (data[0] & 2) != 0};
            if (data[0] & 4) {
                link->local_activate();
                Packet sin, fisu;
                sin.reserve_head(0);
                for (unsigned char c : {0xFF, 0xFF, 0x01, 0x01}) sin.put8(c);
                fisu.reserve_head(0);
                for (unsigned char c : {0xFF, 0xFF, 0x00}) fisu.put8(c);
                link->receive(sin);
                link->receive(fisu);
            }
            i = 1;
        }
        while (i < size) {
            const std::uint8_t op = data[i++];
            if (op == 0xFF) {
                channel.refuse = !channel.refuse;
                link->on_hdlc_ready();
            } else if (op & 0x80) {
                Packet msu;
                user->prepare_head(msu);
                for (unsigned n = 0; n < (op & 0x3Fu); ++n) msu.put8(static_cast<unsigned char>(n));
                user->transmit(msu);
            } else {
                const std::size_t n = op < size - i ? op : size - i;
                Packet su;
                su.reserve_head(0);
                for (std::size_t k = 0; k < n; ++k) su.put8(data[i + k]);
                i += n;
                link->receive(su);
            }
            if (link->get_state_id() > 5 || link->statistics()[5] > 127 || link->tb_count() > 327)
                std::abort();
        }
    }
    if (Packet_pool::available() != Packet_pool::capacity()) std::abort();
    return 0;
}
