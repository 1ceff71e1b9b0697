#include "core/fd.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

Fd::Fd(int fd) : mFd(fd) {
    if (mFd >= 0) SetCloexec(mFd, true);
}

Fd::Fd(const Fd& other) : mFd(other.dup()) {}

Fd& Fd::operator=(const Fd& other) {
    if (this != &other) {
        close();
        mFd = other.dup();
    }
    return *this;
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        close();
        mFd = other.mFd;
        other.mFd = -1;
    }
    return *this;
}

int Fd::close() {
    if (mFd < 0) {
        errno = EBADF;
        return -1;
    }
    int rc = ::close(mFd);
    mFd = -1;
    return rc;
}

bool Fd::open(const char* path, int flags) {
    if (mFd >= 0) close();
    mFd = ::open(path, flags | O_CLOEXEC);
    return mFd >= 0;
}

int Fd::dup() const {
    if (mFd < 0) return -1;
    return ::fcntl(mFd, F_DUPFD_CLOEXEC, 0);
}

bool Fd::NonBlock() {
    if (mFd < 0) return false;
    return NonBlockMode(mFd);
}

int close(Fd& fd) {
    return fd.close();
}

long read(Fd& fd, void* buffer, unsigned length) {
    return ::read(fd.lowlevel_fd(), buffer, length);
}

long write(Fd& fd, const void* buffer, unsigned length) {
    return ::write(fd.lowlevel_fd(), buffer, length);
}

bool NonBlockMode(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

bool BlockMode(int fd) {
    int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0) return false;
    return ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool SetCloexec(int fd, bool on) {
    int flags = ::fcntl(fd, F_GETFD);
    if (flags < 0) return false;
    flags = on ? (flags | FD_CLOEXEC) : (flags & ~FD_CLOEXEC);
    return ::fcntl(fd, F_SETFD, flags) == 0;
}
