#pragma once

#include <string>

// What a shell command writes on its standard output ("" when it cannot run).
std::string CommandOutput(const std::string& command);
