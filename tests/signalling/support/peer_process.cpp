#include "tests/signalling/support/peer_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>


PeerProcess::PeerProcess(const char* program, const std::vector<std::string>& args, int frame_fd) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) return;
    if (::pipe2(out, O_CLOEXEC) != 0) {
        ::close(in[0]);
        ::close(in[1]);
        return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
        // dup2 clears close-on-exec; a descriptor already at 3 needs it cleared by hand.
        ::dup2(in[0], 0);
        ::dup2(out[1], 1);
        if (frame_fd == 3) ::fcntl(3, F_SETFD, 0);
        else ::dup2(frame_fd, 3);
        std::vector<char*> argv{const_cast<char*>(program)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program, argv.data());
        ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    if (pid_ < 0) {
        ::close(in[1]);
        ::close(out[0]);
        return;
    }
    command_fd_ = in[1];
    output_.Bind("PeerProcess::OnOutput", &PeerProcess::OnOutput, this);
    output_.Schedule(Fd(out[0]), POLLIN);
}

PeerProcess::~PeerProcess() {
    output_.Release();
    if (command_fd_ >= 0) ::close(command_fd_);
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

void PeerProcess::Command(const std::string& line) {
    const std::string text = line + "\n";
    if (command_fd_ < 0 || ::write(command_fd_, text.data(), text.size()) < 0) ADD_FAILURE() << "peer gone";
}

int PeerProcess::Count(const std::string& event) const {
    const std::string field = "\"event\":\"" + event + "\"";
    int n = 0;
    for (const std::string& l : lines_)
        if (l.find(field) != std::string::npos) ++n;
    return n;
}

void PeerProcess::OnOutput(int fd, short revents) {
    if ((revents & (POLLIN | POLLHUP)) == 0) return;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
        output_.Release();
        return;
    }
    pending_.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending_.find('\n')) != std::string::npos; pending_.erase(0, end + 1)) {
        lines_.push_back(pending_.substr(0, end));
        if (on_line) on_line(lines_.back());
    }
}
