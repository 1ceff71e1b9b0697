#pragma once

#include <iostream>
#include <sstream>
#include <string>
#include <utility>

// Swaps the log and error streams for strings while it lives.
struct CapturedStreams {
    CapturedStreams() : log_buf(std::clog.rdbuf(log.rdbuf())), err_buf(std::cerr.rdbuf(err.rdbuf())) {}
    ~CapturedStreams() {
        std::clog.rdbuf(log_buf);
        std::cerr.rdbuf(err_buf);
    }
    CapturedStreams(const CapturedStreams&) = delete;
    CapturedStreams& operator=(const CapturedStreams&) = delete;

    // What was written since the last call.
    std::string Log() { return std::exchange(log, std::ostringstream{}).str(); }
    std::string Err() { return std::exchange(err, std::ostringstream{}).str(); }

    std::ostringstream log, err;
    std::streambuf* log_buf;
    std::streambuf* err_buf;
};
