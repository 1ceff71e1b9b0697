#pragma once

#include <sys/types.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "hardware/board_record.h"
#include "hardware/driver.h"
#include "hardware/sim/device.h"
#include "hardware/sim/request_log.h"

namespace Sim {

// The simulated board: the device models by path, their opens, the faults a
// test arranges and the log of every call. Descriptors handed out are real
// (one end of a socket pair per open), so they can be polled, duplicated and
// closed with the ordinary calls; an open is found again by its socket's inode.
//
// A request finds its open without a system call: the board remembers the
// open of every descriptor it handed out or has seen, and a descriptor number
// closed since (the programs linking the board have every close counted, see
// board.cpp) is looked up again.
class Board final : public Hardware::Driver {
public:
    Board();
    ~Board() override;

    void Add(std::unique_ptr<Device> device);
    Device* Find(const std::string& path) const;
    template <class D>
    D& device(const std::string& path) const {
        return dynamic_cast<D&>(*Find(path));
    }

    // Faults. An open error of 0 makes the device openable again; ENOENT makes
    // it missing. A request fault fails the next `count` calls of that request
    // with `error`.
    void SetOpenError(const std::string& path, int error);
    void FailRequest(const std::string& path, unsigned long number, int error, int count = 1);

    // Every open of the device reaches its end: its callers read end of file, and
    // the open lasts until they close it.
    void HangUp(const std::string& path);

    // Forgets the opens (their callers see a hang-up), the faults and the log,
    // and powers every device on again.
    void Reset();

    // The log keeps the latest requests only, so that a long run (the loop
    // refreshes the switch on every pass) does not grow without bound; a limit
    // of 0 turns it off.
    static constexpr std::size_t kDefaultLogLimit = 1 << 16;
    void SetLogLimit(std::size_t limit) { log_.SetLimit(limit); }
    const RequestLog& requests() const { return log_; }
    std::vector<Request> Requests(Request::Kind kind) const;
    void ClearRequests() { log_.clear(); }
    std::size_t OpenCount(const std::string& path);
    // The device a descriptor is an open of (any duplicate); null for any other.
    const Device* DeviceOf(int fd);

    int open(const char* path, int flags) override;
    int close(int fd) override;
    int ioctl(int fd, unsigned long request, void* arg) override;
    // The device models see a number argument as a record whose first word
    // holds it (the rest zero), or as the raw argument when the number carries
    // no size.
    int ioctl_value(int fd, unsigned long request, unsigned long value) override;
    ssize_t read(int fd, void* buffer, std::size_t length) override;
    ssize_t write(int fd, const void* buffer, std::size_t length) override;

private:
    struct Fault {
        std::string path;
        unsigned long number;
        int error;
        int count;
    };
    // What the board knows of one descriptor number.
    struct KnownFd {
        OpenFile* file = nullptr;
        std::uint32_t closes = 0;  // the number's close count when it was learnt
    };

    OpenFile* Lookup(int fd, int& error);
    // The open of a descriptor the board knows and that was not closed since; null
    // when it has to be looked up.
    OpenFile* Known(int fd) const;
    void Learn(int fd, OpenFile* file);
    void ReleaseClosed();
    // A descriptor was closed behind the board's back (see board.cpp).
    void OnClosed();
    friend void NoticeClose();
    int TakeFault(const std::string& path, unsigned long number);
    // The log's entry for a call on `file` (null: the descriptor is no open);
    // null when the log is off.
    Request* Log(Request::Kind kind, const OpenFile* file);
    static int Fail(Request* r, int error);

    std::map<std::string, std::unique_ptr<Device>> devices_;
    std::map<std::string, int> open_errors_;
    std::vector<Fault> faults_;
    std::map<ino_t, OpenFile> opens_;
    std::vector<KnownFd> known_;  // by descriptor number
    RequestLog log_{kDefaultLogLimit};
    std::thread::id owner_ = std::this_thread::get_id();
    bool releasing_ = false;  // the board is closing descriptors itself
};

// The process's simulated board, with every modelled device added.
Board& board();

}  // namespace Sim
