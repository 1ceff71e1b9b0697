// The SNMP agent's side of a monitoring link, for tests: a listening socket on
// loopback, the one link it accepts, and the MON messages read from it.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "asn1/coder_env.h"
#include "protocol/MON.h"
#include "tests/core/control_service_test.h"

namespace testing_monitoring {

// A MON message as the link carries it, without the TPKT header.
inline std::string Encoded(const MON::Message& m) {
    ASN1::CoderEnv env;
    env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
    std::string body;
    EXPECT_TRUE(ASN1::encode(m, env, std::back_inserter(body)));
    return body;
}

inline std::string PingResponse() {
    MON::Message m;
    m.set_pdu().select_response().select_ping().select_success();
    return Encoded(m);
}

class FakeAgent {
public:
    FakeAgent() {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
        EXPECT_EQ(0, testing_core::BindLoopback(listen_));
        EXPECT_EQ(0, ::listen(listen_, 4));
        port_ = testing_core::LocalPort(listen_);
    }
    ~FakeAgent() { ::close(listen_); }
    FakeAgent(const FakeAgent&) = delete;
    FakeAgent& operator=(const FakeAgent&) = delete;

    std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
    bool Accept() {
        if (link_) return true;
        int fd = ::accept(listen_, nullptr, nullptr);
        if (fd < 0) return false;
        link_ = std::make_unique<testing_core::Client>(fd);
        return true;
    }
    // A connection waits to be accepted.
    bool Waiting() const {
        pollfd p{listen_, POLLIN, 0};
        return ::poll(&p, 1, 0) == 1;
    }
    // The bodies of the complete TPKT frames received so far.
    std::vector<std::string> Frames() {
        std::vector<std::string> out;
        if (!link_) return out;
        const std::string& bytes = link_->received();
        size_t at = 0;
        while (at + 4 <= bytes.size()) {
            size_t length =
                (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
            if (length < 4 || at + length > bytes.size()) break;
            out.emplace_back(bytes, at + 4, length - 4);
            at += length;
        }
        return out;
    }
    // The same, decoded.
    std::vector<MON::Message> Messages() {
        std::vector<MON::Message> out;
        for (const std::string& body : Frames()) {
            MON::Message m;
            ASN1::CoderEnv env;
            env.set_encodingRule(ASN1::CoderEnv::per_Aligned);
            EXPECT_TRUE(ASN1::decode(body.data(), body.data() + body.size(), &env, m, true));
            out.push_back(m);
        }
        return out;
    }
    size_t Pings() {
        size_t n = 0;
        for (const auto& m : Messages()) n += m.get_pdu().get_command().ping_isSelected();
        return n;
    }
    void SendPingResponse() { link_->send(testing_core::Frame(PingResponse())); }
    testing_core::Client& link() { return *link_; }
    // Forgets the link, so that the next one can be accepted.
    void Drop() { link_.reset(); }

private:
    int listen_ = -1;
    uint16_t port_ = 0;
    std::unique_ptr<testing_core::Client> link_;
};

}  // namespace testing_monitoring
