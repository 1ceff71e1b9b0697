#include "core/linux_run.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

namespace Linux {

Run::Run(const char* name, const std::string& dir) : mPath(dir + name + ".pid") {
    mFd = ::open(mPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_SYNC | O_CLOEXEC, 0644);
    if (mFd < 0) return;
    std::string pid = std::to_string(::getpid());
    if (::write(mFd, pid.data(), pid.size()) == static_cast<ssize_t>(pid.size())) ::fsync(mFd);
}

Run::~Run() {
    if (mFd < 0) return;
    ::close(mFd);
    ::unlink(mPath.c_str());
}

}  // namespace Linux
