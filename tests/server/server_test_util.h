// What the control-server tests share: building and framing control messages, a
// connection over a socket pair, reading the daemon's answers, and capturing a stream.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "core/control_service.h"
#include "core/fd.h"
#include "protocol/LGCP.h"

namespace ServerTest {

using Bytes = std::vector<char>;

inline Bytes Encode(const LGCP::Message& message) {
    Bytes out;
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    EXPECT_TRUE(ASN1::encode(message, env, std::back_inserter(out)));
    return out;
}

inline bool Decode(const Bytes& body, LGCP::Message& message) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    return ASN1::decode(body.data(), body.data() + body.size(), &env, message, true);
}

inline Bytes Hex(const std::string& text) {
    Bytes out;
    for (size_t i = 0; i + 1 < text.size(); i += 2) {
        if (text[i] == ' ') {
            --i;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(text.substr(i, 2), nullptr, 16)));
    }
    return out;
}

inline std::string ToHex(const Bytes& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char c : bytes) {
        auto b = static_cast<unsigned char>(c);
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

inline Bytes Tpkt(const Bytes& body) {
    size_t length = body.size() + 4;
    Bytes frame{3, 0, static_cast<char>((length >> 8) & 0xFF), static_cast<char>(length & 0xFF)};
    frame.insert(frame.end(), body.begin(), body.end());
    return frame;
}

// A command message; seq and slot only when given (>= 0 for slot; seq any value when hasSeq).
inline LGCP::Message Command(const std::function<void(LGCP::Command&)>& select, bool hasSeq = false,
                             int seq = 0, long slot = -1) {
    LGCP::Message message;
    if (hasSeq) message.set_seq(seq);
    if (slot >= 0) message.set_slot(static_cast<unsigned>(slot));
    select(message.set_pdu().select_command());
    return message;
}

inline LGCP::Message Ping(bool hasSeq = false, int seq = 0, long slot = -1) {
    return Command([](LGCP::Command& c) { c.select_ping(); }, hasSeq, seq, slot);
}

// Splits a byte stream into TPKT bodies; a trailing partial frame stays in `pending`.
inline std::vector<Bytes> SplitFrames(Bytes& pending) {
    std::vector<Bytes> bodies;
    size_t pos = 0;
    while (pending.size() - pos >= 4) {
        size_t length = (static_cast<unsigned char>(pending[pos + 2]) << 8) |
                        static_cast<unsigned char>(pending[pos + 3]);
        if (length < 4 || pending.size() - pos < length) break;
        bodies.emplace_back(pending.begin() + static_cast<long>(pos + 4),
                            pending.begin() + static_cast<long>(pos + length));
        pos += length;
    }
    pending.erase(pending.begin(), pending.begin() + static_cast<long>(pos));
    return bodies;
}

// Everything readable now on a non-blocking or polled descriptor, as decoded messages.
inline std::vector<LGCP::Message> ReadMessages(int fd, Bytes& pending, int waitMs = 0) {
    std::vector<LGCP::Message> out;
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, waitMs) > 0 && (p.revents & POLLIN)) {
        char buffer[4096];
        ssize_t n = ::recv(fd, buffer, sizeof(buffer), MSG_DONTWAIT);
        if (n <= 0) break;
        pending.insert(pending.end(), buffer, buffer + n);
        waitMs = 0;
    }
    for (const Bytes& body : SplitFrames(pending)) {
        LGCP::Message m;
        EXPECT_TRUE(Decode(body, m)) << ToHex(body);
        out.push_back(m);
    }
    return out;
}

inline bool IsSuccess(const LGCP::Message& m) {
    return m.get_pdu().response_isSelected() && m.get_pdu().get_response().success_isSelected();
}

inline bool IsError(const LGCP::Message& m, LGCP::ErrorCause::NamedNumber cause) {
    return m.get_pdu().response_isSelected() && m.get_pdu().get_response().error_isSelected() &&
           m.get_pdu().get_response().get_error() == cause;
}

inline bool HasSeq(const LGCP::Message& m, int seq) {
    return m.seq_isPresent() && m.get_seq().getValue() == seq;
}
inline bool HasSlot(const LGCP::Message& m, unsigned slot) {
    return m.slot_isPresent() && m.get_slot().getValue() == slot;
}

// A message connection over a Unix socket pair: the test holds the peer end.
class FakeLink : public Control::Service {
public:
    int peer() const { return peer_.lowlevel_fd(); }
    std::vector<LGCP::Message> Read(int waitMs = 0) { return ReadMessages(peer(), pending_, waitMs); }

protected:
    bool ImplActivate() override {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) return false;
        peer_ = Fd(sv[1]);
        return Attach(Fd(sv[0]), "10.1.2.3:4000");
    }
    void ImplDeactivate() override {}
    void ImplOnDisconnect() override {}

private:
    Fd peer_;
    Bytes pending_;
};

// Redirects a stream into a string for the object's life.
class Capture {
public:
    explicit Capture(std::ostream& stream) : stream_(stream), old_(stream.rdbuf(text_.rdbuf())) {}
    ~Capture() { stream_.rdbuf(old_); }
    std::string str() const { return text_.str(); }
    size_t count(const std::string& what) const {
        size_t n = 0;
        std::string s = text_.str();
        for (size_t pos = s.find(what); pos != std::string::npos; pos = s.find(what, pos + 1)) ++n;
        return n;
    }

private:
    std::ostream& stream_;
    std::ostringstream text_;
    std::streambuf* old_;
};

}  // namespace ServerTest
