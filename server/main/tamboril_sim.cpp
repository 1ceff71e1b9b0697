// The control daemon on the simulated board. Its command line is the daemon's;
// the board's lines come from the environment (Sim::LineSetup, SimEcho), and
// the board keeps no request log, which only tests read.
#include "hardware/sim/board.h"
#include "hardware/sim/line_setup.h"
#include "hardware/sim/mcc_device.h"
#include "server/main/daemon_main.h"
#include "server/main/sim_echo.h"

int main(int argc, char** argv) {
    Sim::board().SetLogLimit(0);
    static Sim::LineSetup lines(Sim::trunks());
    if (!lines.FromEnvironment()) return 2;
    static SimEcho echo;
    if (!echo.FromEnvironment()) return 2;
    return ServerMain(argc, argv);
}
