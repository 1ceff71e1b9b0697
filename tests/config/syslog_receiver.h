// A system-log receiver for tests: a Unix socket of its own in a temp directory.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

class SysLogReceiver {
public:
    explicit SysLogReceiver(int type = SOCK_DGRAM) : mType(type) {
        char dir[] = "/tmp/tmb-syslog-XXXXXX";
        if (mkdtemp(dir)) mDir = dir;
        mPath = mDir + "/log";
        Open();
    }
    ~SysLogReceiver() {
        Stop();
        rmdir(mDir.c_str());
    }

    const std::string& path() const { return mPath; }
    const std::string& dir() const { return mDir; }

    // Unbinds the path, as a log daemon that has stopped.
    void Stop() {
        if (mConn >= 0) close(mConn);
        if (mFd >= 0) close(mFd);
        mConn = mFd = -1;
        unlink(mPath.c_str());
    }

    // Rebinds the path to a new socket, as a restarted log daemon does.
    void Restart() {
        Stop();
        Open();
    }

    // Stays bound, yet every datagram sent to it fails (EPIPE) until the next restart.
    void RefuseRecords() { shutdown(mFd, SHUT_RD); }

    // One datagram, or for a stream socket whatever arrives; empty after the time-out.
    std::string Receive(int timeout_ms = 2000) {
        if (mType == SOCK_STREAM && mConn < 0) {
            if (!Wait(mFd, timeout_ms)) return {};
            mConn = accept(mFd, nullptr, nullptr);
        }
        int fd = mType == SOCK_STREAM ? mConn : mFd;
        if (fd < 0 || !Wait(fd, timeout_ms)) return {};
        char buf[70000];
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }

    // Reads a stream until n bytes have come.
    std::string ReceiveBytes(size_t n) {
        std::string all;
        while (all.size() < n) {
            std::string more = Receive();
            if (more.empty()) break;
            all += more;
        }
        return all;
    }

private:
    static bool Wait(int fd, int timeout_ms) {
        pollfd p{fd, POLLIN, 0};
        return poll(&p, 1, timeout_ms) == 1;
    }
    void Open() {
        mFd = socket(AF_UNIX, mType, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        std::strncpy(a.sun_path, mPath.c_str(), sizeof a.sun_path - 1);
        bind(mFd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (mType == SOCK_STREAM) listen(mFd, 4);
    }

    int mType;
    int mFd = -1;
    int mConn = -1;
    std::string mDir;
    std::string mPath;
};

// The time stamp of a record written at the given time.
inline std::string SysLogStamp(time_t t) {
    struct tm local {};
    localtime_r(&t, &local);
    char buf[64];
    strftime(buf, sizeof buf, "%h %e %T ", &local);
    return buf;
}
