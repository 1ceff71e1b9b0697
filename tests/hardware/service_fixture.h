// A hardware service bound to a control server whose controller link is a socket
// pair, on the loop's manual clock, against the simulated board. A tap bound last
// keeps every signal the services relay, with the loop time it was sent at.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hardware/sim/board.h"
#include "server/ctrl_server.h"
#include "protocol/ctrl_service.h"
#include "tests/core/control_service_test.h"
#include "tests/core/multiplexer_test.h"
#include "tests/server/server_test_util.h"

namespace hardware_test {

struct Relayed {
    uint32_t ms;
    LGCP::Signal signal;
};

class SignalTap : public CtrlSrv::Service {
public:
    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command&) override { return false; }
    void OnSignal(const LGCP::Signal& signal) override { seen.push_back({Mux::milliseconds(), signal}); }
    std::vector<Relayed> Take() { return std::exchange(seen, {}); }

    std::vector<Relayed> seen;
};

class ServiceTest : public LoopTest {
protected:
    void SetUp() override {
        LoopTest::SetUp();
        board.Reset();
    }
    void TearDown() override {
        server.Deactivate();
        board.Reset();
        LoopTest::TearDown();
    }
    // Binds the service and the tap; the controller connects later.
    void Bind(CtrlSrv::Service& service) {
        server.Bind(&service);
        server.Bind(&tap);
    }
    void Connect() {
        link = new ServerTest::FakeLink;
        ASSERT_TRUE(server.Activate(link));
    }
    // The controller leaves; the server learns it from the loop.
    void Leave() {
        link->Disconnect();
        runner.until([this] { return !link->IsConnected(); });
    }
    void RunFor(unsigned ms) { runner.for_ms(ms); }

    Sim::Board& board = Sim::board();
    testing_core::LineCapture log{std::clog};
    testing_core::LineCapture errors{std::cerr};
    testing_core::Runner runner;
    SignalTap tap;
    CtrlSrv::Server server;
    ServerTest::FakeLink* link = nullptr;
};

}  // namespace hardware_test
