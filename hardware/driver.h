#pragma once

#include <sys/types.h>

#include <cstddef>

namespace Hardware {

// Every access to a board device goes through the process's one driver: the
// real kernel drivers on the board, or the simulated board elsewhere. Each
// operation behaves as the system call of the same name: -1 with errno set on
// failure.
class Driver {
public:
    virtual ~Driver() = default;

    virtual int open(const char* path, int flags) = 0;
    virtual int close(int fd) = 0;
    // `arg` points to the request's record, laid out as the board expects it.
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
    // A request whose argument is a number rather than a record.
    virtual int ioctl_value(int fd, unsigned long request, unsigned long value) {
        return ioctl(fd, request, reinterpret_cast<void*>(value));
    }
    virtual ssize_t read(int fd, void* buffer, std::size_t length) = 0;
    virtual ssize_t write(int fd, const void* buffer, std::size_t length) = 0;
};

// The process's driver. Defined by exactly one of the driver libraries a
// program links: tmb_driver_linux or tmb_driver_sim.
Driver& driver();

}  // namespace Hardware
