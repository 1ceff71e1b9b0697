// The daemon's command line: --daemon/-D, --port N, --disable-clock, --version,
// --help/-h. The short options are only D and h.
#pragma once

#include <iosfwd>

namespace CommandLine {

constexpr int kDefaultPort = 20001;
constexpr int kDisableClock = 10;  // getopt value of --disable-clock

struct Options {
    int port = kDefaultPort;
    bool daemon = false;
    bool disableClock = false;
};

// Reads every option; -1 when the daemon goes on, else the exit status after the
// usage text (0 for --help, 2 for a bad option or port) or the version line (2).
int Parse(int argc, char** argv, Options& options, std::ostream& out);

void PrintUsage(std::ostream& out);

// A decimal number from 1 to 65535 and nothing else.
bool ParsePort(const char* text, int& port);

}  // namespace CommandLine
