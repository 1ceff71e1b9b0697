// Random configuration text: the parser must end without a crash or leak, and a
// model it built must be walkable and dumpable.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "config/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    IniFile::File file;
    file.IntOpenStream(in);
    std::ostringstream out;
    for (auto& section : file) section.Dump(out);
    file.Close();
    return 0;
}
