// Frames from terminals and messages from above, in any order, into the basic-rate
// network side. The input is a row of records: a length byte (bit 8 set: a layer-3
// message of the low five bits' length, else a frame of that length) and the bytes.
// Whatever arrives, the assigned TEIs stay distinct, no terminal has more than 7
// frames outstanding or more than 128 waiting, and V(S) - V(A) counts the window.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "core/packet.h"
#include "core/protocol.h"
#include "fuzz/quiet_logs.h"
#include "signalling/lapd_nt.h"

namespace {

struct Sink : Protocol {
    void message(Packet&) override {}
};

void CheckUsers(const ISDN::LAPD_NT& lapd) {
    std::set<unsigned> teis;
    for (unsigned i = 0; i < ISDN::LAPD_NT::kUsers; ++i) {
        const ISDN::LAPD_NT_user& u = lapd.user(i);
        if (!u.is_assigned()) continue;
        if (!teis.insert(u.get_Tei()).second) std::abort();
        if (u.outstanding() > ISDN::LAPD_NT_user::kWindow) std::abort();
        if (u.queued() > ISDN::LAPD_NT_user::kQueueLimit) std::abort();
        if (((u.get_vs() - u.get_va()) & 0x7F) != u.outstanding()) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::QuietLogs();
    {
        ProtocolsList stack;
        stack.add_protocol_tail(new Sink);
        auto* lapd = new ISDN::LAPD_NT;
        stack.add_protocol_tail(lapd);
        lapd->set_log(2);
        size_t i = 0;
        while (i < size) {
            const uint8_t head = data[i++];
            const bool down = (head & 0x80) != 0;
            const size_t n = down ? (head & 0x1F) : head;
            if (n > size - i) break;
            Packet p;
            if (down)
                lapd->prepare_head(p);
            else
                p.reserve_head(0);
            for (size_t k = 0; k < n; ++k) p.put8(data[i + k]);
            i += n;
            if (down)
                lapd->message(p);
            else
                lapd->receive(p);
            CheckUsers(*lapd);
        }
    }
    return 0;
}
