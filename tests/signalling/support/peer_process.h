#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "core/event.h"

// A peer program run beside a test: its end of the frame channel becomes its
// descriptor 3, commands go to its standard input, and the lines it writes on
// its standard output (one JSON event each) are read by the loop.
class PeerProcess {
public:
    // args follow the program name; frame_fd stays the caller's to close.
    PeerProcess(const char* program, const std::vector<std::string>& args, int frame_fd);
    // Ends the program: stdin closed, then SIGTERM.
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;

    void Command(const std::string& line);
    // Lines of the form {..."event":"name"...}.
    bool Saw(const std::string& event) const { return Count(event) > 0; }
    int Count(const std::string& event) const;
    const std::vector<std::string>& lines() const { return lines_; }

    // Called for every whole line, after it is kept.
    std::function<void(const std::string&)> on_line;

private:
    void OnOutput(int fd, short revents);

    pid_t pid_ = -1;
    int command_fd_ = -1;
    Event output_;
    std::string pending_;
    std::vector<std::string> lines_;
};
