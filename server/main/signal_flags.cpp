#include "server/main/signal_flags.h"

#include <fstream>
#include <iostream>

#include "config/version.h"
#include "core/ipc_signal.h"
#include "core/multiplexer.h"
#include "server/main/components.h"

volatile std::sig_atomic_t doDumpStatus = 0;
volatile std::sig_atomic_t updateResources = 0;
volatile std::sig_atomic_t terminateRequested = 0;

void SigPipeHandler(int, siginfo_t*, void*) {}

void SigTermHandler(int, siginfo_t*, void*) {
    terminateRequested = 1;
    multiplexer.terminate();
}

void SigUsr2Handler(int, siginfo_t*, void*) {
    doDumpStatus = 1;
}

void SigHupHandler(int, siginfo_t*, void*) {
    updateResources = 1;
}

void InstallSignalHandlers() {
    IPC::Signal::handle(SIGPIPE, SigPipeHandler, SA_RESTART);
    IPC::Signal::handle(SIGTERM, SigTermHandler, 0);
    IPC::Signal::handle(SIGINT, SigTermHandler, 0);
    IPC::Signal::handle(SIGUSR2, SigUsr2Handler, SA_RESTART);
    IPC::Signal::handle(SIGHUP, SigHupHandler, SA_RESTART);
}

void CheckSignals() {
    if (terminateRequested) multiplexer.terminate();
    CheckDumpStatus();
    CheckUpdateResources();
}

void WriteStatus(std::ostream& out) {
    out << "tamboril server status" << std::endl;
    out << "version : " << Version::current << std::endl;
    multiplexer.dump(out);
}

void CheckDumpStatus(const char* path) {
    if (!doDumpStatus) return;
    doDumpStatus = 0;
    std::ofstream file(path, std::ios::out | std::ios::trunc);
    if (!file) {
        std::cerr << "dump status error" << std::endl;
        return;
    }
    WriteStatus(file);
}

void CheckUpdateResources() {
    if (!updateResources) return;
    updateResources = 0;
    std::clog << "update hardware resources" << std::endl;
    UpdateHardwareResources();
}
