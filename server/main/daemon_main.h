// The daemon from start to exit: configuration, signals, command line, components,
// daemon mode, pid file, start line, bound services, the event loop and shut-down.
#pragma once

constexpr const char* kConfigFile = "/usr/local/etc/server.conf";

// The process's exit status.
int ServerMain(int argc, char** argv);

// Detaches the process; its streams then go to the system log as "tmb-" + version tag.
void RunDaemon();
