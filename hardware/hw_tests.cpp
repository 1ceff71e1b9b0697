#include "hardware/hw_tests.h"

#include <unistd.h>

#include <cstdlib>
#include <iomanip>
#include <iostream>

#include "core/output.h"
#include "hardware/hw_mux.h"
#include "hardware/tdm_channel.h"

namespace {

// Two upper-case hex digits, as the controller prints the pattern.
struct HexByte {
    int value;
};

std::ostream& operator<<(std::ostream& os, HexByte b) {
    return os << std::hex << std::uppercase << std::setw(2) << std::setfill('0') << b.value << std::dec
              << std::nouppercase << std::setfill(' ');
}

int NextPatternByte() {
    return static_cast<int>(random() & 0xFF);
}

}  // namespace

HwTests& HwTests::instance() {
    static HwTests tests;
    return tests;
}

HwTests::HwTests(HwMux* mux) : mux_(mux) {}

HwMux& HwTests::Mux() {
    return mux_ != nullptr ? *mux_ : HwMux::instance();
}

bool HwTests::OnCommand(const LGCP::Command& command) {
    if (!command.testBpc_isSelected()) return false;
    Run(command.get_testBpc());
    return true;
}

void HwTests::Run(const LGCP::BpcTestParams& params) {
    bus = params.get_bus().getValue();
    int start = params.get_timeslot_start().getValue();
    int length = params.get_timeslot_length().getValue();
    // A run may go on into the next bus; only one past the switch's table is refused.
    if (bus < 0 || bus >= Tdm::kBuses || start < 0 || length < 0 ||
        Tdm::BusChannel(bus, start) + length > Tdm::kChannels) {
        std::cerr << ext::header(this) << "time slots " << start << " + " << length << " run past the switch"
                  << std::endl;
        Error(LGCP::ErrorCause::invalidParams);
        return;
    }
    first = static_cast<std::uint32_t>(Tdm::BusChannel(bus, start));
    end = first + static_cast<std::uint32_t>(length);
    seed = params.get_seed().getValue();
    srandom(static_cast<unsigned>(seed));

    const LGCP::BpcTestMode& mode = params.get_mode();
    if (mode.read_isSelected()) {
        if (Compare("test failed on channel ", " expected ", " read "))
            Success();
        else
            Error(LGCP::ErrorCause::busError);
    } else if (mode.write_isSelected()) {
        for (std::uint32_t ch = first; ch < end; ++ch)
            Mux().Write(static_cast<int>(ch), static_cast<unsigned char>(NextPatternByte()));
        ::usleep(500);
        srandom(static_cast<unsigned>(seed));
        if (Compare("write failed on channel ", " write ", " written "))
            Success();
        else
            Error(LGCP::ErrorCause::busError);
    } else if (mode.disconnect_isSelected()) {
        Disconnect();
        Success();
    } else {
        Error(LGCP::ErrorCause::invalidParams);
    }
}

bool HwTests::Compare(const char* failed, const char* expected, const char* got) {
    for (std::uint32_t ch = first; ch < end; ++ch) {
        int want = NextPatternByte();
        int have = Mux().Read(static_cast<int>(ch)) & 0xFF;
        if (want == have) continue;
        std::cerr << ext::header(this) << failed << (ch & 127) << expected << HexByte{want} << got
                  << HexByte{have} << std::endl;
        return false;
    }
    return true;
}

// The controller is told success even without the switch, as it expects.
void HwTests::Disconnect() {
    if (first != end && !Mux().IsOpened()) {
        std::cerr << ext::header(this) << "disconnect test: no switch, nothing disabled" << std::endl;
        return;
    }
    for (std::uint32_t ch = first; ch < end; ++ch) Mux().Disable(static_cast<int>(ch));
    ::usleep(250);
}

void HwTests::PutHeader(std::ostream& os) const {
    os << "bus " << bus << ": ";
}
