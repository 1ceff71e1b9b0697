#include "hardware/sim/device.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace Sim {

bool OpenFile::Post(const void* data, std::size_t length) const {
    return ::send(peer, data, length, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(length);
}

ssize_t Device::IRead(OpenFile&, int fd, void* buffer, std::size_t length) {
    ssize_t n = ::read(fd, buffer, length);
    return n < 0 ? -errno : n;
}

ssize_t Device::IWrite(OpenFile&, const void*, std::size_t) {
    return -EINVAL;
}

ssize_t Device::IWriteFrom(OpenFile& file, int, const void* buffer, std::size_t length) {
    return IWrite(file, buffer, length);
}

}  // namespace Sim
