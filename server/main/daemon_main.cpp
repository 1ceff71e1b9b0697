#include "server/main/daemon_main.h"

#include <iostream>
#include <string>

#include "config/daemon.h"
#include "config/ini_file.h"
#include "config/trace_ctl.h"
#include "config/version.h"
#include "core/acceptor_net.h"
#include "core/child_wait.h"
#include "core/dpc.h"
#include "core/linux_run.h"
#include "core/multiplexer.h"
#include "server/command_line.h"
#include "server/ctrl_server.h"
#include "server/main/components.h"
#include "server/main/signal_flags.h"
#include "slots/modem_factory.h"

void RunDaemon() {
    Daemon::Params params;
    params.name = std::string("tmb-") + Version::current.tag();
    Daemon::Init(params);
}

int ServerMain(int argc, char** argv, uint16_t auth_port) {
    IniFile::File config;
    if (config.Open(kConfigFile)) {
        traces = TraceCtl();
        traces.Configure(config["traces"]);
    }
    InstallSignalHandlers();

    CommandLine::Options options;
    int status = CommandLine::Parse(argc, argv, options, std::cout);
    if (status >= 0) return status;
    if (options.disableClock) DisableClockControl();

    CreateComponents(config);
    if (options.daemon) RunDaemon();
    // Without its port the daemon runs on: only the modem slots need the peer.
    ModemFactory::instance().Listen(auth_port);
    Linux::Run pidFile("server");
    std::cout << "Starting server [" << Version::current << "], port=" << options.port << std::endl;

    BindServices(ctrlServer);
    ChildWait::Activate();
    Dpc signals;
    signals.Bind(&CheckSignals);
    signals.Activate();
    ctrlServer.Activate(new Control::AcceptorNetCheckConnection(options.port));

    multiplexer.run(true, true);

    ctrlServer.Deactivate();
    return 0;
}
