// What the services of the detector devices share: the descriptor opened
// without blocking and polled for reading, the fixed-size event records read
// whole while it is readable, and the detector ids handed out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/event.h"

namespace Hardware {

class DetectorService {
public:
    DetectorService(const DetectorService&) = delete;
    DetectorService& operator=(const DetectorService&) = delete;

    // Opens the device unless it is open; a failure is logged and tried again
    // by the next request.
    void init();
    bool IsOpened() const { return event_.IsActive(); }

    void OnEvent(int fd, short revents);

    // The last detector id handed out; tests start the count where they need it.
    std::uint32_t lastId() const { return lastId_; }
    void SetLastId(std::uint32_t id) { lastId_ = id; }

protected:
    static constexpr std::size_t kMaxRecord = 32;

    struct Device {
        const char* (*path)();
        int flags;                // of open
        const char* name;         // in the read failures
        const char* openFail;     // the log line when it cannot be opened
        const char* handler;      // the poll handler's name
        std::size_t recordSize;   // of an event record, at most kMaxRecord
    };

    explicit DetectorService(const Device& device);
    ~DetectorService() = default;

    int fd() const { return event_.lowlevel_fd(); }
    // The descriptor for a request: a device closed after a hang-up or a read
    // error is opened again first.
    int RequestFd();
    // Opens the device when needed; when it cannot, writes `notOpened`.
    bool Opened(std::uint32_t ts, const char* notOpened);
    // Issues a request with a record, or with a value; a failure is logged as
    // "<name> fail: timeslot=<ts> errno=<text>".
    bool Request(std::uint32_t ts, unsigned long request, void* record, std::string_view name);
    bool RequestValue(std::uint32_t ts, unsigned long request, unsigned long value, std::string_view name);
    // A fresh detector id, never 0.
    std::uint32_t NextId();
    // One whole event record of the device's size.
    virtual void IRecord(const unsigned char* record) = 0;

private:
    bool Succeeded(int result, std::uint32_t ts, std::string_view name) const;
    // Takes one event record; false ends the pass.
    bool ReadEvent();
    // Gives up a device that fails or hung up, which stays ready and would spin the
    // loop; the line says why.
    void Close(std::string_view why);

    Device device_;
    Event event_;
    std::uint32_t lastId_ = 0;
};

}  // namespace Hardware
