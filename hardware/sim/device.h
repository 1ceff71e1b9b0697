#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace Sim {

class Device;

// One open of a simulated device: the device side of the socket pair whose
// other end the caller holds. The caller may duplicate its end; the open lasts
// until every duplicate is closed.
struct OpenFile {
    Device* device = nullptr;
    int peer = -1;    // device side
    ino_t inode = 0;  // of the caller's end
    int flags = 0;    // as given to open

    // Queues one record for the caller to read; its descriptor polls readable.
    bool Post(const void* data, std::size_t length) const;
};

// The model of one board device. A new device is one class deriving from this
// and one line where the board is assembled (sim_driver.cpp). Operations return
// kernel-style results: a negative errno on failure.
class Device {
public:
    explicit Device(std::string path) : path_(std::move(path)) {}
    virtual ~Device() = default;
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    const std::string& path() const { return path_; }

    // Back to the state the board has at power-on.
    virtual void IReset() {}
    virtual void IOpen(OpenFile&) {}
    // The last descriptor of an open was closed.
    virtual void IRelease(OpenFile&) {}
    // `record` holds `size` bytes (the size the request number carries), or is
    // the raw argument when the number carries none.
    virtual int IIoctl(OpenFile& file, unsigned long request, void* record, std::size_t size) = 0;
    // By default the caller reads what the device posted.
    virtual ssize_t IRead(OpenFile& file, int fd, void* buffer, std::size_t length);
    virtual ssize_t IWrite(OpenFile& file, const void* buffer, std::size_t length);
    // The board's entry for a write on the caller's descriptor `fd`; by default
    // the device takes the bytes at once.
    virtual ssize_t IWriteFrom(OpenFile& file, int fd, const void* buffer, std::size_t length);

private:
    std::string path_;
};

// Fields of a board (PowerPC) request number.
constexpr std::size_t RequestSize(unsigned long request) {
    return (request >> 16) & 0x1FFF;
}
constexpr unsigned RequestDirection(unsigned long request) {
    return (request >> 29) & 7;
}

}  // namespace Sim
