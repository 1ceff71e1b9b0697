// The daemon from start to exit: configuration, signals, command line, components,
// daemon mode, pid file, start line, bound services, the event loop and shut-down.
#pragma once

#include <cstdint>

constexpr const char* kConfigFile = "/usr/local/etc/server.conf";

// The process's exit status. The PPP authentication socket listens on 127.0.0.1 at
// auth_port.
int ServerMain(int argc, char** argv, uint16_t auth_port);

// Detaches the process; its streams then go to the system log as "tmb-" + version tag.
void RunDaemon();
