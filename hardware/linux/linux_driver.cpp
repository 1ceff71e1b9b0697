#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "hardware/driver.h"

namespace Hardware {
namespace {

// Plain system calls on the board's device files.
class LinuxDriver final : public Driver {
public:
    int open(const char* path, int flags) override { return ::open(path, flags); }
    int close(int fd) override { return ::close(fd); }
    int ioctl(int fd, unsigned long request, void* arg) override { return ::ioctl(fd, request, arg); }
    ssize_t read(int fd, void* buffer, std::size_t length) override { return ::read(fd, buffer, length); }
    ssize_t write(int fd, const void* buffer, std::size_t length) override {
        return ::write(fd, buffer, length);
    }
};

}  // namespace

Driver& driver() {
    static LinuxDriver instance;
    return instance;
}

}  // namespace Hardware
