#include "hardware/detector_service.h"

#include <fcntl.h>
#include <poll.h>

#include <cerrno>
#include <iostream>

#include "core/errno_text.h"
#include "core/output.h"
#include "hardware/driver.h"

namespace Hardware {

DetectorService::DetectorService(const Device& device) : device_(device) {
    init();
}

void DetectorService::init() {
    if (IsOpened()) return;
    int fd = driver().open(device_.path(), device_.flags | O_NONBLOCK);
    if (fd < 0) {
        Errno error;
        std::cerr << device_.openFail << ": " << error << std::endl;
        return;
    }
    if (!event_.bound()) event_.Bind(device_.handler, &DetectorService::OnEvent, this);
    event_.Schedule(Fd(fd), POLLIN);
}

bool DetectorService::Opened(std::uint32_t ts, const char* notOpened) {
    init();
    if (IsOpened()) return true;
    std::cerr << notOpened << " timeslot=" << ts << std::endl;
    return false;
}

int DetectorService::RequestFd() {
    init();
    return fd();
}

bool DetectorService::Request(std::uint32_t ts, unsigned long request, void* record, std::string_view name) {
    return Succeeded(driver().ioctl(RequestFd(), request, record), ts, name);
}

bool DetectorService::RequestValue(std::uint32_t ts, unsigned long request, unsigned long value,
                                   std::string_view name) {
    return Succeeded(driver().ioctl_value(RequestFd(), request, value), ts, name);
}

bool DetectorService::Succeeded(int result, std::uint32_t ts, std::string_view name) const {
    if (result >= 0) return true;
    Errno error;
    std::cerr << name << " fail:" << " timeslot=" << ts << " errno=" << ext::quoted(error) << std::endl;
    return false;
}

void DetectorService::Close(std::string_view why) {
    std::cerr << device_.name << " device " << why << ", opened again by the next request" << std::endl;
    event_.Release();
}

std::uint32_t DetectorService::NextId() {
    if (++lastId_ == 0) lastId_ = 1;
    return lastId_;
}

void DetectorService::OnEvent(int, short revents) {
    if ((revents & POLLIN) == 0) {
        // A device in error or hung up stays ready for ever: left in the poll set
        // it would spin the loop. The next request opens it again.
        if ((revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) Close("hung up: closed");
        return;
    }
    bool read = false;
    while (ReadEvent()) read = true;
    // A device in error may poll readable with nothing to read: it rests.
    if (!read && IsOpened()) event_.NothingRead(revents, device_.name, " device ");
}

bool DetectorService::ReadEvent() {
    std::array<unsigned char, kMaxRecord> record{};
    ssize_t n = driver().read(fd(), record.data(), device_.recordSize);
    if (n < 0) {
        Errno error;
        if (error.value() != EAGAIN && error.value() != EWOULDBLOCK) {
            // The same: a failing device would be readable on every pass.
            std::cerr << "fail to read from " << device_.name << ": " << error << std::endl;
            Close("closed");
        }
        return false;
    }
    // End of file is a hang-up: the device would stay readable with nothing to read.
    if (n == 0) {
        Close("hung up: closed");
        return false;
    }
    // The driver hands over whole records: after a short one the records are out of
    // step, and a device that keeps handing them over must not hold the loop.
    if (static_cast<std::size_t>(n) < device_.recordSize) {
        std::cerr << "short read from " << device_.name << ": " << n << " bytes" << std::endl;
        Close("closed");
        return false;
    }
    event_.DataRead();
    IRecord(record.data());
    return true;
}

}  // namespace Hardware
