// The control daemon on the simulated board. Its command line is the daemon's;
// the board's lines come from the environment (Sim::LineSetup, SimEcho), and
// the board keeps no request log, which only tests read. TAMBORIL_AUTH_PORT moves
// the PPP authentication socket off its port, so that several daemons can run
// on one machine.
#include <cstdint>
#include <cstdlib>
#include <iostream>

#include "core/output.h"
#include "hardware/sim/board.h"
#include "hardware/sim/line_setup.h"
#include "hardware/sim/mcc_device.h"
#include "server/command_line.h"
#include "server/main/daemon_main.h"
#include "server/main/sim_echo.h"
#include "slots/modem_factory.h"

namespace {

constexpr const char* kAuthPortVariable = "TAMBORIL_AUTH_PORT";

// False, with a line, for a value that is no port number.
bool AuthPortFromEnvironment(uint16_t& port) {
    port = ModemFactory::kAuthPort;
    const char* text = std::getenv(kAuthPortVariable);
    if (text == nullptr || *text == '\0') return true;
    int value = 0;
    if (!CommandLine::ParsePort(text, value)) {
        std::cerr << "sim: " << kAuthPortVariable << ": " << ext::quoted(text) << " is no port number"
                  << std::endl;
        return false;
    }
    port = static_cast<uint16_t>(value);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Sim::board().SetLogLimit(0);
    static Sim::LineSetup lines(Sim::trunks());
    if (!lines.FromEnvironment()) return 2;
    static SimEcho echo;
    if (!echo.FromEnvironment()) return 2;
    uint16_t auth_port = 0;
    if (!AuthPortFromEnvironment(auth_port)) return 2;
    return ServerMain(argc, argv, auth_port);
}
