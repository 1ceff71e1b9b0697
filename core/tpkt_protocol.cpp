#include "core/tpkt_protocol.h"

#include <cstring>
#include <iostream>
#include <new>
#include <sstream>

#include "core/profile.h"

Tpkt_protocol::Tpkt_protocol() : protocol_name_("TPKT") {}

void Tpkt_protocol::local_prepare_head(Packet& p) {
    p.reserve_head(kHeaderSize);
}

void Tpkt_protocol::local_prepare_tail(Packet& p) {
    p.reserve_tail(0);
}

void Tpkt_protocol::local_activate() {
    reset();
}

void Tpkt_protocol::local_deactivate() {
    reset();
    on_deactivate(new Protocol_status_success(this, "TPKT deactivated"));
}

void Tpkt_protocol::on_deactivate(Protocol_status status) {
    // The stream below is lost: nothing more will come to finish a frame or a run.
    if (!status->success()) reset();
    Protocol::on_deactivate(status);
}

void Tpkt_protocol::message(Packet& p) {
    static Profile::Point point("Tpkt_protocol::message");
    if (p.length() > kMaxBody) {
        std::cerr << *this << " TPKT body too long: " << p.length() << " bytes, max = " << kMaxBody
                  << ", not sent." << std::endl;
        return;
    }
    point.begin();
    const unsigned length = p.length() + kHeaderSize;
    p.push8(static_cast<unsigned char>(length & 0xFF));
    p.push8(static_cast<unsigned char>(length >> 8));
    p.push8(0);
    p.push8(3);
    point.end();
    transmit(p);
}

void Tpkt_protocol::receive(Packet& piece) {
    if (piece.null()) return;
    const unsigned char* p = static_cast<const Packet&>(piece).data();
    unsigned n = piece.length();
    // A reset inside the read (the owner dropped the connection from its message
    // notice) ends it: the rest belongs to a connection that is gone.
    const unsigned generation = generation_;
    while (n > 0) {
        unsigned used = 0;
        switch (state_) {
            case idle:
                used = receive_idle(p, n);
                break;
            case wait_r:
                used = receive_wait_r(p, n);
                break;
            case len_1:
                used = receive_len_1(p, n);
                break;
            case len_2:
                used = receive_len_2(p, n);
                break;
            case body:
                used = receive_body(p, n);
                break;
            case ignore:
                used = receive_ignore(p, n);
                break;
        }
        if (generation_ != generation) return;
        p += used;
        n -= used;
    }
    if (state_ != idle)
        frame_timer_.set(kFrameTimeout, &Tpkt_protocol::on_timeout, this);
    else
        frame_timer_.reset();
}

// Bytes that cannot start a frame are skipped as one run, logged once when it ends.
unsigned Tpkt_protocol::receive_idle(const unsigned char* p, unsigned n) {
    const void* start = std::memchr(p, 3, n);
    if (start == nullptr) {
        skipped_ += n;
        return n;
    }
    const unsigned skip = static_cast<unsigned>(static_cast<const unsigned char*>(start) - p);
    skipped_ += skip;
    EndSkippedRun();
    next_state(wait_r);
    return skip + 1;
}

void Tpkt_protocol::EndSkippedRun() {
    if (skipped_ == 0) return;
    std::ostringstream line;
    line << *this << " bad TPKT packet start. " << skipped_ << (skipped_ == 1 ? " byte" : " bytes")
         << " skipped.";
    skipped_ = 0;
    Framing("bad TPKT packet start", line.str());
}

void Tpkt_protocol::Framing(const char* kind, const std::string& line) {
    if (framing_log_ != nullptr)
        framing_log_->ITpktFraming(kind, line);
    else
        std::clog << line << std::endl;
}

unsigned Tpkt_protocol::receive_wait_r(const unsigned char* p, unsigned) {
    if (p[0] == 0) {
        next_state(len_1);
    } else {
        std::ostringstream line;
        line << *this << " bad TPKT reserved.";
        Framing("bad TPKT reserved", line.str());
        next_state(idle);
    }
    return 1;
}

unsigned Tpkt_protocol::receive_len_1(const unsigned char* p, unsigned) {
    remaining_ = p[0];
    next_state(len_2);
    return 1;
}

unsigned Tpkt_protocol::receive_len_2(const unsigned char* p, unsigned) {
    remaining_ = remaining_ * 256 + p[0];
    if (remaining_ < kHeaderSize) {
        Framing("TPKT too small", "TPKT too small " + std::to_string(remaining_));
        next_state(idle);
        return 1;
    }
    remaining_ -= kHeaderSize;
    body_.clear();
    try {
        const PacketReserve reserve(reserve_);
        body_.reserve_head(0);
    } catch (const std::bad_alloc&) {
        if (auto line = shortage_.Refused())
            line << *this << " no packet buffer: TPKT frame of " << remaining_ << " bytes dropped.";
        next_state(ignore);
        if (remaining_ == 0) next_state(idle);
        return 1;
    }
    shortage_.Served();
    if (remaining_ > body_.tailroom()) {
        Framing("TPKT length too big", "TPKT length too big, received = " + std::to_string(remaining_) +
                                           " max = " + std::to_string(body_.tailroom()));
        body_.clear();
        next_state(ignore);
        return 1;
    }
    next_state(body);
    // An empty body is complete with its header: no byte will follow to finish it.
    if (remaining_ == 0) deliver();
    return 1;
}

unsigned Tpkt_protocol::receive_body(const unsigned char* p, unsigned n) {
    const unsigned take = n < remaining_ ? n : remaining_;
    std::memcpy(body_.put(take), p, take);
    remaining_ -= take;
    if (remaining_ == 0) deliver();
    return take;
}

unsigned Tpkt_protocol::receive_ignore(const unsigned char*, unsigned n) {
    const unsigned take = n < remaining_ ? n : remaining_;
    remaining_ -= take;
    if (remaining_ == 0) next_state(idle);
    return take;
}

void Tpkt_protocol::deliver() {
    Packet complete = body_;
    body_.clear();
    next_state(idle);
    on_message(complete);
}

void Tpkt_protocol::reset() {
    EndSkippedRun();
    ++generation_;
    frame_timer_.reset();
    body_.clear();
    remaining_ = 0;
    next_state(idle);
}

void Tpkt_protocol::on_timeout(Timer*) {
    Framing("TPKT packet timeout", " TPKT packet timeout.");
    reset();
}
