// The daemon's signals. Handlers only set flags (or the loop's stop flag); the
// deferred call CheckSignals serves them inside the event loop.
#pragma once

#include <csignal>
#include <iosfwd>

extern volatile std::sig_atomic_t doDumpStatus;     // SIGUSR2
extern volatile std::sig_atomic_t updateResources;  // SIGHUP
// SIGTERM/SIGINT. Kept apart from the loop's own stop flag, which the loop clears when
// it starts: a stop asked for during start-up must not be lost.
extern volatile std::sig_atomic_t terminateRequested;

constexpr const char* kStatusFile = "/var/log/server-status";

void SigPipeHandler(int sig, siginfo_t* info, void* context);
void SigTermHandler(int sig, siginfo_t* info, void* context);
void SigUsr2Handler(int sig, siginfo_t* info, void* context);
void SigHupHandler(int sig, siginfo_t* info, void* context);
void InstallSignalHandlers();

// The loop's deferred call: a pending stop, then CheckDumpStatus, then CheckUpdateResources.
void CheckSignals();
void CheckDumpStatus(const char* path = kStatusFile);
void CheckUpdateResources();
// The status dump: title, version line and the event loop's dump.
void WriteStatus(std::ostream& out);
