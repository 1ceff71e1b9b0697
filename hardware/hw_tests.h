// The controller's self-test of a run of time slots on one bus of the shared TDM
// bus, through the TDM switch: a pseudo-random byte pattern that the controller
// can reproduce from its seed (glibc srandom/random) is read, or written and read
// back, or the run is disabled.
#pragma once

#include <cstdint>
#include <iosfwd>

#include "protocol/LGCP.h"
#include "protocol/ctrl_service.h"

class HwMux;

class HwTests : public CtrlSrv::Service {
public:
    static HwTests& instance();

    // The daemon uses instance(), on the process's switch; tests give their own.
    explicit HwTests(HwMux* mux = nullptr);

    void OnConnect() override {}
    void OnDisconnect() override {}
    bool OnCommand(const LGCP::Command& command) override;

    void PutHeader(std::ostream& os) const;

private:
    void Run(const LGCP::BpcTestParams& params);
    // True when every channel carries the pattern; else logs the first mismatch.
    bool Compare(const char* failed, const char* expected, const char* got);
    void Disconnect();
    HwMux& Mux();

    int bus = 0;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    int seed = 0;
    HwMux* mux_;
};
