// Address texts from the configuration and the command line: parsed from an exact-size
// NUL-terminated heap copy, so reading one byte past the text shows. An accepted text
// must print back to an address that parses to the same value.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/inet4_addr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::memcpy(text.get(), data, size);
    text[size] = '\0';

    INet4::Addr addr;
    int port = 0;
    const bool accepted = addr.Assign(text.get(), &port);
    const char* colon = std::strchr(text.get(), ':');
    if (colon == nullptr && port != -1) std::abort();
    if (colon != nullptr && addr.port() != static_cast<unsigned short>(port)) std::abort();

    if (accepted) {
        INet4::Addr again;
        if (!again.Assign(addr.GetString()) || !(again == addr)) std::abort();
        if (addr.GetVector().size() != 4) std::abort();
    }

    // The std::string overload sees the same text up to its first NUL.
    INet4::Addr other;
    const std::string copy(text.get());
    if (other.Assign(copy) != accepted || !(other == addr)) std::abort();
    return 0;
}
