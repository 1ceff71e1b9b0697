#include "server/command_line.h"

#include <getopt.h>

#include <cstdlib>
#include <ostream>
#include <string>

#include "config/version.h"

namespace CommandLine {

namespace {

int print_version = 0;

const option long_options[] = {
    {"daemon", no_argument, nullptr, 'D'},     {"disable-clock", no_argument, nullptr, kDisableClock},
    {"port", required_argument, nullptr, 'p'}, {"version", no_argument, &print_version, 1},
    {"help", no_argument, nullptr, 'h'},       {nullptr, 0, nullptr, 0},
};

}  // namespace

bool ParsePort(const char* text, int& port) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    char* end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 1 || value > 65535) return false;
    port = static_cast<int>(value);
    return true;
}

void PrintUsage(std::ostream& out) {
    out << "Usage:\n"
           " tamboril -Dh\n"
           "  -D --daemon                      run as daemon\n"
           "  -p --port                        use this port\n"
           "     --disable-clock               disable clock control\n"
           "     --version                     print version\n"
           "  -h --help                        display this information\n"
        << std::endl;
}

int Parse(int argc, char** argv, Options& options, std::ostream& out) {
    opterr = 1;
    optind = 0;  // full rescan, so a process (or a test) may parse more than once
    print_version = 0;
    for (;;) {
        int c = getopt_long(argc, argv, "Dh", long_options, nullptr);
        if (c == -1) break;
        switch (c) {
            case 'h':
                PrintUsage(out);
                return 0;
            case 'p':
                if (!ParsePort(optarg, options.port)) {
                    PrintUsage(out);
                    return 2;
                }
                break;
            case 'D':
                options.daemon = true;
                break;
            case kDisableClock:
                options.disableClock = true;
                break;
            case '?':
                PrintUsage(out);
                return 2;
            default:
                break;
        }
    }
    if (print_version) {
        out << "server version: " << Version::current << std::endl;
        return 2;
    }
    return -1;
}

}  // namespace CommandLine
