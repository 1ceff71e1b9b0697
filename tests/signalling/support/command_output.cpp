#include "tests/signalling/support/command_output.h"

#include <cstdio>

std::string CommandOutput(const std::string& command) {
    std::string text;
    FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr) return text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, out) != nullptr) text += buffer;
    ::pclose(out);
    return text;
}
