#include "signalling/ss7_slc.h"

#include <cstring>
#include <iostream>
#include <new>

#include "core/output.h"

namespace SS7 {

namespace {

unsigned char sequence_octet(SLC::Seq n, bool bit) {
    return static_cast<unsigned char>(static_cast<unsigned>(n) | (bit ? 0x80u : 0u));
}

}  // namespace

std::ostream& operator<<(std::ostream& os, const SLC::Octets& o) {
    const auto flags = os.flags();
    os << std::hex << std::uppercase;
    for (unsigned i = 0; i < o.p.length(); ++i)
        os << " 0x" << static_cast<unsigned>(o.p[static_cast<int>(i)]);
    os.flags(flags);
    return os;
}

// A link the far end aligns (SIO while idle) never passes through a reset
// before its first FISU, so it starts with the values a reset gives.
SLC::SLC() {
    reset();
}

SLC::~SLC() {
    timer.reset();
    for (Packet& p : rtb) p.clear();
    tb.clear();
}

const std::uint32_t* SLC::statistics() const {
    stats[5] = rtb_count;
    return stats;
}

void SLC::local_prepare_head(Packet& p) {
    p.reserve_head(kHeader);
}

void SLC::local_prepare_tail(Packet& p) {
    p.reserve_tail(0);
}

void SLC::protocol_info(std::ostream& os) const {
    os << "MTP/L2";
}

void SLC::OnTrunkHardStatus(bool up) {
    if (up || current == &s_idle) return;
    std::clog << ext::header(this) << " transport OFF by low level terminated" << std::endl;
    next_state(s_idle);
}

void SLC::local_activate() {
    if (current == &s_idle) {
        if (trace.mtp_activate) std::clog << ext::header(this) << "local_activate: executing..." << std::endl;
        next_state(s_not_aligned);
        return;
    }
    if (trace.mtp_activate) std::clog << ext::header(this) << "local_activate: ignored." << std::endl;
    if (current == &s_worked) on_activate();
}

void SLC::local_deactivate() {
    if (trace.mtp_activate) std::clog << ext::header(this) << "local_deactivate()" << std::endl;
    next_state(s_idle);
}

void SLC::on_hdlc_error(HDLC::Notify::Cause::Type cause) {
    if (auto line = hdlc_error_line.Admit())
        line << ext::header(this) << "hdlc error [cause=" << static_cast<int>(cause) << "]";
}

void SLC::on_hdlc_ready() {
    if (auto line = ready_line.Admit()) line << ext::header(this) << "hdlc ready";
    process_tb();
}

void SLC::message(Packet& msu) {
    take_message(msu);
}

bool SLC::take_message(Packet& msu) {
    if (trace.mtp_transmit) std::clog << ext::header(this) << " mtp tx" << Octets{msu} << std::endl;
    return current->message(*this, msu);
}

void SLC::receive(Packet& su) {
    if (trace.raw_receive) std::clog << ext::header(this) << " rx raw" << Octets{su} << std::endl;
    stats[3] += su.length();
    if (su.length() < kHeader) {
        if (auto line = too_small_line.Admit(std::cerr))
            line << ext::header(this) << "ignore packet, length too small " << su;
        return;
    }
    try {
        // Taking the header off a buffer shared with the channel copies it first.
        const unsigned char b = su.pull8();
        const unsigned char f = su.pull8();
        // The two bits above the length indicator are spare.
        li = su.pull8() & 0x3Fu;
        bsnr = b;
        bibr = (b & 0x80) != 0;
        fsnr = f;
        fibr = (f & 0x80) != 0;
        const unsigned left = su.length();
        const unsigned n = left < kMaxLi ? left : kMaxLi;
        if (li != n) {
            // The lines after the first belong to it and go with it.
            if (auto line = bad_length_line.Admit(std::cerr)) {
                line << ext::header(this) << "invalid packet length, expected = " << li
                     << ", received = " << left;
                if (n == kMaxLi)
                    line << '\n' << ext::header(this) << "can't truncate signalling unit.";
                else if (li < n)
                    line << '\n' << ext::header(this) << "truncate " << (n - li) << " octet(s) : " << su;
            }
            if (n != kMaxLi && li < n) su.trim(n - li);
        }
    } catch (const std::bad_alloc&) {
        ++no_buffer;
        if (auto line = rx_no_buffer_line.Admit(std::cerr))
            line << ext::header(this) << "no packet buffer, signal unit dropped";
        return;
    }
    li = su.length();
    ++stats[1];
    if (li == 0) {
        current->fisu(*this);
    } else if (li <= 2) {
        // Only the low three bits of the status field carry the status.
        current->lssu(*this, static_cast<Indication>(su[0] & 0x07));
    } else {
        current->msu(*this, su);
    }
}

// ---- send paths ----

bool SLC::new_unit(Packet& p) {
    try {
        prepare_head(p);
        return true;
    } catch (const std::bad_alloc&) {
        no_buffer_to_send();
        return false;
    }
}

void SLC::no_buffer_to_send() {
    ++no_buffer;
    if (auto line = tx_no_buffer_line.Admit(std::cerr))
        line << ext::header(this) << "no packet buffer, signal unit not sent";
}

bool SLC::send(Packet su) {
    if (m_hdlc == nullptr) {
        std::clog << ext::header(this) << "no HDLC interface attached!!!" << std::endl;
        return false;
    }
    const unsigned length = su.length();
    if (su.null() || su._headroom() < kHeader) {
        // A unit from above without room for the header goes out of a copy that has it.
        Packet room;
        if (!new_unit(room)) return false;
        if (room.tailroom() < length) {
            if (auto line = too_long_line.Admit(std::cerr))
                line << ext::header(this) << "signal unit of " << length << " octets too long";
            return false;
        }
        if (length != 0) std::memcpy(room.put(length), su.data(), length);
        su = room;
    }
    try {
        su.push8(static_cast<unsigned char>(length < kMaxLi ? length : kMaxLi));
    } catch (const std::bad_alloc&) {
        no_buffer_to_send();
        return false;
    }
    su.push8(sequence_octet(fsnt, fibt));
    su.push8(sequence_octet(bsnt, bibt));
    if (!m_hdlc->hdlc_transmit(su)) {
        if (trace.raw_transmit) std::clog << ext::header(this) << " tx full!" << std::endl;
        return false;
    }
    if (trace.raw_transmit) std::clog << ext::header(this) << " tx raw" << Octets{su} << std::endl;
    ++stats[0];
    stats[2] += su.length();
    return true;
}

void SLC::send_fisu() {
    Packet p;
    if (new_unit(p)) send(p);
}

void SLC::send_lssu(Indication status) {
    if (m_hdlc == nullptr) return;
    Packet p;
    if (!new_unit(p)) return;
    p.put8(status);
    p.push8(1);
    p.push8(0xFF);
    p.push8(0xFF);
    m_hdlc->hdlc_transmit(p);
}

void SLC::reset() {
    for (unsigned i = 0; i < rtb_count; ++i) rtb[rtb_head + i].clear();
    rtb_head = 0;
    rtb_last = 127;
    rtb_count = 0;
    nack_pending = bad_bsn = bad_fib = false;
    bsnt = fsnt = 127;
    bibt = fibt = true;
}

// ---- basic error correction ----

void SLC::process_tb() {
    if (!in_worked()) return;
    if (tb.empty()) {
        send_fisu();
        return;
    }
    while (rtb_count < kRtbLimit && !tb.empty()) {
        Packet msu;
        tb.preview(&msu);
        fsnt = rtb_last + 1;
        const std::uint32_t lost = no_buffer;
        if (!send(msu)) {
            // FISUs sent meanwhile must not announce an MSU that never left.
            fsnt = rtb_last;
            if (no_buffer == lost) return;
            // Without a buffer for its header the MSU cannot go out at all.
            tb.get(msu);
            if (auto line = msu_dropped_line.Admit(std::cerr))
                line << ext::header(this) << "msu dropped: " << msu;
            continue;
        }
        tb.get(msu);
        rtb_last = fsnt;
        rtb[fsnt] = msu;
        if (++rtb_count == 1) set(T7);
    }
}

bool SLC::process_bsnr() {
    const Seq last_acked = rtb_head - 1;
    if (!((last_acked <= bsnr) <= rtb_last)) {
        if (!bad_bsn) {
            bad_bsn = true;
            return true;
        }
        if (trace.msu_processing)
            std::cerr << ext::header(this) << "bad su acknowledgement received: " << DumpPtr{this}
                      << std::endl;
        next_state(s_idle);
        return false;
    }
    bad_bsn = false;
    const Seq until = bsnr + 1;
    const bool freed = rtb_head != until;
    if (freed) set(T7);
    while (rtb_head != until) {
        rtb[rtb_head].clear();
        --rtb_count;
        ++rtb_head;
    }
    if (rtb_head - 1 == rtb_last) timer.reset();
    if (bibr != bibx)
        retransmit();
    else if (freed && !tb.empty())
        process_tb();  // MSUs held back by a full RTB go now
    return true;
}

void SLC::retransmit() {
    if (trace.msu_processing)
        std::cerr << ext::header(this) << "retransmit"
                  << " rtb=" << rtb_count << std::endl;
    ++stats[6];
    fsnt = rtb_head - 1;
    fibt = bibr;
    for (Seq n = rtb_last; rtb_count > 0; --n, --rtb_count) {
        tb.append(rtb[n]);
        rtb[n].clear();
    }
    rtb_last = fsnt;
    process_tb();
}

void SLC::acknowledge() {
    bsnt = fsnr;
    if (trace.msu_processing) std::cerr << ext::header(this) << "ack!" << std::endl;
    send_fisu();
}

void SLC::negative_acknowledge() {
    bibt = !bibt;
    fibx = bibt;
    nack_pending = true;
    send_fisu();
    ++stats[7];
    if (trace.msu_processing) std::cerr << ext::header(this) << "nack!" << std::endl;
}

void SLC::unexpected_fib() {
    if (nack_pending) {
        process_bsnr();
        return;
    }
    if (bad_fib) {
        if (trace.msu_processing)
            std::cerr << ext::header(this) << "bad start of a retransmission: " << DumpPtr{this} << std::endl;
        next_state(s_idle);
        return;
    }
    bad_fib = true;
}

}  // namespace SS7
