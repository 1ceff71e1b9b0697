#include "tests/signalling/support/capture_file.h"

#include <unistd.h>

#include <cstdlib>

bool HaveTshark() {
    return std::system("command -v tshark >/dev/null 2>&1") == 0;
}

std::string TempCapture(const char* stem) {
    std::string path = std::string("/tmp/") + stem + "_XXXXXX.pcapng";
    const int fd = ::mkstemps(path.data(), 7);
    if (fd < 0) return "";
    ::close(fd);
    return path;
}
