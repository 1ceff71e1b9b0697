// The daemon logs what it makes of bad input, and a fuzz run feeds nothing else:
// the lines are still formatted, then thrown away, so a long run neither slows
// down nor grows.
#pragma once

#include <iostream>
#include <streambuf>

namespace fuzz {

class NullBuffer : public std::streambuf {
protected:
    int overflow(int c) override { return c == traits_type::eof() ? 0 : c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// For the rest of the run; safe to call for every input.
inline void QuietLogs() {
    static NullBuffer sink;
    std::cout.rdbuf(&sink);
    std::clog.rdbuf(&sink);
    std::cerr.rdbuf(&sink);
}

}  // namespace fuzz
